#include "host/plugin_library.h"

namespace host {
namespace {

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

bool PluginLibrary::Load(const std::string& path, std::string* error) {
  Unload();
  platform::win32::UniqueModule module(::LoadLibraryA(path.c_str()));
  if (!module) {
    *error = "cannot load " + path + " (" + platform::win32::ErrorText() + ")";
    return false;
  }
  const auto initialize = Lookup<PiInitialize>(module.Get(), "pi_initialize");
  const auto activate = Lookup<PiActivate>(module.Get(), "pi_activate");
  const auto finalize = Lookup<PiFinalize>(module.Get(), "pi_finalize");
  if (!initialize || !activate || !finalize) {
    *error = path + " does not export pi_initialize, pi_activate and pi_finalize";
    return false;
  }
  module_ = std::move(module);
  initialize_ = initialize;
  activate_ = activate;
  finalize_ = finalize;
  return true;
}

void PluginLibrary::Unload() {
  initialize_ = nullptr;
  activate_ = nullptr;
  finalize_ = nullptr;
  module_.Reset();
}

}  // namespace host

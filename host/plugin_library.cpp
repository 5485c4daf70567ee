#include "host/plugin_library.h"

namespace host {
namespace {

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace

std::string LastErrorText() {
  const DWORD code = ::GetLastError();
  char text[512] = {};
  const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
  std::string result = "error " + std::to_string(code);
  if (length > 0) {
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
      message.pop_back();
    }
    result += ": " + message;
  }
  return result;
}

bool PluginLibrary::Load(const std::string& path, std::string* error) {
  Unload();
  Unique<HMODULE, ReleaseModule> module(::LoadLibraryA(path.c_str()));
  if (!module) {
    *error = "cannot load " + path + " (" + LastErrorText() + ")";
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

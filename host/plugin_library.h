// A plug-in DLL loaded by path, with its three entry points found by name.
// The library is freed when the object goes away.
#pragma once

#include <windows.h>

#include <string>

#include "platform/win32_support.h"
#include "plugin/host_api.h"

namespace host {

class PluginLibrary {
 public:
  // Loads the DLL at path and looks up pi_initialize, pi_activate and
  // pi_finalize; on failure returns false with *error saying why.
  bool Load(const std::string& path, std::string* error);
  // Frees the library (the plug-in's unload clean-up runs now).
  void Unload();
  bool Loaded() const { return static_cast<bool>(module_); }

  HMODULE Module() const { return module_.Get(); }
  PiInitialize Initialize() const { return initialize_; }
  PiActivate Activate() const { return activate_; }
  PiFinalize Finalize() const { return finalize_; }

 private:
  platform::win32::UniqueModule module_;
  PiInitialize initialize_ = nullptr;
  PiActivate activate_ = nullptr;
  PiFinalize finalize_ = nullptr;
};

}  // namespace host

// The host's own windows and its message loop helpers. The host has a main
// window and an image window owned by it; the image window is the one handed
// to the plug-in, whose owner (the main window) the plug-in then binds to.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "host/host_state.h"
#include "platform/win32_support.h"

namespace host {

using platform::win32::UniqueWindow;

class HostWindows {
 public:
  // Creates and shows the main window and, owned by it, the image window.
  // owned = false creates the image window without an owner instead.
  bool Create(std::string* error, bool owned = true);
  void Destroy();

  HWND Main() const { return main_.Get(); }
  HWND ImageWindow() const { return image_.Get(); }
  // The image window shows this image (grey scale) until the next call.
  void ShowImage(const Image* image);

 private:
  UniqueWindow main_;
  UniqueWindow image_;
};

// Dispatches every message queued for this thread, then waits briefly for
// stragglers (the window system answers asynchronously under wine) until the
// queue stays empty for idle_ms.
void PumpUntilIdle(DWORD idle_ms = 20);
// Dispatches messages until done() holds or timeout_ms has passed; returns
// whether done() held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms = 3000);

// The text of a window (GetWindowTextA).
std::string WindowText(HWND window);
// The class name of a window.
std::string WindowClass(HWND window);

}  // namespace host

// The Win32 support layer shared by the plug-in's toolkit and the reference
// host: one owner for each kind of handle (all built on Unique), owners for
// the paired calls that must be undone (a DC's selected object, a paint DC, a
// window's DC), and the text of a Win32 failure.
#pragma once

#include <windows.h>

#include <string>

#include "platform/unique.h"

namespace platform::win32 {

inline void DestroyWindowHandle(HWND window) noexcept { ::DestroyWindow(window); }
inline void DeleteGdiObject(HGDIOBJ object) noexcept { ::DeleteObject(object); }
inline void FreeLibraryHandle(HMODULE module) noexcept { ::FreeLibrary(module); }
inline void UnhookHandle(HHOOK hook) noexcept { ::UnhookWindowsHookEx(hook); }

using UniqueWindow = Unique<HWND, DestroyWindowHandle>;
using UniqueFont = Unique<HFONT, DeleteGdiObject>;
using UniqueModule = Unique<HMODULE, FreeLibraryHandle>;
using UniqueHook = Unique<HHOOK, UnhookHandle>;

// GetDC / ReleaseDC: the DC of a window, or of the screen for nullptr.
class WindowDC {
 public:
  explicit WindowDC(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  ~WindowDC() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC Get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// BeginPaint / EndPaint around a WM_PAINT.
class PaintDC {
 public:
  explicit PaintDC(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  ~PaintDC() { ::EndPaint(window_, &paint_); }
  PaintDC(const PaintDC&) = delete;
  PaintDC& operator=(const PaintDC&) = delete;
  HDC Get() const noexcept { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// SelectObject, and the object it replaced selected again at the end.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) noexcept
      : dc_(dc), old_(dc != nullptr && object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
  ~SelectedObject() {
    if (old_ != nullptr) ::SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// "error N: <the system's text>" for a Win32 error code (GetLastError's by
// default), for the message of a failure.
std::string ErrorText(DWORD code = ::GetLastError());

}  // namespace platform::win32

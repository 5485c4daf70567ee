// Observing the message boxes a plug-in shows on the host's thread.
//
// MessageBoxCapture installs a WH_CBT hook on the calling thread: when a
// message box (class #32770 with its text item 0xFFFF) is first activated it
// records the caption, the text, the icon and which of the thread's other
// top-level windows are disabled at that moment, then closes the box by
// posting IDOK to it, so that the modal loop returns to the plug-in.
//
// MessageBoxLog patches the plug-in's imports of MessageBoxA and MessageBoxW
// so that every call's owner, text, caption and exact uType are recorded
// before the real function runs.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win32_support.h"

namespace host {

enum class BoxIcon { None, Error, Information, Warning, Question, Other };
const char* BoxIconName(BoxIcon icon);

struct CapturedBox {
  HWND window = nullptr;
  HWND owner = nullptr;
  std::string caption;
  std::string text;
  BoxIcon icon = BoxIcon::None;
  std::vector<HWND> disabled;         // top-level windows of the thread disabled meanwhile
  std::vector<HWND> enabled_visible;  // visible ones still enabled meanwhile
};

class MessageBoxCapture {
 public:
  MessageBoxCapture();  // one at a time, on the thread that shows the boxes
  ~MessageBoxCapture();
  MessageBoxCapture(const MessageBoxCapture&) = delete;
  MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

  bool Installed() const { return static_cast<bool>(hook_); }
  const std::vector<CapturedBox>& Boxes() const { return boxes_; }
  void Clear() { boxes_.clear(); }
  // Runs while a box is on screen, after it has been recorded.
  std::function<void(const CapturedBox&)> on_box;
  // When false, the boxes are recorded but left open (closed by the test).
  bool close_boxes = true;

 private:
  static LRESULT CALLBACK HookProc(int code, WPARAM wparam, LPARAM lparam) noexcept;
  void OnActivate(HWND window);

  platform::win32::UniqueHook hook_;
  std::vector<CapturedBox> boxes_;
  std::vector<HWND> open_;  // boxes recorded and not yet destroyed
};

// Replaces one imported function of a module by patching its import address
// table; the original entry is restored when the object goes away.
class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  bool Patched() const { return slot_ != nullptr; }
  void* Original() const { return original_; }

 private:
  HMODULE module_ = nullptr;
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

struct MessageBoxCall {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  UINT type = 0;
  bool wide = false;  // MessageBoxW
};

class MessageBoxLog {
 public:
  explicit MessageBoxLog(HMODULE plugin);  // one at a time
  ~MessageBoxLog();
  MessageBoxLog(const MessageBoxLog&) = delete;
  MessageBoxLog& operator=(const MessageBoxLog&) = delete;
  // Whether the module imports MessageBoxA or MessageBoxW at all.
  bool Patched() const { return ansi_.Patched() || wide_.Patched(); }
  const std::vector<MessageBoxCall>& Calls() const { return calls_; }
  void Clear() { calls_.clear(); }

 private:
  static int WINAPI AnsiBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) noexcept;
  static int WINAPI WideBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) noexcept;

  ImportPatch ansi_;
  ImportPatch wide_;
  std::vector<MessageBoxCall> calls_;
};

}  // namespace host

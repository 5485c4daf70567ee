#include "host/coma_dialog_windows.h"

#include <limits>
#include <vector>

#include "host/host_windows.h"

namespace host {
namespace {

// Enumeration callbacks are stdcall on 32-bit Windows, which a lambda does not
// convert to; they are plain functions.
BOOL CALLBACK CollectChild(HWND child, LPARAM list) noexcept {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
  return TRUE;
}

BOOL CALLBACK FindDialogWindow(HWND window, LPARAM result) noexcept {
  if (WindowText(window) == kComaDialogCaption) {
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
  }
  return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> found;
  ::EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

HWND FindComaDialog() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), FindDialogWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

RECT RectInDialog(HWND dialog, HWND control) {
  RECT rect;
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool FindComaDialogWindows(HWND dialog, ComaDialogWindows* windows, std::string* error) {
  ComaDialogWindows w;
  w.dialog = dialog;
  std::vector<HWND> edits;
  for (HWND child : Descendants(dialog)) {
    const std::string kind = WindowClass(child);
    if (kind == "Edit") {
      edits.push_back(child);
      continue;
    }
    if (kind != "Button") continue;
    const std::string text = WindowText(child);
    if (text == "Create Model") w.create = child;
    if (text == "Get from image") w.get_point = child;
    if (text == "Peak") w.peak_group = child;
    if (text == "Options") w.options_group = child;
  }
  // The fields' top-left corners in the dialog's client area: their places in
  // their groups ("Peak" at 8,4 and "Options" at 8,92) moved by the group's.
  struct Wanted {
    HWND* slot;
    LONG left;
    LONG top;
  } wanted[] = {
      {&w.edit_x, 8 + 44, 4 + 17},
      {&w.edit_y, 8 + 92, 4 + 17},
      {&w.edit_peak, 8 + 80, 4 + 49},
      {&w.edit_max_rad, 8 + 80, 92 + 21},
  };
  if (edits.size() == 4) {
    for (const Wanted& field : wanted) {
      long long best = std::numeric_limits<long long>::max();
      for (HWND edit : edits) {
        const RECT r = RectInDialog(dialog, edit);
        const long long dx = r.left - field.left;
        const long long dy = r.top - field.top;
        if (dx * dx + dy * dy < best) {
          best = dx * dx + dy * dy;
          *field.slot = edit;
        }
      }
    }
  }
  std::string missing;
  if (!w.create) missing += " \"Create Model\"";
  if (!w.get_point) missing += " \"Get from image\"";
  if (!w.peak_group) missing += " \"Peak\"";
  if (!w.options_group) missing += " \"Options\"";
  if (edits.size() != 4)
    missing += " four edit fields (found " + std::to_string(edits.size()) + ")";
  if (!missing.empty()) {
    *error = "the \"Coma Model\" dialog lacks" + missing;
    return false;
  }
  *windows = w;
  return true;
}

void SetFieldText(HWND edit, const std::string& text) {
  ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ClickButton(HWND button) { ::SendMessageA(button, BM_CLICK, 0, 0); }

}  // namespace host

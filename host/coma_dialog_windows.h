// Finding the plug-in's "Coma Model" dialog and its controls from the host,
// the way a user sees them: buttons, groups and labels by their text, the
// edit fields by where they lie in the dialog.
#pragma once

#include <windows.h>

#include <string>

namespace host {

inline constexpr char kComaDialogCaption[] = "Coma Model";

struct ComaDialogWindows {
  HWND dialog = nullptr;
  HWND create = nullptr;         // "Create Model"
  HWND get_point = nullptr;      // "Get from image"
  HWND peak_group = nullptr;     // "Peak"
  HWND options_group = nullptr;  // "Options"
  HWND edit_peak = nullptr;
  HWND edit_x = nullptr;
  HWND edit_y = nullptr;
  HWND edit_max_rad = nullptr;
};

// The top-level window of this thread captioned "Coma Model", or nullptr.
HWND FindComaDialog();

// Finds every control; false with *error naming what is missing.
bool FindComaDialogWindows(HWND dialog, ComaDialogWindows* windows, std::string* error);

// The rectangle of a control in its dialog's client coordinates.
RECT RectInDialog(HWND dialog, HWND control);

// Sets a field's text as if typed (WM_SETTEXT) and clicks a button (BM_CLICK).
void SetFieldText(HWND edit, const std::string& text);
void ClickButton(HWND button);

}  // namespace host

// What a back end (Win32 or headless) supplies to the toolkit's shared code.
// Internal to the platform layer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/forms.h"

namespace platform {

struct Backend {
  // The text of the layout resource `name`; false when there is none.
  static bool FindLayoutResource(std::string_view name, std::string* text);
  static std::int32_t ScreenPixelsPerInch();
  // The text height of a font of that face and height, as the form measures it.
  static std::int32_t MeasureTextHeight(const std::string& face, std::int32_t height);

  // Creates the form's window and its controls' windows from form.Layout();
  // sets the handles. Throws Error, leaving nothing behind, when it cannot.
  static void CreateWindows(Form& form);
  static void Show(Form& form);
  static void Hide(Form& form);
  static bool Visible(const Form& form);
  static void PostRelease(Form& form);

  static std::string GetText(const Control& control);
  static void SetText(Control& control, std::string_view text);

  static std::string ExecutablePath();
  static std::string OemToAnsiText(std::string text);

  // Disables the thread's visible and enabled top-level windows and returns
  // them, for EnableWindows to enable again.
  static std::vector<NativeWindow> DisableThreadWindows();
  static void EnableWindows(const std::vector<NativeWindow>& windows);
  static NativeWindow ActiveWindow();
  static void SetActiveWindow(NativeWindow window);

  static int ShowBox(NativeWindow owner, const std::string& text, const std::string& caption,
                     unsigned style);
  static NativeWindow Owner(NativeWindow window);
  static void UnregisterClasses() noexcept;

  // Access to the toolkit's private parts for the back ends.
  static NativeFormPtr& Native(Form& form) { return form.native_; }
  static void SetHandle(Form& form, NativeWindow handle) { form.handle_ = handle; }
  static void SetHandle(Control& control, NativeWindow handle) { control.handle_ = handle; }
  static Bounds& Geometry(Control& control) { return control.layout_.bounds; }
  static std::string& StoredText(Control& control) { return control.text_; }
  static const std::string& StoredText(const Control& control) { return control.text_; }
};

}  // namespace platform

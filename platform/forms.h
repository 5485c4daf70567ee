// The module's small desktop toolkit: the application object, forms built
// from a layout resource, and their controls (button, single-line edit,
// label, group box). Two back ends implement it: Win32 (the product) and a
// headless one that keeps every text and geometry in memory for native tests.
// Events reach their handlers through Form::DispatchClick, which catches any
// error a handler raises and shows it with the application's error display.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/layout.h"

namespace platform {

// A window handle's value (an HWND on Windows); 0 for none.
using NativeWindow = std::intptr_t;

// Message box styles (the Win32 values).
inline constexpr unsigned MbOk = 0x0;
inline constexpr unsigned MbIconError = 0x10;
inline constexpr unsigned MbIconInformation = 0x40;
inline constexpr unsigned MbTaskModal = 0x2000;
inline constexpr unsigned MbTopmost = 0x40000;

// Back-end state of a form's window (its handle, font, ...), released by the
// back end's own deleter.
struct NativeForm;
using NativeFormPtr = std::unique_ptr<NativeForm, void (*)(NativeForm*)>;

class Form;

class Control {
 public:
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  const std::string& Name() const { return layout_.name; }
  ComponentKind Kind() const { return layout_.kind; }
  Form& OwnerForm() const { return form_; }
  Control* Parent() const { return parent_; }  // nullptr: the form itself
  // Position relative to the parent's client area and size, after scaling.
  const Bounds& Geometry() const { return layout_.bounds; }
  std::int32_t TabOrder() const { return layout_.tab_order; }
  const std::string& ClickHandlerName() const { return layout_.on_click; }

  std::string Text() const;
  void SetText(std::string_view text);
  NativeWindow Handle() const { return handle_; }

 protected:
  Control(Form& form, Control* parent, ComponentLayout layout)
      : form_(form), parent_(parent), layout_(std::move(layout)), text_(layout_.text) {}

 private:
  friend class Form;
  friend struct Backend;

  Form& form_;
  Control* parent_;
  ComponentLayout layout_;
  std::string text_;  // the headless back end's copy of the text
  NativeWindow handle_ = 0;
};

class Button : public Control {
 public:
  using Control::Control;
  // What a user's click does: the bound handler runs through the form's
  // dispatch, errors shown by the application object.
  void Click();
};

class Edit : public Control {
 public:
  using Control::Control;
};

class Label : public Control {
 public:
  using Control::Control;
};

class GroupBox : public Control {
 public:
  using Control::Control;
};

class Application;

class Form {
 public:
  using Handler = void (Form::*)(Control* sender);
  struct Method {
    std::string_view name;
    Handler handler;
  };

  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  virtual ~Form();

  Application& Owner() const { return owner_; }
  NativeWindow Handle() const { return handle_; }
  // The next form that the same application object owns.
  Form* Next() const { return next_; }
  // The layout after design-metrics scaling, as the window was built.
  const FormLayout& Layout() const { return layout_; }
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
  Control* FindControl(std::string_view name) const;

  // Makes the form visible, brings it to the top of the window order and
  // activates it; not modal.
  void Show();
  void Hide();
  bool Visible() const;
  // What the close box does: the default close action, hiding.
  void Close();
  // Deferred destruction: posts a release message to the form's window; the
  // form is destroyed when the message loop dispatches it.
  void Release();

  // Runs the handler bound to `sender`'s click, if any. An error leaving the
  // handler is shown by the application's error display; nothing escapes.
  void DispatchClick(Control& sender) noexcept;

  // Back-end hook: the control receiving the focus when the form becomes
  // active (the last one focused, else the first in tab order).
  Control* FocusOnActivate();
  void NoteFocus(Control* control) { focused_ = control; }
  Control* LastFocused() const { return focused_; }

 protected:
  // Builds the form from the layout resource `resource` (a text in the layout
  // format) and binds the buttons' click handlers by name from `methods`.
  // Throws Error when the resource is missing or invalid or names a handler
  // that `methods` lacks. Registers the form with `owner`, which destroys it
  // at shutdown unless it has been released before.
  Form(Application& owner, std::string_view resource, std::span<const Method> methods);

  // The component named `name`, which must be of kind T (a layout fault
  // otherwise: Error).
  template <class T>
  T* Component(std::string_view name) const;

 private:
  friend class Application;
  friend struct Backend;

  Control* FirstInTabOrder() const;
  static void CheckKind(const Control* c, ComponentKind kind, std::string_view name);

  Application& owner_;
  FormLayout layout_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<Handler> click_handlers_;  // per control, null for none
  NativeFormPtr native_{nullptr, nullptr};
  NativeWindow handle_ = 0;
  Control* focused_ = nullptr;
  Form* next_ = nullptr;  // the application's list of owned forms
};

template <class T>
T* Form::Component(std::string_view name) const {
  Control* c = FindControl(name);
  ComponentKind kind = ComponentKind::Button;
  if constexpr (std::is_same_v<T, Edit>) kind = ComponentKind::Edit;
  if constexpr (std::is_same_v<T, Label>) kind = ComponentKind::Label;
  if constexpr (std::is_same_v<T, GroupBox>) kind = ComponentKind::GroupBox;
  CheckKind(c, kind, name);
  return static_cast<T*>(c);
}

// The module's application object. Inside a library it has no window of its
// own: its handle is a window of the host, given by the plug-in, or 0. It owns
// the module's forms and shows the errors that leave event handlers.
class Application {
 public:
  constexpr Application() = default;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  NativeWindow Handle() const { return handle_; }
  // Takes `window` as the handle; setting the value already held is ignored.
  void SetHandle(NativeWindow window);

  // The host executable's file name without folder, cut at its first ".",
  // every character after the first in lower case ("HOSTAPP.EXE": "Hostapp").
  std::string Title() const;

  // Shows an application message box owned by Handle(), with the thread's
  // other visible and enabled top-level windows disabled while it is shown.
  int ModalBox(const std::string& text, const std::string& caption, unsigned style);

  // The error display for an error that left an event handler: a box with
  // the title as caption, MB_OK | MB_ICONERROR, the text followed by "." when
  // its last character sorts after "."; then the floating-point settings
  // recorded at load are restored. Call from inside a catch block.
  void HandleException() noexcept;

  // Destroys every form it still owns (at library unload).
  void DestroyComponents() noexcept;

  Form* FirstForm() const { return forms_; }

 private:
  friend class Form;
  void Insert(Form* form);
  void Remove(Form* form);

  NativeWindow handle_ = 0;
  Form* forms_ = nullptr;
};

// The module's one application object; exists from load to unload.
Application& App();

// The error display's text for an error's message.
std::string ErrorDisplayText(std::string_view message);

// A title from an executable's path (folders end at "\", "/" or ":").
std::string TitleFromExecutablePath(std::string_view path);

// Win32 MessageBoxA: owner, text, caption and style as given; the result.
int ShowMessageBox(NativeWindow owner, const std::string& text, const std::string& caption,
                   unsigned style);

// The owner of `window` (Win32 GetWindow with GW_OWNER); 0 for an unowned
// window or an invalid handle.
NativeWindow WindowOwner(NativeWindow window);

// Platform start-up and shutdown around the module's life: start-up records
// the floating-point settings of the loading thread; shutdown destroys the
// forms still owned and unregisters the window classes, so that the library
// can be unloaded and loaded again.
void StartUp() noexcept;
void ShutDown() noexcept;

}  // namespace platform

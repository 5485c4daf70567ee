// The toolkit's Win32 back end. Each form is a top-level window of the
// module's own class, owned by the application's window; its controls are
// the system's BUTTON, EDIT and STATIC windows. A form's window object is
// bound to its HWND at WM_NCCREATE (GWLP_USERDATA) and unbound at
// WM_NCDESTROY.
#include <windows.h>

#include <algorithm>

#include "platform/backend.h"
#include "platform/errors.h"
#include "platform/win32_support.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace platform {

namespace {

using win32::SelectedObject;
using win32::UniqueFont;
using win32::UniqueWindow;
using win32::WindowDC;

constexpr char kFormClass[] = "ComaModelForm";
// Posted to a form's window to have it destroyed by the message loop.
constexpr UINT kReleaseMessage = WM_USER + 0x100;

// Whether kFormClass is registered; it is unregistered at shutdown so that
// the library can be unloaded and loaded again.
constinit bool form_class_registered = false;

HINSTANCE ModuleInstance() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

HWND ToHwnd(NativeWindow window) { return reinterpret_cast<HWND>(window); }
NativeWindow FromHwnd(HWND window) { return reinterpret_cast<NativeWindow>(window); }

UniqueFont CreateLayoutFont(const std::string& face, std::int32_t height) {
  return UniqueFont(::CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                  OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                  DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
}

}  // namespace

struct NativeForm {
  explicit NativeForm(Form& f) : form(f) {}
  Form& form;
  UniqueFont font;
  UniqueWindow window;  // declared last: destroyed before the font it uses
};

namespace {

void DeleteNativeForm(NativeForm* native) { delete native; }

NativeForm* Bound(HWND window) {
  return reinterpret_cast<NativeForm*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
}

Control* ControlOf(Form& form, HWND window) {
  for (const auto& c : form.Controls())
    if (ToHwnd(c->Handle()) == window) return c.get();
  return nullptr;
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  NativeForm* native = Bound(window);
  if (native == nullptr) return ::DefWindowProcA(window, message, wparam, lparam);
  Form& form = native->form;

  switch (message) {
    case WM_NCCREATE:
      Backend::SetHandle(form, FromHwnd(window));
      break;
    case WM_NCDESTROY: {
      // Destroyed by Windows (with its owner) or by our own owner object:
      // either way the handle is gone and must not be destroyed again.
      ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      (void)native->window.Detach();
      Backend::SetHandle(form, 0);
      for (const auto& c : form.Controls()) Backend::SetHandle(*c, 0);
      break;
    }
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && lparam != 0) {
        if (Control* sender = ControlOf(form, reinterpret_cast<HWND>(lparam))) {
          if (sender->Kind() == ComponentKind::Button) form.DispatchClick(*sender);
        }
        return 0;
      }
      break;
    case WM_CLOSE:
      form.Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(window, focus)) {
          if (Control* c = ControlOf(form, focus)) form.NoteFocus(c);
        }
      } else if (Control* c = form.FocusOnActivate()) {
        ::SetFocus(ToHwnd(c->Handle()));
        return 0;
      }
      break;
    case kReleaseMessage:
      delete &form;  // destroys this window; nothing of it is touched after
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(window, message, wparam, lparam);
}

// A group box does not pass its children's notifications on; this subclass
// forwards them to its parent so that clicks reach the form. The group box's
// own window procedure is kept in its GWLP_USERDATA.
LRESULT CALLBACK GroupBoxProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  auto original = reinterpret_cast<WNDPROC>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
      return ::SendMessageA(::GetParent(window), message, wparam, lparam);
    case WM_NCDESTROY:
      ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return ::CallWindowProcA(original, window, message, wparam, lparam);
}

void RegisterFormClass() {
  if (form_class_registered) return;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = FormProc;
  wc.hInstance = ModuleInstance();
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kFormClass;
  if (::RegisterClassExA(&wc) == 0)
    throw Error("Cannot register the form's window class (" + win32::ErrorText() + ")");
  form_class_registered = true;
}

struct ControlClass {
  const char* name;
  DWORD style;
  DWORD ex_style;
};

ControlClass ClassFor(const Control& c) {
  const DWORD tab = c.TabOrder() >= 0 ? WS_TABSTOP : 0;
  switch (c.Kind()) {
    case ComponentKind::Button:
      return {"BUTTON", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | tab, 0};
    case ComponentKind::Edit:
      return {"EDIT", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | tab, WS_EX_CLIENTEDGE};
    case ComponentKind::Label:
      return {"STATIC", WS_CHILD | WS_VISIBLE | SS_LEFT, 0};
    case ComponentKind::GroupBox:
      return {"BUTTON", WS_CHILD | WS_VISIBLE | BS_GROUPBOX | tab, WS_EX_CONTROLPARENT};
  }
  return {"STATIC", WS_CHILD, 0};
}

// Orders each parent's children by tab order (tab stops first, the rest in
// creation order), which is the order dialog navigation follows.
void ApplyTabOrder(const Form& form) {
  std::vector<const Control*> order;
  for (const auto& c : form.Controls()) order.push_back(c.get());
  std::stable_sort(order.begin(), order.end(), [](const Control* a, const Control* b) {
    const auto key = [](const Control* c) {
      return c->TabOrder() >= 0 ? c->TabOrder() : INT32_MAX;
    };
    return key(a) < key(b);
  });
  for (const Control* c : order)
    ::SetWindowPos(ToHwnd(c->Handle()), HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

// A label sizes itself to its caption in the form's font; the layout's size
// is that of the caption where the font renders as designed.
void FitLabel(Control& label, HFONT font) {
  WindowDC dc(nullptr);
  if (!dc || font == nullptr) return;
  const SelectedObject selected(dc.Get(), font);
  const std::string& text = Backend::StoredText(label);
  SIZE size{};
  const BOOL ok =
      ::GetTextExtentPoint32A(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
  if (ok && !text.empty()) {
    Backend::Geometry(label).width = size.cx;
    Backend::Geometry(label).height = size.cy;
  }
}

}  // namespace

bool Backend::FindLayoutResource(std::string_view name, std::string* text) {
  const std::string id(name);
  HRSRC info = ::FindResourceA(ModuleInstance(), id.c_str(), MAKEINTRESOURCEA(10) /* RCDATA */);
  if (info == nullptr) return false;
  HGLOBAL loaded = ::LoadResource(ModuleInstance(), info);
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (data == nullptr) return false;
  // RCDATA carries no terminating zero: its size comes from the resource.
  text->assign(static_cast<const char*>(data), ::SizeofResource(ModuleInstance(), info));
  return true;
}

std::int32_t Backend::ScreenPixelsPerInch() {
  WindowDC dc(nullptr);
  return dc ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 96;
}

std::int32_t Backend::MeasureTextHeight(const std::string& face, std::int32_t height) {
  WindowDC dc(nullptr);
  UniqueFont font = CreateLayoutFont(face, height);
  if (!dc || !font) return 0;
  const SelectedObject selected(dc.Get(), font.Get());
  SIZE size{};
  const BOOL ok = ::GetTextExtentPoint32A(dc.Get(), "0", 1, &size);
  return ok ? size.cy : 0;
}

void Backend::CreateWindows(Form& form) {
  RegisterFormClass();
  const FormLayout& layout = form.Layout();
  auto native = NativeFormPtr(new NativeForm(form), DeleteNativeForm);
  native->font = CreateLayoutFont(layout.font_name, layout.font_height);

  DWORD style = WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU;
  DWORD ex_style = WS_EX_CONTROLPARENT | WS_EX_WINDOWEDGE;
  if (layout.border == BorderStyle::Dialog) {
    style |= DS_MODALFRAME;
    ex_style |= WS_EX_DLGMODALFRAME;
  } else {
    style |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  }
  if (layout.stay_on_top) ex_style |= WS_EX_TOPMOST;
  RECT outer{0, 0, layout.client_width, layout.client_height};
  ::AdjustWindowRectEx(&outer, style, FALSE, ex_style);

  // Without a parent the form is a top-level window owned by the
  // application's window (in front of it, no taskbar button of its own).
  HWND window = ::CreateWindowExA(ex_style, kFormClass, layout.caption.c_str(), style, layout.left,
                                  layout.top, outer.right - outer.left, outer.bottom - outer.top,
                                  ToHwnd(App().Handle()), nullptr, ModuleInstance(), native.get());
  if (window == nullptr)
    throw Error("Cannot create the window of " + layout.name + " (" + win32::ErrorText() + ")");
  native->window.Reset(window);
  Backend::Native(form) = std::move(native);
  NativeForm& nf = *Backend::Native(form);

  // The frame a window manager gives may differ from the computed one; the
  // client area is what the layout fixes.
  RECT client{};
  ::GetClientRect(window, &client);
  if (client.right != layout.client_width || client.bottom != layout.client_height) {
    RECT frame{};
    ::GetWindowRect(window, &frame);
    ::SetWindowPos(window, nullptr, 0, 0,
                   frame.right - frame.left + layout.client_width - client.right,
                   frame.bottom - frame.top + layout.client_height - client.bottom,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  int id = 1;
  for (const auto& c : form.Controls()) {
    const ControlClass cls = ClassFor(*c);
    HWND parent = c->Parent() ? ToHwnd(c->Parent()->Handle()) : window;
    if (c->Kind() == ComponentKind::Label) FitLabel(*c, nf.font.Get());
    const Bounds& b = c->Geometry();
    HWND child = ::CreateWindowExA(cls.ex_style, cls.name, Backend::StoredText(*c).c_str(),
                                   cls.style, b.left, b.top, b.width, b.height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)),
                                   ModuleInstance(), nullptr);
    // Child windows belong to the form's window, which destroys them.
    if (child == nullptr)
      throw Error("Cannot create the window of " + c->Name() + " (" + win32::ErrorText() + ")");
    Backend::SetHandle(*c, FromHwnd(child));
    ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(nf.font.Get()), FALSE);
    if (c->Kind() == ComponentKind::GroupBox) {
      LONG_PTR original =
          ::SetWindowLongPtrA(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GroupBoxProc));
      ::SetWindowLongPtrA(child, GWLP_USERDATA, original);
    }
  }
  ApplyTabOrder(form);
}

void Backend::Show(Form& form) {
  HWND window = ToHwnd(form.Handle());
  if (window == nullptr) return;
  ::ShowWindow(window, SW_SHOW);
  ::BringWindowToTop(window);
}

void Backend::Hide(Form& form) {
  if (HWND window = ToHwnd(form.Handle())) ::ShowWindow(window, SW_HIDE);
}

bool Backend::Visible(const Form& form) {
  HWND window = ToHwnd(form.Handle());
  return window != nullptr && ::IsWindowVisible(window);
}

void Backend::PostRelease(Form& form) {
  if (HWND window = ToHwnd(form.Handle())) ::PostMessageA(window, kReleaseMessage, 0, 0);
}

std::string Backend::GetText(const Control& control) {
  HWND window = ToHwnd(control.Handle());
  if (window == nullptr) return StoredText(control);
  const int length = ::GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = ::GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void Backend::SetText(Control& control, std::string_view text) {
  StoredText(control).assign(text);
  if (HWND window = ToHwnd(control.Handle())) ::SetWindowTextA(window, StoredText(control).c_str());
}

std::string Backend::ExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string Backend::OemToAnsiText(std::string text) {
  // In place: each OEM character maps to exactly one ANSI character.
  if (!text.empty()) ::OemToCharA(text.c_str(), text.data());
  return text;
}

namespace {

BOOL CALLBACK CollectEnabled(HWND window, LPARAM list) noexcept {
  if (::IsWindowVisible(window) && ::IsWindowEnabled(window))
    reinterpret_cast<std::vector<NativeWindow>*>(list)->push_back(FromHwnd(window));
  return TRUE;
}

}  // namespace

std::vector<NativeWindow> Backend::DisableThreadWindows() {
  std::vector<NativeWindow> windows;
  ::EnumThreadWindows(::GetCurrentThreadId(), CollectEnabled, reinterpret_cast<LPARAM>(&windows));
  for (NativeWindow w : windows) ::EnableWindow(ToHwnd(w), FALSE);
  return windows;
}

void Backend::EnableWindows(const std::vector<NativeWindow>& windows) {
  for (NativeWindow w : windows)
    if (::IsWindow(ToHwnd(w))) ::EnableWindow(ToHwnd(w), TRUE);
}

NativeWindow Backend::ActiveWindow() { return FromHwnd(::GetActiveWindow()); }

void Backend::SetActiveWindow(NativeWindow window) {
  if (::IsWindow(ToHwnd(window))) ::SetActiveWindow(ToHwnd(window));
}

int Backend::ShowBox(NativeWindow owner, const std::string& text, const std::string& caption,
                     unsigned style) {
  return ::MessageBoxA(ToHwnd(owner), text.c_str(), caption.c_str(), style);
}

NativeWindow Backend::Owner(NativeWindow window) {
  return FromHwnd(::GetWindow(ToHwnd(window), GW_OWNER));
}

void Backend::UnregisterClasses() noexcept {
  if (!form_class_registered) return;
  ::UnregisterClassA(kFormClass, ModuleInstance());
  form_class_registered = false;
}

}  // namespace platform

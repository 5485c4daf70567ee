// The toolkit's headless back end: no window system, every window a number.
// Texts live in the controls, visibility and enabled state in the forms'
// native records; message boxes are recorded.
#include <algorithm>
#include <cstdlib>
#include <map>

#include "platform/backend.h"
#include "platform/errors.h"
#include "platform/headless.h"

namespace platform {

struct NativeForm {
  NativeWindow window = 0;
  bool visible = false;
  bool enabled = true;
};

namespace {

struct HostWindow {
  NativeWindow owner = 0;
  bool enabled = true;
};

struct State {
  std::map<std::string, std::string> resources;
  std::string executable = "C:\\Program Files\\Host\\HOSTAPP.EXE";
  std::int32_t ppi = 96;
  std::function<std::int32_t(const std::string&, std::int32_t)> text_height;
  std::map<NativeWindow, HostWindow> host_windows;
  NativeWindow next_window = 0x1000;
  NativeWindow active = 0;
  std::vector<NativeWindow> posted_releases;
  std::vector<headless::MessageBoxCall> boxes;
  std::function<int(const headless::MessageBoxCall&)> box_handler;
};

State& S() {
  static State state;
  return state;
}

void DeleteNativeForm(NativeForm* native) {
  if (S().active == native->window) S().active = 0;
  delete native;
}

NativeForm* FormRecord(NativeWindow window) {
  for (Form* f = App().FirstForm(); f != nullptr; f = f->Next()) {
    if (f->Handle() == window) return Backend::Native(*f).get();
  }
  return nullptr;
}

Form* FormOf(NativeWindow window) {
  for (Form* f = App().FirstForm(); f != nullptr; f = f->Next())
    if (f->Handle() == window) return f;
  return nullptr;
}

}  // namespace

bool Backend::FindLayoutResource(std::string_view name, std::string* text) {
  auto it = S().resources.find(std::string(name));
  if (it == S().resources.end()) return false;
  *text = it->second;
  return true;
}

std::int32_t Backend::ScreenPixelsPerInch() { return S().ppi; }

std::int32_t Backend::MeasureTextHeight(const std::string& face, std::int32_t height) {
  if (S().text_height) return S().text_height(face, height);
  return std::abs(height) + 2;
}

void Backend::CreateWindows(Form& form) {
  auto native = NativeFormPtr(new NativeForm, DeleteNativeForm);
  native->window = ++S().next_window;
  SetHandle(form, native->window);
  for (const auto& c : form.Controls()) SetHandle(*c, ++S().next_window);
  Native(form) = std::move(native);
}

void Backend::Show(Form& form) {
  NativeForm* native = Native(form).get();
  if (native == nullptr) return;
  native->visible = true;
  // Raising activates the form, which gives the focus to a control.
  S().active = native->window;
  form.FocusOnActivate();
}

void Backend::Hide(Form& form) {
  NativeForm* native = Native(form).get();
  if (native == nullptr) return;
  native->visible = false;
  if (S().active == native->window) S().active = 0;
}

bool Backend::Visible(const Form& form) {
  NativeForm* native = FormRecord(form.Handle());
  return native != nullptr && native->visible;
}

void Backend::PostRelease(Form& form) {
  if (form.Handle() != 0) S().posted_releases.push_back(form.Handle());
}

std::string Backend::GetText(const Control& control) { return StoredText(control); }

void Backend::SetText(Control& control, std::string_view text) { StoredText(control).assign(text); }

std::string Backend::ExecutablePath() { return S().executable; }

std::string Backend::OemToAnsiText(std::string text) { return text; }

std::vector<NativeWindow> Backend::DisableThreadWindows() {
  std::vector<NativeWindow> windows;
  for (auto& [window, host] : S().host_windows) {
    if (host.enabled) {
      host.enabled = false;
      windows.push_back(window);
    }
  }
  for (Form* f = App().FirstForm(); f != nullptr; f = f->Next()) {
    NativeForm* native = Native(*f).get();
    if (native != nullptr && native->visible && native->enabled) {
      native->enabled = false;
      windows.push_back(native->window);
    }
  }
  return windows;
}

void Backend::EnableWindows(const std::vector<NativeWindow>& windows) {
  for (NativeWindow w : windows) {
    if (auto it = S().host_windows.find(w); it != S().host_windows.end()) it->second.enabled = true;
    if (NativeForm* native = FormRecord(w)) native->enabled = true;
  }
}

NativeWindow Backend::ActiveWindow() { return S().active; }

void Backend::SetActiveWindow(NativeWindow window) {
  if (headless::IsWindow(window)) S().active = window;
}

int Backend::ShowBox(NativeWindow owner, const std::string& text, const std::string& caption,
                     unsigned style) {
  headless::MessageBoxCall call{owner, text, caption, style, {}};
  for (const auto& [window, host] : S().host_windows)
    if (!host.enabled) call.disabled.push_back(window);
  for (Form* f = App().FirstForm(); f != nullptr; f = f->Next()) {
    NativeForm* native = Native(*f).get();
    if (native != nullptr && !native->enabled) call.disabled.push_back(native->window);
  }
  S().boxes.push_back(call);
  // The handler may run code that shows boxes of its own; it gets a copy.
  return S().box_handler ? S().box_handler(call) : 1 /* IDOK */;
}

NativeWindow Backend::Owner(NativeWindow window) {
  auto it = S().host_windows.find(window);
  return it == S().host_windows.end() ? 0 : it->second.owner;
}

void Backend::UnregisterClasses() noexcept {}

namespace headless {

void Reset() {
  ShutDown();
  App().SetHandle(0);
  S() = State{};
}

void AddResource(const std::string& name, const std::string& text) { S().resources[name] = text; }

void SetExecutablePath(const std::string& path) { S().executable = path; }

void SetScreen(std::int32_t pixels_per_inch,
               std::function<std::int32_t(const std::string&, std::int32_t)> text_height) {
  S().ppi = pixels_per_inch;
  S().text_height = std::move(text_height);
}

NativeWindow CreateHostWindow(NativeWindow owner) {
  const NativeWindow window = ++S().next_window;
  S().host_windows[window] = HostWindow{owner, true};
  return window;
}

bool IsWindow(NativeWindow window) {
  return S().host_windows.count(window) != 0 || FormRecord(window) != nullptr;
}

bool IsWindowEnabled(NativeWindow window) {
  if (auto it = S().host_windows.find(window); it != S().host_windows.end())
    return it->second.enabled;
  NativeForm* native = FormRecord(window);
  return native != nullptr && native->enabled;
}

NativeWindow ActiveWindow() { return S().active; }

const std::vector<MessageBoxCall>& MessageBoxes() { return S().boxes; }

void ClearMessageBoxes() { S().boxes.clear(); }

void SetMessageBoxHandler(std::function<int(const MessageBoxCall&)> handler) {
  S().box_handler = std::move(handler);
}

int ProcessMessages() {
  int dispatched = 0;
  while (!S().posted_releases.empty()) {
    const NativeWindow window = S().posted_releases.front();
    S().posted_releases.erase(S().posted_releases.begin());
    ++dispatched;
    // A message for a window destroyed meanwhile is dropped, as Windows does.
    if (Form* form = FormOf(window)) delete form;
  }
  return dispatched;
}

std::size_t PendingMessages() { return S().posted_releases.size(); }

}  // namespace headless
}  // namespace platform

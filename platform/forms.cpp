// The toolkit's shared part: forms from layout resources, handler binding,
// event dispatch, the application object and its error display.
#include <algorithm>
#include <new>

#include "platform/backend.h"
#include "platform/errors.h"
#include "platform/float_settings.h"
#include "platform/forms.h"

namespace platform {
namespace {

// Exists from load to unload with no code run to construct it; its
// destructor is trivial, so unloading runs nothing of it either: the forms
// it owns are destroyed explicitly by ShutDown.
constinit Application application;

std::unique_ptr<Control> MakeControl(Form& form, Control* parent, const ComponentLayout& layout);

}  // namespace

Application& App() { return application; }

// --- Control -----------------------------------------------------------------

std::string Control::Text() const { return Backend::GetText(*this); }

void Control::SetText(std::string_view text) { Backend::SetText(*this, text); }

void Button::Click() { OwnerForm().DispatchClick(*this); }

namespace {

// The concrete classes give the controls their types for the form's fields;
// the constructors are protected, hence these small makers.
template <class T>
struct Made : T {
  Made(Form& form, Control* parent, const ComponentLayout& layout) : T(form, parent, layout) {}
};

std::unique_ptr<Control> MakeControl(Form& form, Control* parent, const ComponentLayout& layout) {
  switch (layout.kind) {
    case ComponentKind::Button:
      return std::make_unique<Made<Button>>(form, parent, layout);
    case ComponentKind::Edit:
      return std::make_unique<Made<Edit>>(form, parent, layout);
    case ComponentKind::Label:
      return std::make_unique<Made<Label>>(form, parent, layout);
    case ComponentKind::GroupBox:
      return std::make_unique<Made<GroupBox>>(form, parent, layout);
  }
  return nullptr;
}

}  // namespace

// --- Form ----------------------------------------------------------------------

Form::Form(Application& owner, std::string_view resource, std::span<const Method> methods)
    : owner_(owner) {
  std::string text;
  if (!Backend::FindLayoutResource(resource, &text))
    throw Error("Resource " + std::string(resource) + " not found");
  std::string why;
  std::optional<FormLayout> layout = ParseLayout(text, &why);
  if (!layout) throw Error("Invalid resource " + std::string(resource) + ": " + why);
  layout_ = std::move(*layout);
  ApplyDesignMetrics(layout_, Backend::ScreenPixelsPerInch(), Backend::MeasureTextHeight);

  for (const ComponentLayout& c : layout_.components) {
    Control* parent = c.parent.empty() ? nullptr : FindControl(c.parent);
    controls_.push_back(MakeControl(*this, parent, c));
    Handler handler = nullptr;
    if (!c.on_click.empty()) {
      auto m = std::find_if(methods.begin(), methods.end(),
                            [&](const Method& e) { return e.name == c.on_click; });
      if (m == methods.end())
        throw Error("Invalid resource " + std::string(resource) + ": no handler " + c.on_click);
      handler = m->handler;
    }
    click_handlers_.push_back(handler);
  }

  Backend::CreateWindows(*this);
  owner_.Insert(this);
  if (layout_.visible) Show();
}

Form::~Form() {
  owner_.Remove(this);
  native_.reset();  // destroys the window, and with it the controls' windows
}

Control* Form::FindControl(std::string_view name) const {
  for (const auto& c : controls_)
    if (c->Name() == name) return c.get();
  return nullptr;
}

void Form::CheckKind(const Control* c, ComponentKind kind, std::string_view name) {
  if (c == nullptr || c->Kind() != kind)
    throw Error("Component " + std::string(name) + " missing from the form's layout");
}

void Form::Show() { Backend::Show(*this); }

void Form::Hide() { Backend::Hide(*this); }

bool Form::Visible() const { return Backend::Visible(*this); }

void Form::Close() { Hide(); }

void Form::Release() { Backend::PostRelease(*this); }

void Form::DispatchClick(Control& sender) noexcept {
  for (std::size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i].get() != &sender) continue;
    const Handler handler = click_handlers_[i];
    if (handler == nullptr) return;
    try {
      (this->*handler)(&sender);
    } catch (...) {
      owner_.HandleException();
    }
    return;
  }
}

Control* Form::FirstInTabOrder() const {
  // Depth first through the parents, each parent's children in tab order;
  // a group box passes the focus on to its own first control.
  auto first_in = [this](const Control* parent, auto& self) -> Control* {
    std::vector<Control*> children;
    for (const auto& c : controls_)
      if (c->Parent() == parent && c->TabOrder() >= 0) children.push_back(c.get());
    std::stable_sort(children.begin(), children.end(), [](const Control* a, const Control* b) {
      return a->TabOrder() < b->TabOrder();
    });
    for (Control* c : children) {
      if (c->Kind() == ComponentKind::GroupBox) {
        if (Control* inner = self(c, self)) return inner;
      } else {
        return c;
      }
    }
    return nullptr;
  };
  return first_in(nullptr, first_in);
}

Control* Form::FocusOnActivate() {
  if (focused_ == nullptr) focused_ = FirstInTabOrder();
  return focused_;
}

// --- Application -------------------------------------------------------------

void Application::SetHandle(NativeWindow window) {
  if (window == handle_) return;
  handle_ = window;
}

std::string Application::Title() const {
  return TitleFromExecutablePath(Backend::OemToAnsiText(Backend::ExecutablePath()));
}

int Application::ModalBox(const std::string& text, const std::string& caption, unsigned style) {
  const NativeWindow active = Backend::ActiveWindow();
  const std::vector<NativeWindow> disabled = Backend::DisableThreadWindows();
  const int result = Backend::ShowBox(handle_, text, caption, style);
  Backend::EnableWindows(disabled);
  if (active != 0) Backend::SetActiveWindow(active);
  return result;
}

void Application::HandleException() noexcept {
  try {
    std::string message;
    try {
      throw;
    } catch (const std::bad_alloc&) {
      message = OutOfMemoryError().Message();
    } catch (const std::exception& e) {
      message = e.what();
    }
    ModalBox(ErrorDisplayText(message), Title(), MbOk | MbIconError);
  } catch (...) {
    // Nothing further can be shown; the error ends here all the same.
  }
  RestoreLoadFloatSettings();
}

void Application::Insert(Form* form) {
  form->next_ = forms_;
  forms_ = form;
}

void Application::Remove(Form* form) {
  for (Form** link = &forms_; *link != nullptr; link = &(*link)->next_) {
    if (*link == form) {
      *link = form->next_;
      return;
    }
  }
}

void Application::DestroyComponents() noexcept {
  while (forms_ != nullptr) delete forms_;  // each destructor unlinks itself
}

// --- Free functions --------------------------------------------------------------

std::string ErrorDisplayText(std::string_view message) {
  std::string text(message);
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
    text += '.';
  return text;
}

std::string TitleFromExecutablePath(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/:");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  name = name.substr(0, name.find('.'));
  std::string title(name);
  for (std::size_t i = 1; i < title.size(); ++i)
    if (title[i] >= 'A' && title[i] <= 'Z') title[i] = static_cast<char>(title[i] - 'A' + 'a');
  return title;
}

int ShowMessageBox(NativeWindow owner, const std::string& text, const std::string& caption,
                   unsigned style) {
  return Backend::ShowBox(owner, text, caption, style);
}

NativeWindow WindowOwner(NativeWindow window) { return Backend::Owner(window); }

void StartUp() noexcept { RecordLoadFloatSettings(); }

void ShutDown() noexcept {
  App().DestroyComponents();
  Backend::UnregisterClasses();
}

}  // namespace platform

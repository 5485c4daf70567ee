// The toolkit's shared behaviour on the headless back end: the application's
// title and handle, the error display of the event dispatch, the
// floating-point settings, memory blocks, forms from a resource.
#include <gtest/gtest.h>

#include <cfenv>
#include <new>

#include "platform/errors.h"
#include "platform/float_settings.h"
#include "platform/forms.h"
#include "platform/headless.h"
#include "platform/memory.h"

namespace {

namespace headless = platform::headless;
using platform::App;

TEST(ApplicationTitle, IsTheExecutableNameCutAtItsFirstDot) {
  const struct {
    const char* path;
    const char* title;
  } cases[] = {
      {"C:\\Program Files\\Host\\HOSTAPP.EXE", "Hostapp"},
      {"HOSTAPP.EXE", "Hostapp"},
      {"C:\\x.y\\MY.HOST.APP.EXE", "My"},
      {"D:NOFOLDER.EXE", "Nofolder"},
      {"/usr/bin/Wine64-Host", "Wine64-host"},
      {"C:\\host\\.hidden", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(platform::TitleFromExecutablePath(c.path), c.title);
  }
}

TEST(ErrorDisplay, AddsAFullStopAfterACharacterSortingAfterIt) {
  const struct {
    const char* message;
    const char* text;
  } cases[] = {
      {"Out of memory", "Out of memory."},
      {"'abc' is not a valid integer value", "'abc' is not a valid integer value."},
      {"Done.", "Done."},
      {"Why?", "Why?."},   // '?' sorts after '.'
      {"Dash-", "Dash-"},  // '-' sorts before '.'
      {"Slash/", "Slash/."},
      {"Space ", "Space "},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(platform::ErrorDisplayText(c.message), c.text);
  }
}

constexpr char kTestLayout[] = R"(
form Test
  caption "Test"
  position 10 20
  client-size 100 60
  font "Tahoma" -11
  visible yes
edit Field
  parent Test
  text "start"
  position 1 1
  size 50 20
  tab-order 1
button Fails
  parent Test
  text "Fails"
  position 1 30
  size 50 20
  tab-order 0
  on-click FailsClick
button Plain
  parent Test
  text "Plain"
  position 51 30
  size 40 20
)";

// A form whose one handler does what the test says.
class TTestForm : public platform::Form {
 public:
  explicit TTestForm(platform::Application& owner)
      : platform::Form(owner, "TTESTFORM", kMethods),
        Field(Component<platform::Edit>("Field")),
        Fails(Component<platform::Button>("Fails")) {}
  void FailsClick(platform::Control* sender) {
    last_sender = sender;
    if (action) action();
  }
  platform::Edit* Field;
  platform::Button* Fails;
  platform::Control* last_sender = nullptr;
  std::function<void()> action;

 private:
  static const Method kMethods[1];
};

const platform::Form::Method TTestForm::kMethods[] = {
    {"FailsClick", static_cast<platform::Form::Handler>(&TTestForm::FailsClick)}};

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::Reset();
    std::fesetround(FE_TONEAREST);
    platform::StartUp();
    headless::AddResource("TTESTFORM", kTestLayout);
    headless::SetExecutablePath("C:\\Host\\HOSTAPP.EXE");
    host = headless::CreateHostWindow();
    App().SetHandle(host);
  }
  void TearDown() override {
    headless::Reset();
    std::fesetround(FE_TONEAREST);
  }
  platform::NativeWindow host = 0;
};

TEST_F(PlatformTest, ErrorsLeavingAHandlerAreShownOwnedByTheApplicationWindow) {
  const struct {
    const char* name;
    std::function<void()> raise;
    const char* text;
  } cases[] = {
      {"conversion error", [] { throw platform::ConvertError("'x' is not a valid integer value"); },
       "'x' is not a valid integer value."},
      {"out of memory", [] { throw platform::OutOfMemoryError(); }, "Out of memory."},
      {"bad_alloc", [] { throw std::bad_alloc(); }, "Out of memory."},
  };
  auto* form = new TTestForm(App());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    headless::ClearMessageBoxes();
    form->action = c.raise;
    form->Fails->Click();  // must not throw
    ASSERT_EQ(headless::MessageBoxes().size(), 1u);
    const auto& box = headless::MessageBoxes()[0];
    EXPECT_EQ(box.owner, host);
    EXPECT_EQ(box.caption, "Hostapp");
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.style, platform::MbOk | platform::MbIconError);
    EXPECT_EQ(form->last_sender, form->Fails);
  }
}

TEST_F(PlatformTest, ErrorBoxDisablesTheThreadsWindowsWhileShown) {
  auto* form = new TTestForm(App());
  const platform::NativeWindow other = headless::CreateHostWindow(host);
  form->action = [] { throw platform::OutOfMemoryError(); };
  bool enabled_during = true;
  headless::SetMessageBoxHandler([&](const headless::MessageBoxCall&) {
    enabled_during = headless::IsWindowEnabled(host) || headless::IsWindowEnabled(other) ||
                     headless::IsWindowEnabled(form->Handle());
    return 1;
  });
  form->Fails->Click();
  ASSERT_EQ(headless::MessageBoxes().size(), 1u);
  EXPECT_FALSE(enabled_during);
  EXPECT_EQ(headless::MessageBoxes()[0].disabled.size(), 3u);
  EXPECT_TRUE(headless::IsWindowEnabled(host));
  EXPECT_TRUE(headless::IsWindowEnabled(other));
  EXPECT_TRUE(headless::IsWindowEnabled(form->Handle()));
  // A hidden form is not disabled, and stays enabled.
  form->Hide();
  form->Fails->Click();
  EXPECT_EQ(headless::MessageBoxes()[1].disabled.size(), 2u);
}

TEST_F(PlatformTest, ErrorHandlingRestoresTheFloatSettingsOfLoadTime) {
  std::fesetround(FE_TONEAREST);
  platform::StartUp();  // records the settings, as loading the library does
  const platform::FloatSettings at_load = platform::ReadFloatSettings();
  auto* form = new TTestForm(App());
  form->action = [] {
    std::fesetround(FE_UPWARD);
    throw platform::OutOfMemoryError();
  };
  form->Fails->Click();
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
  EXPECT_EQ(platform::ReadFloatSettings().mxcsr & 0xFFC0u, at_load.mxcsr & 0xFFC0u);
  // A handler that succeeds leaves what it set: only errors restore.
  form->action = [] { std::fesetround(FE_DOWNWARD); };
  form->Fails->Click();
  EXPECT_EQ(std::fegetround(), FE_DOWNWARD);
}

TEST_F(PlatformTest, ApplicationHandleIgnoresTheValueItHolds) {
  App().SetHandle(0);
  EXPECT_EQ(App().Handle(), 0);
  App().SetHandle(host);
  App().SetHandle(host);
  EXPECT_EQ(App().Handle(), host);
}

TEST_F(PlatformTest, FormIsBuiltFromItsResourceAndOwnedByTheApplication) {
  auto* form = new TTestForm(App());
  EXPECT_EQ(App().FirstForm(), form);
  EXPECT_TRUE(form->Visible());  // the resource marks it visible
  EXPECT_EQ(form->Field->Text(), "start");
  form->Field->SetText("changed");
  EXPECT_EQ(form->Field->Text(), "changed");
  // A button without a handler dispatches nothing.
  auto* plain = static_cast<platform::Button*>(form->FindControl("Plain"));
  plain->Click();
  EXPECT_EQ(form->last_sender, nullptr);
  EXPECT_TRUE(headless::MessageBoxes().empty());
  // First activation focuses the first control in tab order.
  EXPECT_EQ(form->LastFocused(), form->Fails);
}

TEST_F(PlatformTest, FormCloseHidesAndReleaseIsDeferred) {
  auto* form = new TTestForm(App());
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(App().FirstForm(), form);
  form->Show();
  EXPECT_TRUE(form->Visible());
  form->Release();
  EXPECT_EQ(App().FirstForm(), form);  // nothing destroyed during the call
  EXPECT_EQ(headless::ProcessMessages(), 1);
  EXPECT_EQ(App().FirstForm(), nullptr);
}

TEST_F(PlatformTest, ShutDownDestroysOwnedFormsAndDropsTheirPendingRelease) {
  auto* first = new TTestForm(App());
  new TTestForm(App());
  first->Release();
  platform::ShutDown();
  EXPECT_EQ(App().FirstForm(), nullptr);
  EXPECT_EQ(headless::ProcessMessages(), 1);  // dispatched to no window: dropped
}

TEST_F(PlatformTest, FormCreationFailsCleanlyOnAFaultyResource) {
  const struct {
    const char* name;
    const char* resource;  // nullptr: none
    const char* error;
  } cases[] = {
      {"missing", nullptr, "Resource TTESTFORM not found"},
      {"unparsable", "form", "Invalid resource TTESTFORM: line 1: form needs one name"},
      {"unknown handler",
       "form T\n position 0 0\n client-size 1 1\n font \"T\" -11\nbutton B\n parent T\n"
       " position 0 0\n size 1 1\n on-click Nowhere\n",
       "no handler Nowhere"},
      {"component missing", "form T\n position 0 0\n client-size 1 1\n font \"T\" -11\n",
       "Component Field missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    headless::Reset();
    if (c.resource) headless::AddResource("TTESTFORM", c.resource);
    try {
      new TTestForm(App());
      ADD_FAILURE() << "no error";
    } catch (const platform::Error& e) {
      EXPECT_NE(e.Message().find(c.error), std::string::npos) << e.Message();
    }
    EXPECT_EQ(App().FirstForm(), nullptr);
  }
}

TEST(MemoryBlockTest, RefusesSizesItCannotHandOut) {
  const std::int64_t before = platform::LiveMemoryBlocks();
  for (std::int64_t bytes :
       {std::int64_t{-1}, std::int64_t{-4}, platform::MaxBlockBytes + 1, std::int64_t{1} << 62}) {
    SCOPED_TRACE(bytes);
    EXPECT_THROW(platform::MemoryBlock{bytes}, platform::OutOfMemoryError);
    EXPECT_EQ(platform::LiveMemoryBlocks(), before);
  }
  platform::MemoryBlock empty(0);
  EXPECT_EQ(empty.Data(), nullptr);
  EXPECT_EQ(platform::LiveMemoryBlocks(), before);
  {
    platform::MemoryBlock block(16);
    EXPECT_NE(block.Data(), nullptr);
    EXPECT_EQ(block.Size(), 16u);
    EXPECT_EQ(platform::LiveMemoryBlocks(), before + 1);
    platform::MemoryBlock moved(std::move(block));
    EXPECT_EQ(platform::LiveMemoryBlocks(), before + 1);
  }
  EXPECT_EQ(platform::LiveMemoryBlocks(), before);
}

}  // namespace

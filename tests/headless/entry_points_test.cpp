// The three entry points against the headless window system: registration
// strings, the owner binding, one dialog across activations, the deferred
// release and unloading.
#include <gtest/gtest.h>

#include <cstring>

#include "dialog/frmCC3.h"
#include "platform/headless.h"
#include "plugin/comacode9.h"
#include "tests/headless/fake_host.h"

namespace {

namespace headless = platform::headless;
using platform::App;

class EntryPointsTest : public ShellTest {};

TEST_F(EntryPointsTest, InitializeWritesExactlyTheTwoStringsAndReturnsOne) {
  char name[40];
  char description[80];
  std::memset(name, 0xAA, sizeof name);
  std::memset(description, 0xAA, sizeof description);
  EXPECT_EQ(pi_initialize(FakeHost::Callback, name, description, plugin_window), 1);
  EXPECT_EQ(std::memcmp(name, "Halberon Coma Model", 20), 0);  // with its zero
  EXPECT_EQ(std::memcmp(description, "Syntetize a comet coma model from a real image", 47), 0);
  for (std::size_t i = 20; i < sizeof name; ++i) EXPECT_EQ(name[i], '\xAA') << i;
  for (std::size_t i = 47; i < sizeof description; ++i) EXPECT_EQ(description[i], '\xAA') << i;
  EXPECT_EQ(HostCallbackSlot, &FakeHost::Callback);
  EXPECT_TRUE(host.calls.empty());  // initialisation never calls the host
}

TEST_F(EntryPointsTest, TheApplicationTakesTheOwnerOfTheWindowPassed) {
  Initialize();
  EXPECT_EQ(App().Handle(), main_window);
  // An unowned window leaves the application without one.
  char name[20], description[47];
  pi_initialize(FakeHost::Callback, name, description, main_window);
  EXPECT_EQ(App().Handle(), 0);
  pi_activate(0, 0);
  ASSERT_NE(ComaDialog, nullptr);
  EXPECT_TRUE(ComaDialog->Visible());
  // The module's own boxes then have no owner either.
  host.current = 0;
  ComaDialog->ButCreate->Click();
  ASSERT_EQ(headless::MessageBoxes().size(), 1u);
  EXPECT_EQ(headless::MessageBoxes()[0].owner, 0);
  EXPECT_EQ(headless::MessageBoxes()[0].text, "Please open an image.");
}

TEST_F(EntryPointsTest, ASecondInitializeForgetsTheDialogAndRebinds) {
  Initialize();
  pi_activate(0, 0);
  ASSERT_NE(ComaDialog, nullptr);
  const platform::NativeWindow other_main = headless::CreateHostWindow();
  char name[20], description[47];
  pi_initialize(FakeHost::Callback, name, description, headless::CreateHostWindow(other_main));
  EXPECT_EQ(ComaDialog, nullptr);
  EXPECT_EQ(App().Handle(), other_main);
  EXPECT_NE(App().FirstForm(), nullptr);  // the old dialog lives on, owned by the application
}

TEST_F(EntryPointsTest, FinalizeWithoutActivationDoesNothing) {
  Initialize();
  pi_finalize(0);
  EXPECT_EQ(headless::PendingMessages(), 0u);
  EXPECT_EQ(ComaDialog, nullptr);
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(EntryPointsTest, ActivationsShareOneDialogAndRefreshOnlyXAndY) {
  host.Open({2, 2, std::vector<float>(4)});
  host.selected = {{30, 40}};
  Initialize();
  pi_activate(0, 0);
  TForm3* first = ComaDialog;
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->Visible());
  EXPECT_EQ(headless::ActiveWindow(), first->Handle());
  EXPECT_EQ(first->EditX->Text(), "30");
  EXPECT_EQ(first->EditY->Text(), "40");
  EXPECT_EQ(first->EditPeak->Text(), "0");
  EXPECT_EQ(first->EditMaxRad->Text(), "50");

  first->EditPeak->SetText("7");
  first->EditMaxRad->SetText("abc");
  first->EditX->SetText("1");
  first->Close();  // the close box hides
  EXPECT_FALSE(first->Visible());
  host.selected = {{-3, 5}};
  pi_activate(0, 0);
  EXPECT_EQ(ComaDialog, first);
  EXPECT_TRUE(first->Visible());
  EXPECT_EQ(first->EditX->Text(), "-3");
  EXPECT_EQ(first->EditY->Text(), "5");
  EXPECT_EQ(first->EditPeak->Text(), "7");
  EXPECT_EQ(first->EditMaxRad->Text(), "abc");
  int forms = 0;
  for (platform::Form* f = App().FirstForm(); f; f = f->Next()) ++forms;
  EXPECT_EQ(forms, 1);
}

TEST_F(EntryPointsTest, FinalizeReleasesTheDialogWhenTheLoopDispatches) {
  Initialize();
  pi_activate(0, 0);
  TForm3* dialog = ComaDialog;
  pi_finalize(0);
  EXPECT_EQ(App().FirstForm(), dialog);  // still there when finalize returns
  EXPECT_EQ(headless::ProcessMessages(), 1);
  EXPECT_EQ(App().FirstForm(), nullptr);
  EXPECT_EQ(ComaDialog, dialog);  // not cleared
}

TEST_F(EntryPointsTest, UnloadingBeforeTheReleaseDestroysTheDialog) {
  Initialize();
  pi_activate(0, 0);
  pi_finalize(0);
  platform::ShutDown();  // what unloading the library runs
  EXPECT_EQ(App().FirstForm(), nullptr);
  headless::ProcessMessages();  // the stale release reaches no window
  // A later load starts over and builds a new dialog.
  platform::StartUp();
  Initialize();
  EXPECT_EQ(ComaDialog, nullptr);
  pi_activate(0, 0);
  EXPECT_NE(App().FirstForm(), nullptr);
}

TEST_F(EntryPointsTest, ActivationFailingToBuildTheDialogShowsTheErrorAndThrowsNothing) {
  headless::Reset();
  headless::SetExecutablePath("HOSTAPP.EXE");  // no TFORM3 resource this time
  Initialize();
  pi_activate(0, 0);
  EXPECT_EQ(ComaDialog, nullptr);
  ASSERT_EQ(headless::MessageBoxes().size(), 1u);
  EXPECT_EQ(headless::MessageBoxes()[0].text, "Resource TFORM3 not found.");
  EXPECT_EQ(headless::MessageBoxes()[0].caption, "Hostapp");
  EXPECT_TRUE(host.calls.empty());
}

}  // namespace

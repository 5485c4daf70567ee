// The three entry points against the headless window system: registration
// strings, the owner binding, one dialog across activations, the deferred
// release and unloading.
#include <gtest/gtest.h>

#include <cstring>

#include "dialog/frmCC3.h"
#include "platform/headless.h"
#include "plugin/comacode9.h"
#include "tests/headless/shell_test.h"

namespace {

namespace headless = platform::headless;
using platform::App;

class EntryPointsTest : public ShellTest {};

// The host's view of the entry points.
const auto& plugin = Plugin();

// What a host sees of its callback's calls.
std::vector<std::int32_t> Codes() { return host::CallCodes(); }

TEST_F(EntryPointsTest, InitializeWritesExactlyTheTwoStringsAndReturnsOne) {
  char name[40];
  char description[80];
  std::memset(name, 0xAA, sizeof name);
  std::memset(description, 0xAA, sizeof description);
  EXPECT_EQ(plugin.initialize(host::HostService, name, description, plugin_window), 1);
  EXPECT_EQ(std::memcmp(name, "Halberon Coma Model", 20), 0);  // with its zero
  EXPECT_EQ(std::memcmp(description, "Syntetize a comet coma model from a real image", 47), 0);
  for (std::size_t i = 20; i < sizeof name; ++i) EXPECT_EQ(name[i], '\xAA') << i;
  for (std::size_t i = 47; i < sizeof description; ++i) EXPECT_EQ(description[i], '\xAA') << i;
  EXPECT_EQ(HostCallbackSlot, &host::HostService);
  EXPECT_TRUE(host::Calls().empty());  // initialisation never calls the host
}

TEST_F(EntryPointsTest, TheApplicationTakesTheOwnerOfTheWindowPassed) {
  Initialize();
  EXPECT_EQ(App().Handle(), main_window);
  // An unowned window leaves the application without one.
  char name[20], description[47];
  plugin.initialize(host::HostService, name, description, main_window);
  EXPECT_EQ(App().Handle(), 0);
  plugin.activate(0, 0);
  ASSERT_NE(ComaDialog, nullptr);
  EXPECT_TRUE(ComaDialog->Visible());
  // The module's own boxes then have no owner either.
  host::SetCurrentImage(0);
  ComaDialog->ButCreate->Click();
  ASSERT_EQ(headless::MessageBoxes().size(), 1u);
  EXPECT_EQ(headless::MessageBoxes()[0].owner, 0);
  EXPECT_EQ(headless::MessageBoxes()[0].text, "Please open an image.");
}

TEST_F(EntryPointsTest, ASecondInitializeForgetsTheDialogAndRebinds) {
  Initialize();
  plugin.activate(0, 0);
  ASSERT_NE(ComaDialog, nullptr);
  const platform::NativeWindow other_main = headless::CreateHostWindow();
  char name[20], description[47];
  plugin.initialize(host::HostService, name, description, headless::CreateHostWindow(other_main));
  EXPECT_EQ(ComaDialog, nullptr);
  EXPECT_EQ(App().Handle(), other_main);
  ASSERT_NE(App().FirstForm(), nullptr);  // the old dialog lives on, owned by the application
  TForm3* old = static_cast<TForm3*>(App().FirstForm());
  // The next activation builds a new dialog; the old one going later leaves
  // the new one in place.
  plugin.activate(0, 0);
  ASSERT_NE(ComaDialog, nullptr);
  TForm3* current = ComaDialog;
  EXPECT_NE(current, old);
  old->Release();
  EXPECT_EQ(headless::ProcessMessages(), 1);
  EXPECT_EQ(ComaDialog, current);
}

TEST_F(EntryPointsTest, FinalizeWithoutActivationDoesNothing) {
  Initialize();
  plugin.finalize(0);
  EXPECT_EQ(headless::PendingMessages(), 0u);
  EXPECT_EQ(ComaDialog, nullptr);
  EXPECT_TRUE(host::Calls().empty());
}

TEST_F(EntryPointsTest, ActivationsShareOneDialogAndRefreshOnlyXAndY) {
  host::AddImage({2, 2, std::vector<float>(4)});
  host::SelectPoint(30, 40);
  Initialize();
  plugin.activate(0, 0);
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
  host::SelectPoint(-3, 5);
  plugin.activate(0, 0);
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
  plugin.activate(0, 0);
  TForm3* dialog = ComaDialog;
  plugin.finalize(0);
  EXPECT_EQ(App().FirstForm(), dialog);  // still there when finalize returns
  EXPECT_EQ(ComaDialog, dialog);         // finalize itself leaves it
  EXPECT_EQ(headless::ProcessMessages(), 1);
  EXPECT_EQ(App().FirstForm(), nullptr);
  EXPECT_EQ(ComaDialog, nullptr);  // no reference to the freed dialog remains
}

// A host that goes on after finalising: every call after the release finds
// no dialog, or a new one, never the freed one (under AddressSanitizer a use
// of the freed dialog fails the run).
TEST_F(EntryPointsTest, CallsAfterTheReleaseBuildANewDialogOrDoNothing) {
  const std::int32_t image = host::AddImage({8, 6, std::vector<float>(48, 3.0f)});
  host::SelectPoint(4, 3);
  Initialize();
  plugin.activate(0, 0);
  ComaDialog->EditPeak->SetText("9");
  plugin.finalize(0);
  EXPECT_EQ(headless::ProcessMessages(), 1);
  ASSERT_EQ(ComaDialog, nullptr);

  host::SelectPoint(5, 2);
  host::ClearCalls();
  plugin.activate(0, 0);
  ASSERT_NE(ComaDialog, nullptr);
  EXPECT_TRUE(ComaDialog->Visible());
  EXPECT_EQ(headless::ActiveWindow(), ComaDialog->Handle());
  EXPECT_EQ(ComaDialog->EditX->Text(), "5");
  EXPECT_EQ(ComaDialog->EditY->Text(), "2");
  EXPECT_EQ(ComaDialog->EditPeak->Text(), "0");  // a new dialog, with the defaults
  EXPECT_EQ(ComaDialog->EditMaxRad->Text(), "50");
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{16, 11}));

  host::ClearCalls();
  ComaDialog->ButCreate->Click();
  EXPECT_EQ(Codes(), (std::vector<std::int32_t>{16, 1, 8, 0, 14, 0, 2}));
  ASSERT_EQ(host::ShownImages().size(), 1u);
  EXPECT_NE(host::ShownImages()[0], image);
  EXPECT_TRUE(headless::MessageBoxes().empty());

  plugin.finalize(0);
  EXPECT_EQ(headless::ProcessMessages(), 1);
  EXPECT_EQ(ComaDialog, nullptr);
  plugin.finalize(0);  // finalize again: no dialog, nothing to do
  EXPECT_EQ(headless::PendingMessages(), 0u);
  platform::ShutDown();  // unloading
  EXPECT_EQ(App().FirstForm(), nullptr);
  EXPECT_EQ(ComaDialog, nullptr);
  EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(EntryPointsTest, UnloadingBeforeTheReleaseDestroysTheDialog) {
  Initialize();
  plugin.activate(0, 0);
  plugin.finalize(0);
  platform::ShutDown();  // what unloading the library runs
  EXPECT_EQ(App().FirstForm(), nullptr);
  EXPECT_EQ(ComaDialog, nullptr);
  headless::ProcessMessages();  // the stale release reaches no window
  // A later load starts over and builds a new dialog.
  platform::StartUp();
  Initialize();
  EXPECT_EQ(ComaDialog, nullptr);
  plugin.activate(0, 0);
  EXPECT_NE(App().FirstForm(), nullptr);
}

TEST_F(EntryPointsTest, ActivationFailingToBuildTheDialogShowsTheErrorAndThrowsNothing) {
  headless::Reset();
  headless::SetExecutablePath("HOSTAPP.EXE");  // no TFORM3 resource this time
  Initialize();
  plugin.activate(0, 0);
  EXPECT_EQ(ComaDialog, nullptr);
  ASSERT_EQ(headless::MessageBoxes().size(), 1u);
  EXPECT_EQ(headless::MessageBoxes()[0].text, "Resource TFORM3 not found.");
  EXPECT_EQ(headless::MessageBoxes()[0].caption, "Hostapp");
  EXPECT_TRUE(host::Calls().empty());
}

}  // namespace

#if defined(__i386__)
namespace {

// Calls `function` as a 32-bit host does: pushes the arguments last to first
// on a 16-byte aligned stack, calls, and returns how many of the pushed bytes
// are still on the stack afterwards (0 when the callee removed them all, as
// stdcall requires).
std::uint32_t BytesLeftByCall(const void* function, const std::uint32_t* args,
                              std::uint32_t count) {
  std::uint32_t left;
  std::uint32_t n = count;
  const std::uint32_t* a = args;
  asm volatile(
      "leal (,%%ecx,4), %%ebx\n\t"  // the bytes pushed
      "movl %%esp, %%esi\n\t"
      "andl $-16, %%esp\n\t"
      "leal (,%%ecx,4), %%eax\n\t"
      "negl %%eax\n\t"
      "andl $15, %%eax\n\t"
      "subl %%eax, %%esp\n\t"  // aligned once the arguments are pushed
      "1:\n\t"
      "pushl -4(%%edx,%%ecx,4)\n\t"
      "loop 1b\n\t"
      "addl %%esp, %%ebx\n\t"  // where esp is once the callee removed them
      "call *%%edi\n\t"
      "movl %%ebx, %%eax\n\t"
      "subl %%esp, %%eax\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(left), "+c"(n), "+d"(a)
      : "D"(function)
      : "esi", "ebx", "memory", "cc");
  return left;
}

// The 32-bit build: every operand is 32 bits wide and each entry point
// removes its own arguments, as the host's stdcall calls expect.
TEST_F(EntryPointsTest, EntryPointsRemoveTheirArgumentsAsStdcall) {
  static_assert(sizeof(HostOperand) == 4 && sizeof(void*) == 4);
  static_assert(sizeof(HostCallback) == 4);
  char name[32];
  char description[64];
  const std::uint32_t init_args[] = {
      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&host::HostService)),
      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(name)),
      static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(description)),
      static_cast<std::uint32_t>(plugin_window)};
  const std::uint32_t activate_args[] = {0, 0};
  const std::uint32_t finalize_args[] = {0};
  host::AddImage({4, 4, std::vector<float>(16, 1.0f)});
  host::SelectPoint(1, 2);
  EXPECT_EQ(BytesLeftByCall(reinterpret_cast<const void*>(plugin.initialize), init_args, 4), 0u);
  EXPECT_STREQ(name, "Halberon Coma Model");
  EXPECT_EQ(BytesLeftByCall(reinterpret_cast<const void*>(plugin.activate), activate_args, 2), 0u);
  ASSERT_NE(ComaDialog, nullptr);
  EXPECT_EQ(ComaDialog->EditX->Text(), "1");  // the host's callback answered, 32-bit stdcall
  EXPECT_EQ(BytesLeftByCall(reinterpret_cast<const void*>(plugin.finalize), finalize_args, 1), 0u);
  EXPECT_EQ(headless::PendingMessages(), 1u);
  // And the host's callback removes its four operands too.
  const std::uint32_t op16[] = {16, 4096, 0, 0};
  EXPECT_EQ(BytesLeftByCall(reinterpret_cast<const void*>(&host::HostService), op16, 4), 0u);
}

}  // namespace
#endif

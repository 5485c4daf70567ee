// The plug-in's entry points and its dialog, driven through the real window
// system by the reference host: registration, activation, the dialog's
// lifetime, ownership, frame and layout.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "plugin_session.h"

namespace wine_tests {
namespace {

using EntryPoints = PluginSession;

int CountComaDialogs() {
  int count = 0;
  ::EnumThreadWindows(
      ::GetCurrentThreadId(),
      [](HWND window, LPARAM n) noexcept -> BOOL {
        if (host::WindowText(window) == host::kComaDialogCaption) ++*reinterpret_cast<int*>(n);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

TEST_F(EntryPoints, InitializeWritesExactlyTheTwoRegistrationStrings) {
  constexpr unsigned char kGuard = 0xA5;
  std::array<unsigned char, 64> name;
  std::array<unsigned char, 96> description;
  name.fill(kGuard);
  description.fill(kGuard);
  const std::int32_t result =
      plugin_.Initialize()(host::HostService, reinterpret_cast<char*>(name.data()),
                           reinterpret_cast<char*>(description.data()),
                           reinterpret_cast<HostOperand>(windows_.ImageWindow()));
  initialized_ = true;
  EXPECT_EQ(result, 1);

  struct Case {
    const char* what;
    const unsigned char* buffer;
    std::size_t size;
    const char* text;
    std::size_t written;
  } cases[] = {
      {"name", name.data(), name.size(), "Halberon Coma Model", 20},
      {"description", description.data(), description.size(),
       "Syntetize a comet coma model from a real image", 47},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(std::strlen(c.text) + 1, c.written);
    EXPECT_EQ(std::memcmp(c.buffer, c.text, c.written), 0);
    for (std::size_t i = c.written; i < c.size; ++i) {
      ASSERT_EQ(c.buffer[i], kGuard) << "byte " << i << " beyond the terminating zero";
    }
  }
  // pi_initialize itself calls the host for nothing.
  EXPECT_TRUE(host::Calls().empty());
}

TEST_F(EntryPoints, FinalizeWithoutActivationDoesNothing) {
  Initialize();
  Finalize();
  host::PumpUntilIdle();
  EXPECT_EQ(CountComaDialogs(), 0);
  EXPECT_TRUE(host::Calls().empty());
  Unload();
  host::PumpUntilIdle();
  EXPECT_TRUE(capture_->Boxes().empty());
}

TEST_F(EntryPoints, FirstActivationShowsDefaultsAndTheSelectedPoint) {
  const std::int32_t image = OpenImage(40, 30, 17, 23);
  Initialize();
  Activate();
  EXPECT_TRUE(::IsWindowVisible(dialog_.dialog));
  EXPECT_EQ(ReadFields(), (Fields{"0", "17", "23", "50"}));
  ASSERT_EQ(Codes(host::CallCodes()), "16 11");
  const host::HostCall& current = host::Calls()[0];
  EXPECT_EQ(current.a, 4096);
  EXPECT_EQ(current.b, 0);
  EXPECT_EQ(current.c, 0);
  const host::HostCall& point = host::Calls()[1];
  EXPECT_EQ(point.a, image);
  EXPECT_NE(point.b, 0);
  EXPECT_NE(point.c, 0);
  EXPECT_NE(point.b, point.c);
  // The first control in tab order has the focus.
  EXPECT_EQ(::GetFocus(), dialog_.create);
  EXPECT_TRUE(capture_->Boxes().empty());
}

TEST_F(EntryPoints, SecondActivationReusesTheDialogKeepsPeakAndRadiusRefreshesXY) {
  OpenImage(40, 30, 5, 6);
  Initialize();
  Activate();
  const HWND first = dialog_.dialog;
  WriteFields({"77", "1", "2", "12"});
  host::SelectPoint(9, 8);
  Activate();
  EXPECT_EQ(dialog_.dialog, first);
  EXPECT_EQ(CountComaDialogs(), 1);
  EXPECT_EQ(ReadFields(), (Fields{"77", "9", "8", "12"}));
}

TEST_F(EntryPoints, CloseBoxHidesAndTheNextActivationShowsItWhereItWas) {
  Initialize();
  Activate();
  RECT frame;
  ::GetWindowRect(dialog_.dialog, &frame);
  EXPECT_EQ(frame.left, 458);
  EXPECT_EQ(frame.top, 178);

  // The user moves it, types into the fields and closes it with the close box.
  ::SetWindowPos(dialog_.dialog, nullptr, 300, 210, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  WriteFields({"3", "4", "5", "6"});
  ::SendMessageA(dialog_.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  host::PumpUntilIdle();
  ASSERT_TRUE(::IsWindow(dialog_.dialog)) << "the close box destroyed the dialog";
  EXPECT_FALSE(::IsWindowVisible(dialog_.dialog));
  EXPECT_EQ(ReadFields(), (Fields{"3", "4", "5", "6"}));

  const HWND before = dialog_.dialog;
  Activate();
  EXPECT_EQ(dialog_.dialog, before);
  EXPECT_TRUE(::IsWindowVisible(dialog_.dialog));
  ::GetWindowRect(dialog_.dialog, &frame);
  EXPECT_EQ(frame.left, 300);
  EXPECT_EQ(frame.top, 210);
  EXPECT_EQ(ReadFields(), (Fields{"3", "0", "0", "6"}));  // no image: X, Y refreshed to 0
}

TEST_F(EntryPoints, DialogIsOwnedByTheOwnerOfTheWindowPassed) {
  Initialize();
  Activate();
  EXPECT_EQ(::GetWindow(dialog_.dialog, GW_OWNER), windows_.Main());
  EXPECT_EQ(::GetWindowLongPtrA(dialog_.dialog, GWL_STYLE) & WS_CHILD, 0);
}

TEST_F(EntryPoints, WindowWithoutOwnerGivesAnUnownedDialog) {
  RecreateWindows(/*owned=*/false);
  Initialize();
  Activate();
  EXPECT_EQ(::GetWindow(dialog_.dialog, GW_OWNER), nullptr);
  EXPECT_TRUE(::IsWindowVisible(dialog_.dialog));
}

TEST_F(EntryPoints, DialogFrameIsTopmostFixedWithCloseBoxOnly) {
  Initialize();
  Activate();
  const auto style = static_cast<DWORD>(::GetWindowLongPtrA(dialog_.dialog, GWL_STYLE));
  const auto ex_style = static_cast<DWORD>(::GetWindowLongPtrA(dialog_.dialog, GWL_EXSTYLE));
  EXPECT_NE(ex_style & WS_EX_TOPMOST, 0u);
  EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
  EXPECT_NE(style & WS_SYSMENU, 0u);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
  EXPECT_EQ(ex_style & WS_EX_APPWINDOW, 0u);  // no taskbar button of its own
  EXPECT_EQ(host::WindowText(dialog_.dialog), "Coma Model");
  RECT client;
  ::GetClientRect(dialog_.dialog, &client);
  EXPECT_EQ(client.right, 254);
  EXPECT_EQ(client.bottom, 188);
  EXPECT_EQ(::GetClassLongPtrA(dialog_.dialog, GCLP_HBRBACKGROUND),
            static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));
}

// Every control with its class, text and place in the dialog's client area
// (the groups' children are placed relative to their group, at 8,4 and 8,92).
TEST_F(EntryPoints, EveryControlHasItsClassTextPositionSizeAndFont) {
  Initialize();
  Activate();
  struct Expected {
    const char* text;
    const char* kind;   // window class
    DWORD button_type;  // BS_* for buttons
    HWND parent;
    LONG left, top, width, height;  // width 0: a label, as wide as its caption
  };
  const HWND form = dialog_.dialog;
  const HWND peak = dialog_.peak_group;
  const HWND options = dialog_.options_group;
  const Expected controls[] = {
      {"Create Model", "Button", BS_PUSHBUTTON, form, 72, 152, 113, 29},
      {"Peak", "Button", BS_GROUPBOX, form, 8, 4, 237, 81},
      {"New value:", "Static", 0, peak, 8 + 12, 4 + 52, 0, 13},
      {"X,Y:", "Static", 0, peak, 8 + 12, 4 + 20, 0, 13},
      {"Get from image", "Button", BS_PUSHBUTTON, peak, 8 + 140, 4 + 14, 85, 25},
      {"Options", "Button", BS_GROUPBOX, form, 8, 92, 237, 53},
      {"Max radius:", "Static", 0, options, 8 + 12, 92 + 24, 0, 13},
  };
  std::vector<HWND> all;
  ::EnumChildWindows(
      form,
      [](HWND child, LPARAM list) noexcept -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&all));
  EXPECT_EQ(all.size(), 11u) << "four edits, three labels, two buttons, two groups";

  for (const Expected& e : controls) {
    SCOPED_TRACE(e.text);
    HWND found = nullptr;
    for (HWND w : all) {
      if (host::WindowText(w) == e.text && host::WindowClass(w) == e.kind) found = w;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(::GetParent(found), e.parent);
    const RECT r = host::RectInDialog(form, found);
    EXPECT_EQ(r.left, e.left);
    EXPECT_EQ(r.top, e.top);
    EXPECT_EQ(r.bottom - r.top, e.height);
    if (e.width > 0) {
      EXPECT_EQ(r.right - r.left, e.width);
    } else {
      // A label is as wide as its caption in the dialog's font.
      const platform::win32::WindowDC dc(found);
      const platform::win32::SelectedObject selected(
          dc.Get(), reinterpret_cast<HFONT>(::SendMessageA(found, WM_GETFONT, 0, 0)));
      SIZE extent{};
      ::GetTextExtentPoint32A(dc.Get(), e.text, static_cast<int>(std::strlen(e.text)), &extent);
      EXPECT_EQ(r.right - r.left, extent.cx);
    }
    if (e.button_type) {
      const auto style = static_cast<DWORD>(::GetWindowLongPtrA(found, GWL_STYLE));
      EXPECT_EQ(style & BS_TYPEMASK, e.button_type) << "no default button, groups are groups";
    }
  }

  struct Field {
    const char* what;
    HWND window;
    HWND parent;
    LONG left, top, width;
    const char* text;
  } fields[] = {
      {"EditPeak", dialog_.edit_peak, peak, 8 + 80, 4 + 49, 49, "0"},
      {"EditX", dialog_.edit_x, peak, 8 + 44, 4 + 17, 37, "0"},
      {"EditY", dialog_.edit_y, peak, 8 + 92, 4 + 17, 37, "0"},
      {"EditMaxRad", dialog_.edit_max_rad, options, 8 + 80, 92 + 21, 37, "50"},
  };
  for (const Field& f : fields) {
    SCOPED_TRACE(f.what);
    EXPECT_EQ(host::WindowClass(f.window), "Edit");
    EXPECT_EQ(::GetParent(f.window), f.parent);
    const RECT r = host::RectInDialog(form, f.window);
    EXPECT_EQ(r.left, f.left);
    EXPECT_EQ(r.top, f.top);
    EXPECT_EQ(r.right - r.left, f.width);
    EXPECT_EQ(r.bottom - r.top, 21);
    EXPECT_EQ(host::WindowText(f.window), f.text);
    const auto style = static_cast<DWORD>(::GetWindowLongPtrA(f.window, GWL_STYLE));
    EXPECT_EQ(style & (ES_MULTILINE | ES_NUMBER), 0u) << "plain single-line text";
    EXPECT_EQ(::SendMessageA(f.window, EM_GETLIMITTEXT, 0, 0) >= 30000, true) << "no length limit";
  }

  // The form's font, Tahoma at -11, on every control; and Tahoma is what the
  // window system really uses for it.
  for (HWND w : all) {
    SCOPED_TRACE(host::WindowClass(w) + " \"" + host::WindowText(w) + "\"");
    const auto font = reinterpret_cast<HFONT>(::SendMessageA(w, WM_GETFONT, 0, 0));
    ASSERT_NE(font, nullptr);
    LOGFONTA logical{};
    ASSERT_NE(::GetObjectA(font, sizeof logical, &logical), 0);
    EXPECT_STREQ(logical.lfFaceName, "Tahoma");
    EXPECT_EQ(logical.lfHeight, -11);
    EXPECT_EQ(logical.lfWeight == FW_NORMAL || logical.lfWeight == FW_DONTCARE, true);
    EXPECT_FALSE(logical.lfItalic || logical.lfUnderline || logical.lfStrikeOut);
    char face[LF_FACESIZE] = {};
    TEXTMETRICA metrics{};
    {
      const platform::win32::WindowDC dc(w);
      const platform::win32::SelectedObject selected(dc.Get(), font);
      ::GetTextFaceA(dc.Get(), LF_FACESIZE, face);
      ::GetTextMetricsA(dc.Get(), &metrics);
    }
    EXPECT_STREQ(face, "Tahoma");
    EXPECT_EQ(metrics.tmHeight, 13);
  }
}

TEST_F(EntryPoints, TabOrderRunsCreatePeakXYGetRadiusAndBack) {
  Initialize();
  Activate();
  const std::vector<std::pair<const char*, HWND>> order = {
      {"EditPeak", dialog_.edit_peak},
      {"EditX", dialog_.edit_x},
      {"EditY", dialog_.edit_y},
      {"Get from image", dialog_.get_point},
      {"EditMaxRad", dialog_.edit_max_rad},
      {"Create Model", dialog_.create},
  };
  HWND at = dialog_.create;
  for (const auto& [what, window] : order) {
    SCOPED_TRACE(what);
    at = ::GetNextDlgTabItem(dialog_.dialog, at, FALSE);
    EXPECT_EQ(at, window);
  }
}

TEST_F(EntryPoints, FinalizeReleasesTheDialogWhenTheLoopNextDispatches) {
  Initialize();
  Activate();
  const HWND dialog = dialog_.dialog;
  Finalize();
  EXPECT_TRUE(::IsWindow(dialog)) << "destroyed during pi_finalize";
  host::PumpUntilIdle();
  EXPECT_FALSE(::IsWindow(dialog));
  Unload();
  host::PumpUntilIdle();
  EXPECT_TRUE(capture_->Boxes().empty());
}

TEST_F(EntryPoints, UnloadingBeforeTheReleaseIsDispatchedDestroysTheDialog) {
  Initialize();
  Activate();
  const HWND dialog = dialog_.dialog;
  Finalize();
  Unload();  // the release message is still queued
  EXPECT_FALSE(::IsWindow(dialog));
  host::PumpUntilIdle();  // dispatching what is left must not reach the freed code
  EXPECT_EQ(CountComaDialogs(), 0);
}

// A host that goes on after finalising: every call after the release finds
// no dialog, or builds a new one, and never touches the freed one.
TEST_F(EntryPoints, CallsAfterTheReleaseBuildANewDialogOrDoNothing) {
  OpenImage(20, 16, 7, 6);
  Initialize();
  Activate();
  const HWND first = dialog_.dialog;
  WriteFields({"9", "7", "6", "12"});
  Finalize();
  host::PumpUntilIdle();
  ASSERT_FALSE(::IsWindow(first));

  host::SelectPoint(5, 4);
  host::ClearCalls();
  Activate();
  EXPECT_TRUE(::IsWindowVisible(dialog_.dialog));
  EXPECT_EQ(CountComaDialogs(), 1);
  EXPECT_EQ(ReadFields(), (Fields{"0", "5", "4", "50"}));  // a new dialog, X and Y from the host
  EXPECT_EQ(Codes(host::CallCodes()), "16 11");

  WriteFields({"1", "5", "4", "3"});
  host::ClearCalls();
  ClickCreate();
  EXPECT_EQ(Codes(host::CallCodes()), "16 1 8 0 14 0 2");
  EXPECT_EQ(host::ShownImages().size(), 1u);

  const HWND second = dialog_.dialog;
  Finalize();
  host::PumpUntilIdle();
  EXPECT_FALSE(::IsWindow(second));
  plugin_.Finalize()(0);  // once more: no dialog, nothing happens
  host::PumpUntilIdle();
  Unload();
  host::PumpUntilIdle();
  EXPECT_EQ(CountComaDialogs(), 0);
  EXPECT_TRUE(capture_->Boxes().empty());
}

TEST_F(EntryPoints, LoadUnloadAndLoadAgain) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    if (round > 0) {
      std::string error;
      ASSERT_TRUE(plugin_.Load(PluginPath(), &error)) << error;
      finalized_ = false;
    }
    std::array<char, 64> name{};
    std::array<char, 64> description{};
    ASSERT_EQ(plugin_.Initialize()(host::HostService, name.data(), description.data(),
                                   reinterpret_cast<HostOperand>(windows_.ImageWindow())),
              1);
    initialized_ = true;
    EXPECT_STREQ(name.data(), "Halberon Coma Model");
    Activate();
    EXPECT_EQ(ReadFields(), (Fields{"0", "0", "0", "50"}));
    WriteFields({"9", "9", "9", "9"});
    Finalize();
    if (round % 2 == 0) host::PumpUntilIdle();
    Unload();
    host::PumpUntilIdle();
    EXPECT_EQ(CountComaDialogs(), 0);
  }
}

}  // namespace
}  // namespace wine_tests

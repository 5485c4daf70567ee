// GetPointFromImage and CreateComaModel against the stand-in host: the host
// calls each path issues, the boxes it shows, the fields it reads and in what
// order, what it leaves allocated, and the model it hands over.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "dialog/frmCC3.h"
#include "engine/coma_engine.h"
#include "platform/headless.h"
#include "platform/memory.h"
#include "plugin/comacode9.h"
#include "tests/command_cases.h"
#include "tests/headless/shell_test.h"

namespace {

namespace headless = platform::headless;
using Codes = std::vector<std::int32_t>;

using command_cases::kErrorDisplayStyle;

std::string Text(const std::vector<std::int32_t>& codes) {
  std::string text;
  for (const std::int32_t code : codes) text += (text.empty() ? "" : " ") + std::to_string(code);
  return text;
}

// A 5 x 4 image with a bright centre at (2, 1) and a falling ring around it.
host::Image SmallComet() {
  host::Image img{5, 4, {}};
  for (std::int32_t y = 0; y < 4; ++y)
    for (std::int32_t x = 0; x < 5; ++x)
      img.samples.push_back(100.0f / static_cast<float>(1 + (x - 2) * (x - 2) + (y - 1) * (y - 1)) +
                            static_cast<float>(x) * 0.25f);
  return img;
}

struct Fields {
  std::string peak = "0";
  std::string x = "2";
  std::string y = "1";
  std::string radius = "3";
};

class CommandsTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    source = host::AddImage(SmallComet());
    host::SelectPoint(2, 1);
    Initialize();
    Plugin().activate(0, 0);
    ASSERT_NE(ComaDialog, nullptr);
    host::ClearCalls();
    blocks_before = platform::LiveMemoryBlocks();
  }

  void SetFields(const Fields& f) {
    ComaDialog->EditPeak->SetText(f.peak);
    ComaDialog->EditX->SetText(f.x);
    ComaDialog->EditY->SetText(f.y);
    ComaDialog->EditMaxRad->SetText(f.radius);
  }

  void ExpectFields(const Fields& f) {
    EXPECT_EQ(ComaDialog->EditPeak->Text(), f.peak);
    EXPECT_EQ(ComaDialog->EditX->Text(), f.x);
    EXPECT_EQ(ComaDialog->EditY->Text(), f.y);
    EXPECT_EQ(ComaDialog->EditMaxRad->Text(), f.radius);
  }

  // Runs "Create Model" as a click does.
  void Create() {
    headless::ClearMessageBoxes();
    host::ClearCalls();
    ComaDialog->ButCreate->Click();
  }

  std::int32_t source = 0;
  std::int64_t blocks_before = 0;
};

TEST_F(CommandsTest, GetPointWritesTheSelectedPointOrZero) {
  const struct {
    const char* name;
    bool image_open;
    std::optional<std::pair<std::int32_t, std::int32_t>> selected;
    const char* x;
    const char* y;
    Codes calls;
  } cases[] = {
      {"selected point", true, {{17, -4}}, "17", "-4", {16, 11}},
      {"host stores nothing", true, std::nullopt, "0", "0", {16, 11}},
      {"no image open", false, {{5, 5}}, "0", "0", {16}},
      {"extremes", true, {{INT32_MIN, INT32_MAX}}, "-2147483648", "2147483647", {16, 11}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host::SetCurrentImage(c.image_open ? source : 0);
    host::Script().store_point = c.selected.has_value();
    if (c.selected) host::SelectPoint(c.selected->first, c.selected->second);
    for (int via_button = 0; via_button < 2; ++via_button) {
      ComaDialog->EditX->SetText("9");
      ComaDialog->EditY->SetText("9");
      ComaDialog->EditPeak->SetText("p");
      host::ClearCalls();
      if (via_button)
        ComaDialog->ButPeak->Click();
      else
        Plugin().activate(0, 0);
      EXPECT_EQ(ComaDialog->EditX->Text(), c.x);
      EXPECT_EQ(ComaDialog->EditY->Text(), c.y);
      EXPECT_EQ(ComaDialog->EditPeak->Text(), "p");
      EXPECT_EQ(host::CallCodes(), c.calls);
      if (c.image_open) {
        EXPECT_EQ(host::Calls()[0].a, 4096);
        EXPECT_EQ(host::Calls()[1].a, source);
      }
    }
  }
  EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(CommandsTest, SuccessfulRunIssuesTheSevenCallsAndRendersTheEnginesModel) {
  const host::Image before = *host::FindImage(source);
  SetFields({"1000", "2", "1", "3"});
  Create();
  EXPECT_TRUE(headless::MessageBoxes().empty());
  ASSERT_EQ(host::CallCodes(), (Codes{16, 1, 8, 0, 14, 0, 2}));
  EXPECT_EQ(host::Calls()[0].a, 4096);
  EXPECT_EQ(host::Calls()[1].a, source);
  EXPECT_EQ(host::Calls()[2].a, source);
  EXPECT_EQ(host::Calls()[3].a, source);
  EXPECT_EQ(host::Calls()[4].a, 5);  // the width and height op 1 stored
  EXPECT_EQ(host::Calls()[4].b, 4);
  EXPECT_EQ(host::Calls()[4].c, 0);
  const std::int32_t model = static_cast<std::int32_t>(host::Calls()[5].a);
  EXPECT_NE(model, source);
  EXPECT_EQ(host::Calls()[6].a, model);
  EXPECT_EQ(host::Calls()[6].b, 1);
  EXPECT_EQ(host::Calls()[6].c, 1);
  EXPECT_EQ(host::ShownImages(), Codes{model});
  EXPECT_EQ(ImageWidth, 5);
  EXPECT_EQ(ImageHeight, 4);
  EXPECT_EQ(PeakValue, 1000.0f);

  // The source is untouched, bit for bit.
  const host::Image& after = *host::FindImage(source);
  ASSERT_EQ(after.samples.size(), before.samples.size());
  EXPECT_EQ(std::memcmp(after.samples.data(), before.samples.data(), after.samples.size() * 4), 0);

  // The new image is what the engine renders for the same input.
  std::vector<float> copy = before.samples;
  std::vector<float> expected(copy.size(), 0.0f);
  SourceCopy = copy.data();
  ModelPixels = expected.data();
  PeakValue = 1000.0f;
  ASSERT_TRUE(RenderComaModel(2, 1, 3));
  SourceCopy = nullptr;
  const host::Image& result = *host::FindImage(model);
  ASSERT_EQ(result.samples.size(), expected.size());
  EXPECT_EQ(std::memcmp(result.samples.data(), expected.data(), expected.size() * 4), 0);
  EXPECT_EQ(result.samples[2 + 1 * 5], 1000.0f);

  EXPECT_EQ(platform::LiveMemoryBlocks(), blocks_before);
  ExpectFields({"1000", "2", "1", "3"});
}

// The shared table of field texts: the box shown or the model made, the host
// calls issued, the fields left as typed and nothing left allocated.
TEST_F(CommandsTest, FieldCasesOfTheSharedTable) {
  using namespace command_cases;
  host::ResetHost();
  host::Image frame{kCaseImageWidth, kCaseImageHeight, {}};
  for (std::int32_t i = 0; i < kCaseImageWidth * kCaseImageHeight; ++i)
    frame.samples.push_back(static_cast<float>(i * 7 % 11) +
                            0.5f * static_cast<float>(i % kCaseImageWidth));
  const std::int32_t image = host::AddImage(std::move(frame));
  host::SelectPoint(kCaseX, kCaseY);
  for (const FieldCase& c : kFieldCases) {
    SCOPED_TRACE(c.name);
    host::SetCurrentImage(c.image_open ? image : 0);
    const Fields fields{c.fields.peak, c.fields.x, c.fields.y, c.fields.radius};
    SetFields(fields);
    const std::size_t shown_before = host::ShownImages().size();
    Create();
    if (c.text != nullptr) {
      EXPECT_EQ(Text(host::CallCodes()), kRefusedCodes);
      ASSERT_EQ(headless::MessageBoxes().size(), 1u);
      const auto& box = headless::MessageBoxes()[0];
      EXPECT_EQ(box.caption, c.caption);
      EXPECT_EQ(box.text, c.text);
      EXPECT_EQ(box.style, c.style);
      EXPECT_EQ(box.owner, main_window);
      EXPECT_EQ(host::ShownImages().size(), shown_before);
    } else {
      EXPECT_EQ(Text(host::CallCodes()), kAcceptedCodes);
      EXPECT_TRUE(headless::MessageBoxes().empty());
      EXPECT_EQ(PeakValue, c.peak);
      ASSERT_EQ(host::ShownImages().size(), shown_before + 1);
      const host::Image& model = *host::FindImage(host::ShownImages().back());
      const host::Image& source_image = *host::FindImage(image);
      std::vector<float> expected(source_image.samples.size(), 0.0f);
      SourceCopy = source_image.samples.data();
      ModelPixels = expected.data();
      ASSERT_TRUE(RenderComaModel(std::stoi(c.fields.x), std::stoi(c.fields.y),
                                  std::stoi(c.fields.radius)));
      SourceCopy = nullptr;
      EXPECT_EQ(std::memcmp(model.samples.data(), expected.data(), expected.size() * 4), 0);
    }
    ExpectFields(fields);
    EXPECT_EQ(platform::LiveMemoryBlocks(), blocks_before);
  }
}

TEST_F(CommandsTest, HostFailuresEndTheCommandQuietlyWithNothingAllocated) {
  const struct {
    const char* name;
    bool source_fails;
    bool model_fails;
    Codes calls;
  } cases[] = {
      {"op 0 fails for the source", true, false, {16, 1, 8, 0}},
      {"op 0 fails for the new image", false, true, {16, 1, 8, 0, 14, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host::Script().fail_pixels_for.clear();
    host::Script().fail_pixels_result = 1;
    if (c.source_fails) host::Script().fail_pixels_for.insert(source);
    host::Script().fail_pixels_for_new_images = c.model_fails;
    const std::size_t shown_before = host::ShownImages().size();
    SetFields({});
    Create();
    EXPECT_EQ(host::CallCodes(), c.calls);
    EXPECT_TRUE(headless::MessageBoxes().empty());
    EXPECT_EQ(host::ShownImages().size(), shown_before);
    EXPECT_EQ(platform::LiveMemoryBlocks(), blocks_before);
    EXPECT_EQ(SourceCopy, nullptr);
    if (c.model_fails) {
      const host::Image& created = *host::FindImage(host::CreatedImages().back());
      for (float v : created.samples) EXPECT_EQ(v, 0.0f);  // as the host created it
    }
    ExpectFields({});
  }
}

TEST_F(CommandsTest, SizesThatCannotBeAllocatedShowOutOfMemory) {
  const struct {
    const char* name;
    std::int32_t width, height;
  } cases[] = {
      {"negative width", -5, 4},
      {"negative height", 5, -1},
      {"both negative (positive product)", -65536, -65536},
      {"product overflows 32 bits", 65536, 65536},
      {"beyond any block", INT32_MAX, INT32_MAX},
      {"just over the block limit", 0x20000000, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host::Script().stored_size = {{c.width, c.height}};
    SetFields({});
    Create();
    EXPECT_EQ(host::CallCodes(), (Codes{16, 1, 8}));
    ASSERT_EQ(headless::MessageBoxes().size(), 1u);
    EXPECT_EQ(headless::MessageBoxes()[0].text, "Out of memory.");
    EXPECT_EQ(headless::MessageBoxes()[0].caption, "Hostapp");
    EXPECT_EQ(headless::MessageBoxes()[0].style, kErrorDisplayStyle);
    EXPECT_EQ(platform::LiveMemoryBlocks(), blocks_before);
    ExpectFields({});
  }
}

// The reference host creates no image of width 0 (operation 14 answers 0, and
// operation 0 on that handle fails), so the command ends there.
TEST_F(CommandsTest, AnEmptyImageAllocatesNothingAndEndsQuietly) {
  host::AddImage(host::Image{0, 7, {}});
  SetFields({});
  Create();
  EXPECT_EQ(host::CallCodes(), (Codes{16, 1, 8, 0, 14, 0}));
  EXPECT_EQ(host::Calls()[4].a, 0);
  EXPECT_EQ(host::Calls()[4].b, 7);
  EXPECT_TRUE(headless::MessageBoxes().empty());
  EXPECT_EQ(platform::LiveMemoryBlocks(), blocks_before);
}

TEST_F(CommandsTest, ErrorBoxesDisableTheDialogAndHostWindowsWhileShown) {
  SetFields({"0", "abc", "1", "3"});
  Create();
  ASSERT_EQ(headless::MessageBoxes().size(), 1u);
  const auto& disabled = headless::MessageBoxes()[0].disabled;
  for (platform::NativeWindow w : {main_window, plugin_window, ComaDialog->Handle()}) {
    EXPECT_NE(std::find(disabled.begin(), disabled.end(), w), disabled.end()) << w;
    EXPECT_TRUE(headless::IsWindowEnabled(w)) << w;
  }
}

TEST_F(CommandsTest, ACommandStartedWhileAnotherRunsDoesNothing) {
  const struct {
    const char* name;
    Fields fields;
    std::int32_t during_code;  // the host call inside which the clicks come; 0: inside a box
    Codes calls;
  } cases[] = {
      {"inside a host operation", {}, 1, {16, 1, 8, 0, 14, 0, 2}},
      {"inside the information box", {"0", "0", "0", "3"}, 0, {16}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int clicks = 0;
    const auto click_both = [&] {
      ++clicks;
      ComaDialog->EditX->SetText(c.fields.x);
      ComaDialog->ButCreate->Click();
      ComaDialog->ButPeak->Click();
    };
    host::Script().on_call = [&](const host::HostCall& call) {
      if (c.during_code != 0 && call.code == c.during_code) click_both();
    };
    headless::SetMessageBoxHandler([&](const headless::MessageBoxCall&) {
      if (c.during_code == 0) click_both();
      return 1;
    });
    SetFields(c.fields);
    Create();
    host::Script().on_call = nullptr;
    headless::SetMessageBoxHandler(nullptr);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(host::CallCodes(), c.calls);
    ExpectFields(c.fields);
  }
  // Once the command has ended, the next one runs.
  SetFields({});
  Create();
  EXPECT_EQ(host::CallCodes(), (Codes{16, 1, 8, 0, 14, 0, 2}));
}

}  // namespace

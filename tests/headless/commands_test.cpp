// GetPointFromImage and CreateComaModel against the fake host: the host
// calls each path issues, the boxes it shows, the fields it reads and in what
// order, what it leaves allocated, and the model it hands over.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "dialog/frmCC3.h"
#include "engine/coma_engine.h"
#include "platform/headless.h"
#include "platform/memory.h"
#include "plugin/comacode9.h"
#include "tests/headless/fake_host.h"

namespace {

namespace headless = platform::headless;
using Codes = std::vector<std::int32_t>;

constexpr unsigned kErrorStyle = 0x42010;
constexpr unsigned kInfoStyle = 0x42040;
constexpr unsigned kErrorDisplayStyle = 0x10;  // MB_OK | MB_ICONERROR

// A 5 x 4 image with a bright centre at (2, 1) and a falling ring around it.
FakeImage SmallComet() {
  FakeImage img{5, 4, {}};
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
    source = host.Open(SmallComet());
    host.selected = {{2, 1}};
    Initialize();
    pi_activate(0, 0);
    ASSERT_NE(ComaDialog, nullptr);
    host.calls.clear();
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
    host.calls.clear();
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
    host.current = c.image_open ? source : 0;
    host.selected = c.selected;
    for (int via_button = 0; via_button < 2; ++via_button) {
      ComaDialog->EditX->SetText("9");
      ComaDialog->EditY->SetText("9");
      ComaDialog->EditPeak->SetText("p");
      host.calls.clear();
      if (via_button)
        ComaDialog->ButPeak->Click();
      else
        pi_activate(0, 0);
      EXPECT_EQ(ComaDialog->EditX->Text(), c.x);
      EXPECT_EQ(ComaDialog->EditY->Text(), c.y);
      EXPECT_EQ(ComaDialog->EditPeak->Text(), "p");
      EXPECT_EQ(host.Codes(), c.calls);
      if (c.image_open) {
        EXPECT_EQ(host.calls[0].a, 4096);
        EXPECT_EQ(host.calls[1].a, source);
      }
    }
  }
  EXPECT_TRUE(headless::MessageBoxes().empty());
}

TEST_F(CommandsTest, SuccessfulRunIssuesTheSevenCallsAndRendersTheEnginesModel) {
  const FakeImage before = host.images[source];
  SetFields({"1000", "2", "1", "3"});
  Create();
  EXPECT_TRUE(headless::MessageBoxes().empty());
  ASSERT_EQ(host.Codes(), (Codes{16, 1, 8, 0, 14, 0, 2}));
  EXPECT_EQ(host.calls[0].a, 4096);
  EXPECT_EQ(host.calls[1].a, source);
  EXPECT_EQ(host.calls[2].a, source);
  EXPECT_EQ(host.calls[3].a, source);
  EXPECT_EQ(host.calls[4].a, 5);  // the width and height op 1 stored
  EXPECT_EQ(host.calls[4].b, 4);
  EXPECT_EQ(host.calls[4].c, 0);
  const std::int32_t model = static_cast<std::int32_t>(host.calls[5].a);
  EXPECT_NE(model, source);
  EXPECT_EQ(host.calls[6].a, model);
  EXPECT_EQ(host.calls[6].b, 1);
  EXPECT_EQ(host.calls[6].c, 1);
  EXPECT_EQ(host.finished, model);
  EXPECT_EQ(ImageWidth, 5);
  EXPECT_EQ(ImageHeight, 4);
  EXPECT_EQ(PeakValue, 1000.0f);

  // The source is untouched, bit for bit.
  const FakeImage& after = host.images[source];
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
  const FakeImage& result = host.images[model];
  ASSERT_EQ(result.samples.size(), expected.size());
  EXPECT_EQ(std::memcmp(result.samples.data(), expected.data(), expected.size() * 4), 0);
  EXPECT_EQ(result.samples[2 + 1 * 5], 1000.0f);

  EXPECT_EQ(platform::LiveMemoryBlocks(), blocks_before);
  ExpectFields({"1000", "2", "1", "3"});
}

TEST_F(CommandsTest, FieldConversionsAcceptedAsTheFieldsStoreThem) {
  const struct {
    Fields fields;
    float peak;
  } cases[] = {
      {{"16777217", "2", "1", "3"}, 16777216.0f},
      {{"-5", "2", "1", "3"}, -5.0f},
      {{"  42", "2", "1", "3"}, 42.0f},
      {{"$FF", "2", "1", "3"}, 255.0f},
      {{"-0x10", "2", "1", "3"}, -16.0f},
      {{"0", "0", "12", "3"}, 0.0f},     // one coordinate 0 is a centre
      {{"0", "-7", "0", "3"}, 0.0f},     // outside the image is allowed
      {{"0", "2", "1", "0"}, 0.0f},      // R 0: the centre pixel only
      {{"0", "2", "1", "-5"}, 0.0f},     // R below 0 likewise
      {{"0", "2", "1", "39999"}, 0.0f},  // the largest radius that fits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fields.peak + " " + c.fields.x + " " + c.fields.y + " " + c.fields.radius);
    SetFields(c.fields);
    Create();
    EXPECT_TRUE(headless::MessageBoxes().empty());
    EXPECT_EQ(host.Codes(), (Codes{16, 1, 8, 0, 14, 0, 2}));
    EXPECT_EQ(PeakValue, c.peak);
    ExpectFields(c.fields);
  }
}

TEST_F(CommandsTest, EarlyExitsShowTheirBoxAndCallNothingFurther) {
  const struct {
    const char* name;
    bool image_open;
    Fields fields;
    const char* caption;
    const char* text;
    unsigned style;
  } cases[] = {
      {"no image, fields not read",
       false,
       {"x", "abc", "", "y"},
       "Error",
       "Please open an image.",
       kErrorStyle},
      {"X not an integer",
       true,
       {"0", "abc", "1", "3"},
       "Hostapp",
       "'abc' is not a valid integer value.",
       kErrorDisplayStyle},
      {"peak with a point",
       true,
       {"12.5", "2", "1", "3"},
       "Hostapp",
       "'12.5' is not a valid integer value.",
       kErrorDisplayStyle},
      {"empty radius",
       true,
       {"0", "2", "1", ""},
       "Hostapp",
       "'' is not a valid integer value.",
       kErrorDisplayStyle},
      {"trailing space",
       true,
       {"0", "42 ", "1", "3"},
       "Hostapp",
       "'42 ' is not a valid integer value.",
       kErrorDisplayStyle},
      {"bare 0x",
       true,
       {"0", "2", "0x", "3"},
       "Hostapp",
       "'0x' is not a valid integer value.",
       kErrorDisplayStyle},
      {"peak read first",
       true,
       {"p", "x", "y", "r"},
       "Hostapp",
       "'p' is not a valid integer value.",
       kErrorDisplayStyle},
      {"X hides a failing radius",
       true,
       {"0", "abc", "1", ""},
       "Hostapp",
       "'abc' is not a valid integer value.",
       kErrorDisplayStyle},
      {"Y before radius",
       true,
       {"0", "2", "y", "r"},
       "Hostapp",
       "'y' is not a valid integer value.",
       kErrorDisplayStyle},
      {"decimal out of range",
       true,
       {"0", "2147483648", "1", "3"},
       "Hostapp",
       "'2147483648' is not a valid integer value.",
       kErrorDisplayStyle},
      {"centre (0, 0)",
       true,
       {"0", "0", "0", "3"},
       "Information",
       "Please select a point as coma centroid",
       kInfoStyle},
      {"centre before radius range",
       true,
       {"0", "0", "0", "40000"},
       "Information",
       "Please select a point as coma centroid",
       kInfoStyle},
      {"radius beyond the profile",
       true,
       {"0", "2", "1", "40000"},
       "Error",
       "Max radius must be 39999 or less.",
       kErrorStyle},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.current = c.image_open ? source : 0;
    SetFields(c.fields);
    Create();
    EXPECT_EQ(host.Codes(), Codes{16});
    ASSERT_EQ(headless::MessageBoxes().size(), 1u);
    const auto& box = headless::MessageBoxes()[0];
    EXPECT_EQ(box.caption, c.caption);
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.style, c.style);
    EXPECT_EQ(box.owner, main_window);
    ExpectFields(c.fields);
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
    host.pixels_result.clear();
    if (c.source_fails) host.pixels_result[source] = 1;
    if (c.model_fails) host.pixels_result[host.next_handle] = 0;
    host.finished.reset();
    SetFields({});
    Create();
    EXPECT_EQ(host.Codes(), c.calls);
    EXPECT_TRUE(headless::MessageBoxes().empty());
    EXPECT_FALSE(host.finished);
    EXPECT_EQ(platform::LiveMemoryBlocks(), blocks_before);
    EXPECT_EQ(SourceCopy, nullptr);
    if (c.model_fails) {
      const FakeImage& created = host.images[static_cast<std::int32_t>(host.next_handle - 1)];
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
    host.stored_size = {{c.width, c.height}};
    SetFields({});
    Create();
    EXPECT_EQ(host.Codes(), (Codes{16, 1, 8}));
    ASSERT_EQ(headless::MessageBoxes().size(), 1u);
    EXPECT_EQ(headless::MessageBoxes()[0].text, "Out of memory.");
    EXPECT_EQ(headless::MessageBoxes()[0].caption, "Hostapp");
    EXPECT_EQ(headless::MessageBoxes()[0].style, kErrorDisplayStyle);
    EXPECT_EQ(platform::LiveMemoryBlocks(), blocks_before);
    ExpectFields({});
  }
}

TEST_F(CommandsTest, AnEmptyImageAllocatesNothingAndStillFinishes) {
  host.images[source] = FakeImage{0, 7, {}};
  SetFields({});
  Create();
  EXPECT_EQ(host.Codes(), (Codes{16, 1, 8, 0, 14, 0, 2}));
  EXPECT_EQ(host.calls[4].a, 0);
  EXPECT_EQ(host.calls[4].b, 7);
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
    host.during_call = [&](const HostCall& call) {
      if (c.during_code != 0 && call.code == c.during_code) click_both();
    };
    headless::SetMessageBoxHandler([&](const headless::MessageBoxCall&) {
      if (c.during_code == 0) click_both();
      return 1;
    });
    SetFields(c.fields);
    Create();
    host.during_call = nullptr;
    headless::SetMessageBoxHandler(nullptr);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(host.Codes(), c.calls);
    ExpectFields(c.fields);
  }
  // Once the command has ended, the next one runs.
  SetFields({});
  Create();
  EXPECT_EQ(host.Codes(), (Codes{16, 1, 8, 0, 14, 0, 2}));
}

}  // namespace

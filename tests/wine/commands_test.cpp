// The two commands end to end: "Get from image" and "Create Model" against a
// scriptable host, with the exact host calls, message boxes and results.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "engine/coma_engine.h"
#include "plugin_session.h"
#include "tests/command_cases.h"

namespace wine_tests {
namespace {

using Commands = PluginSession;

// The model the engine paints for this source, centre, radius and peak into
// an image the host filled with `fill`.
std::vector<float> ExpectedModel(const host::Image& source, std::int32_t cx, std::int32_t cy,
                                 std::int32_t r, float peak, float fill) {
  std::vector<float> model(source.samples.size(), fill);
  ImageWidth = source.width;
  ImageHeight = source.height;
  SourceCopy = source.samples.data();
  ModelPixels = model.data();
  PeakValue = peak;
  EXPECT_TRUE(RenderComaModel(cx, cy, r));
  return model;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST_F(Commands, GetPointFromImageWithoutImageOrPointWritesZeros) {
  struct Case {
    const char* what;
    bool image;
    bool store_point;
    const char* codes;
  } cases[] = {
      {"no image open", false, true, "16"},
      {"host stores nothing in 11", true, false, "16 11"},
  };
  Initialize();
  Activate();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    host::ResetHost();
    if (c.image) OpenImage(20, 20, 7, 9);
    host::Script().store_point = c.store_point;
    WriteFields({"5", "6", "7", "8"});
    ClickGetPoint();
    EXPECT_EQ(ReadFields(), (Fields{"5", "0", "0", "8"}));  // only X and Y change
    EXPECT_EQ(Codes(host::CallCodes()), c.codes);
  }
  host::ResetHost();
  OpenImage(20, 20, -3, 12);
  ClickGetPoint();
  EXPECT_EQ(ReadFields(), (Fields{"5", "-3", "12", "8"}));
  EXPECT_TRUE(capture_->Boxes().empty());
}

// The shared table of field texts through the real window system: the exact
// MessageBoxA call and the box on screen, or the model made, with the host
// calls issued and the fields left as typed. While the platform's error box
// shows, the host's windows and the dialog are disabled.
TEST_F(Commands, FieldCasesOfTheSharedTable) {
  using namespace command_cases;
  Initialize();
  Activate();
  const std::int32_t image = OpenImage(kCaseImageWidth, kCaseImageHeight, kCaseX, kCaseY);
  for (const FieldCase& c : kFieldCases) {
    SCOPED_TRACE(c.name);
    host::SetCurrentImage(c.image_open ? image : 0);
    const Fields fields{c.fields.peak, c.fields.x, c.fields.y, c.fields.radius};
    WriteFields(fields);
    host::ClearCalls();
    box_log_->Clear();
    capture_->Clear();
    const std::size_t shown_before = host::ShownImages().size();
    ClickCreate();
    if (c.text != nullptr) {
      EXPECT_EQ(Codes(host::CallCodes()), kRefusedCodes);
      ASSERT_EQ(box_log_->Calls().size(), 1u);
      const host::MessageBoxCall& call = box_log_->Calls()[0];
      EXPECT_EQ(call.text, c.text);
      EXPECT_EQ(call.caption, c.caption);
      EXPECT_EQ(call.type, c.style);
      EXPECT_EQ(call.owner, windows_.Main());
      ASSERT_EQ(capture_->Boxes().size(), 1u);
      const host::CapturedBox& box = capture_->Boxes()[0];
      EXPECT_EQ(box.caption, c.caption);
      EXPECT_EQ(box.icon, (c.style & MB_ICONINFORMATION) == MB_ICONINFORMATION
                              ? host::BoxIcon::Information
                              : host::BoxIcon::Error);
      if (c.style == kErrorDisplayStyle) {
        // The platform's error display disables the thread's other windows.
        for (HWND w : {windows_.Main(), windows_.ImageWindow(), dialog_.dialog}) {
          EXPECT_NE(std::find(box.disabled.begin(), box.disabled.end(), w), box.disabled.end());
          EXPECT_TRUE(::IsWindowEnabled(w)) << "not enabled again after the box";
        }
      }
      EXPECT_EQ(host::ShownImages().size(), shown_before);
    } else {
      EXPECT_EQ(Codes(host::CallCodes()), kAcceptedCodes);
      EXPECT_TRUE(box_log_->Calls().empty());
      ASSERT_EQ(host::ShownImages().size(), shown_before + 1);
      const host::Image* model = host::FindImage(host::ShownImages().back());
      ASSERT_NE(model, nullptr);
      EXPECT_TRUE(
          SameBits(model->samples,
                   ExpectedModel(*host::FindImage(image), std::stoi(c.fields.x),
                                 std::stoi(c.fields.y), std::stoi(c.fields.radius), c.peak, 0.0f)));
    }
    EXPECT_EQ(ReadFields(), fields);
  }
}

TEST_F(Commands, SuccessfulRunIssuesTheSevenCallsAndRendersLikeTheEngine) {
  const std::int32_t source = OpenImage(37, 23, 15, 11);
  host::Script().new_image_fill = 7.0f;  // what the host puts into a new image
  const std::vector<float> original = host::FindImage(source)->samples;
  Initialize();
  Activate();
  WriteFields({"-3", "15", "11", "9"});
  host::ClearCalls();
  heap_->Clear();
  ClickCreate();
  ASSERT_EQ(Codes(host::CallCodes()), "16 1 8 0 14 0 2");
  const auto& calls = host::Calls();
  ASSERT_EQ(host::CreatedImages().size(), 1u);
  const std::int32_t created = host::CreatedImages()[0];
  EXPECT_EQ((std::vector<HostOperand>{calls[0].a, calls[0].b, calls[0].c}),
            (std::vector<HostOperand>{4096, 0, 0}));
  EXPECT_EQ(calls[1].a, source);
  EXPECT_NE(calls[1].b, 0);
  EXPECT_NE(calls[1].c, 0);
  EXPECT_EQ((std::vector<HostOperand>{calls[2].a, calls[2].b, calls[2].c}),
            (std::vector<HostOperand>{source, 0, 0}));
  EXPECT_EQ(calls[3].a, source);
  EXPECT_NE(calls[3].b, 0);
  EXPECT_EQ(calls[3].c, 0);
  EXPECT_EQ((std::vector<HostOperand>{calls[4].a, calls[4].b, calls[4].c}),
            (std::vector<HostOperand>{37, 23, 0}));
  EXPECT_EQ(calls[5].a, created);
  EXPECT_EQ(calls[5].b, calls[3].b);
  EXPECT_EQ(calls[5].c, 0);
  EXPECT_EQ((std::vector<HostOperand>{calls[6].a, calls[6].b, calls[6].c}),
            (std::vector<HostOperand>{created, 1, 1}));

  EXPECT_TRUE(SameBits(host::FindImage(source)->samples, original)) << "source written";
  const host::Image* model = host::FindImage(created);
  EXPECT_TRUE(
      SameBits(model->samples, ExpectedModel(*host::FindImage(source), 15, 11, 9, -3.0f, 7.0f)));
  EXPECT_EQ(ReadFields(), (Fields{"-3", "15", "11", "9"}));
  EXPECT_TRUE(box_log_->Calls().empty());
  ASSERT_TRUE(heap_->Patched()) << "the plug-in's malloc and free imports were not found";
  {
    const auto& sizes = heap_->AllocatedSizes();
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), 37u * 23u * 4u), sizes.end())
        << "the working copy was not seen";
    EXPECT_TRUE(heap_->LiveSizes().empty()) << "a block outlived the command";
  }
}

TEST_F(Commands, HostFailuresEndTheCommandQuietlyWithNothingLeftAllocated) {
  struct Case {
    const char* what;
    bool fail_source;
    bool fail_new;
    bool zero_handle;
    const char* codes;
  } cases[] = {
      {"operation 0 fails on the source", true, false, false, "16 1 8 0"},
      {"operation 0 fails on the new image", false, true, false, "16 1 8 0 14 0"},
      {"operation 14 gives handle 0", false, false, true, "16 1 8 0 14 0"},
  };
  Initialize();
  Activate();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    host::ResetHost();
    const std::int32_t source = OpenImage(12, 10, 4, 4);
    host::Script().new_image_fill = 7.0f;
    if (c.fail_source) host::Script().fail_pixels_for.insert(source);
    host::Script().fail_pixels_for_new_images = c.fail_new;
    host::Script().new_image_handle_zero = c.zero_handle;
    WriteFields({"1", "4", "4", "3"});
    heap_->Clear();
    ClickCreate();
    EXPECT_EQ(Codes(host::CallCodes()), c.codes);
    EXPECT_TRUE(box_log_->Calls().empty());
    EXPECT_TRUE(host::ShownImages().empty());
    for (const std::int32_t created : host::CreatedImages()) {
      for (const float v : host::FindImage(created)->samples) ASSERT_EQ(v, 7.0f);
    }
    EXPECT_TRUE(heap_->LiveSizes().empty());
  }
}

TEST_F(Commands, SizesThatCannotBeAllocatedShowOutOfMemory) {
  struct Case {
    std::int32_t width, height;
  } cases[] = {{-4, 10}, {10, -4}, {0x7FFFFFFF, 0x7FFFFFFF}, {65536, 65536}};
  Initialize();
  Activate();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    host::ResetHost();
    OpenImage(12, 10, 4, 4);
    host::Script().stored_size = std::pair{c.width, c.height};
    WriteFields({"1", "4", "4", "3"});
    box_log_->Clear();
    ClickCreate();
    EXPECT_EQ(Codes(host::CallCodes()), "16 1 8");
    ASSERT_EQ(box_log_->Calls().size(), 1u);
    EXPECT_EQ(box_log_->Calls()[0].text, "Out of memory.");
    EXPECT_EQ(box_log_->Calls()[0].caption, "Hostapp");
  }
}

TEST_F(Commands, ClicksDuringAHostCallDoNothing) {
  OpenImage(12, 10, 4, 4);
  Initialize();
  Activate();
  WriteFields({"1", "4", "4", "3"});
  host::Script().on_call = [this](const host::HostCall& call) {
    if (call.code == HostOpGetSize) {
      host::ClickButton(dialog_.create);
      host::ClickButton(dialog_.get_point);
    }
  };
  host::ClearCalls();
  ClickCreate();
  host::Script().on_call = nullptr;
  EXPECT_EQ(Codes(host::CallCodes()), "16 1 8 0 14 0 2");
  EXPECT_EQ(ReadFields(), (Fields{"1", "4", "4", "3"}));
}

}  // namespace
}  // namespace wine_tests

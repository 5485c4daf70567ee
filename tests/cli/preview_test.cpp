// The preview: which part of the frame it shows, how the panels are laid
// out, north up, and the colours of the four panels.
#include <png.h>

#include <cmath>
#include <limits>

#include "preview_png.h"
#include "tool_support.h"

namespace {

TEST(PreviewCrop, DiscAndMarginClippedToTheFrame) {
  struct Case {
    const char* name;
    std::int32_t cx, cy, radius;
    bool full;
    PreviewRegion expected;
  };
  const Case cases[] = {
      {"inside", 100, 80, 20, false, {64, 44, 73, 73}},                   // margin 16
      {"large_radius_margin", 300, 300, 200, false, {50, 50, 501, 450}},  // margin 50, clipped
      {"at_the_corner", 0, 0, 10, false, {0, 0, 27, 27}},
      {"outside_but_near", -20, 50, 10, false, {0, 24, 7, 53}},
      {"missing_the_frame", -100, 50, 10, false, {0, 0, 640, 500}},
      {"radius_zero", 10, 10, 0, false, {0, 0, 27, 27}},
      {"extreme_centre", INT32_MAX, INT32_MIN, 39999, false, {0, 0, 640, 500}},
      {"full", 100, 80, 20, true, {0, 0, 640, 500}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PreviewRegion r = PreviewCrop(640, 500, c.cx, c.cy, c.radius, c.full);
    EXPECT_EQ(r.x, c.expected.x);
    EXPECT_EQ(r.y, c.expected.y);
    EXPECT_EQ(r.width, c.expected.width);
    EXPECT_EQ(r.height, c.expected.height);
  }
}

TEST(LayOutPreview, ReducesLargeAndEnlargesSmallRegions) {
  struct Case {
    std::int32_t width, height, factor, scale, panel_width, panel_height;
  };
  const Case cases[] = {
      {300, 200, 1, 1, 300, 200},   {512, 10, 1, 1, 512, 10}, {513, 100, 2, 1, 257, 50},
      {4096, 4096, 8, 1, 512, 512}, {40, 30, 1, 6, 240, 180}, {1, 1, 1, 256, 256, 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const PreviewLayout layout = LayOutPreview({0, 0, c.width, c.height});
    EXPECT_EQ(layout.factor, c.factor);
    EXPECT_EQ(layout.scale, c.scale);
    EXPECT_EQ(layout.panel_width, c.panel_width);
    EXPECT_EQ(layout.panel_height, c.panel_height);
    // Four panels side by side, apart, within the image, below their labels.
    EXPECT_GT(layout.top, 0);
    EXPECT_GE(layout.height, layout.top + layout.panel_height);
    for (int p = 1; p < 4; ++p) EXPECT_GT(layout.Left(p), layout.Left(p - 1) + layout.panel_width);
    EXPECT_LE(layout.Left(3) + layout.panel_width, layout.width);
  }
}

struct Rgb {
  unsigned char r, g, b;
};

struct DecodedPng {
  std::uint32_t width = 0, height = 0;
  std::vector<unsigned char> pixels;
  Rgb At(std::int32_t x, std::int32_t y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + static_cast<std::size_t>(x)) * 3;
    return {pixels[i], pixels[i + 1], pixels[i + 2]};
  }
};

DecodedPng DecodeRgb(const std::vector<unsigned char>& bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  DecodedPng png;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return png;
  image.format = PNG_FORMAT_RGB;
  png.width = image.width;
  png.height = image.height;
  png.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, png.pixels.data(), 0, nullptr)) png.pixels.clear();
  return png;
}

// A 30 x 20 frame of 100 with a bright pixel at the first row, a blank
// pixel, and a model of 100 in a disc that is 50 too low at one pixel and 50
// too high at another.
TEST(EncodePreviewPng, NorthUpAndTheColoursOfEachPanel) {
  RawImage source{30, 20, std::vector<float>(600, 100.0f)};
  const auto at = [](std::int32_t x, std::int32_t y) {
    return static_cast<std::size_t>(x + y * 30);
  };
  source.samples[at(3, 0)] = 5000;
  source.samples[at(25, 17)] = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> model(600, 0.0f);
  for (std::int32_t y = 0; y < 20; ++y) {
    for (std::int32_t x = 0; x < 30; ++x) {
      if ((x - 15) * (x - 15) + (y - 10) * (y - 10) < 49) model[at(x, y)] = 100;
    }
  }
  model[at(14, 10)] = 50;   // the frame stands 50 above the model here
  model[at(16, 10)] = 150;  // and 50 below it here
  source.samples[at(15, 6)] = 101;
  const PreviewRegion region{0, 0, 30, 20};
  const PreviewLayout layout = LayOutPreview(region);
  const DecodedPng png = DecodeRgb(EncodePreviewPng(source, model, region));
  ASSERT_EQ(png.width, static_cast<std::uint32_t>(layout.width));
  ASSERT_EQ(png.height, static_cast<std::uint32_t>(layout.height));
  ASSERT_FALSE(png.pixels.empty());

  // The centre of frame pixel (x, y) in panel p: row 0 at the bottom.
  const auto pixel = [&](int p, std::int32_t x, std::int32_t y) {
    return png.At(layout.Left(p) + x * layout.scale + layout.scale / 2,
                  layout.top + (19 - y) * layout.scale + layout.scale / 2);
  };
  const auto same = [](Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; };
  const Rgb neutral{128, 128, 128};
  EXPECT_TRUE(same(pixel(0, 3, 0), Rgb{255, 255, 255}));  // the bright pixel, at the bottom
  EXPECT_TRUE(same(pixel(0, 25, 17), neutral));           // blank
  EXPECT_TRUE(same(pixel(1, 0, 0), neutral));             // outside the model
  EXPECT_TRUE(same(pixel(2, 0, 0), neutral));
  EXPECT_TRUE(same(pixel(3, 0, 0), neutral));
  EXPECT_TRUE(same(pixel(2, 15, 10), Rgb{247, 247, 247}));  // residual 0: white
  EXPECT_TRUE(same(pixel(3, 15, 10), Rgb{247, 247, 247}));  // ratio 1: white
  const Rgb above = pixel(2, 14, 10), below = pixel(2, 16, 10);
  EXPECT_GT(above.r, above.b + 100) << "positive residual is red";
  EXPECT_GT(below.b, below.r + 100) << "negative residual is blue";
  // Symmetric about 0: +50 and -50 reach the two ends of the map.
  EXPECT_TRUE(same(above, Rgb{178, 24, 43}));
  EXPECT_TRUE(same(below, Rgb{33, 102, 172}));
  const Rgb faint = pixel(2, 15, 6);  // +1: nearly white
  EXPECT_GT(faint.b, 200);
}

// Through the tool: the default preview is the crop around the nucleus,
// --preview-full the whole frame.
TEST(EncodePreviewPng, ToolCropsUnlessAskedForTheWholeFrame) {
  ScratchDir scratch;
  Image frame{300, 200, std::vector<float>(60000)};
  for (std::size_t i = 0; i < frame.samples.size(); ++i) frame.samples[i] = float(i % 89);
  WriteFitsImage(scratch.Path("in.fits"), frame);
  for (const bool full : {false, true}) {
    SCOPED_TRACE(full);
    std::vector<std::string> args = {"model",     scratch.Path("in.fits"),
                                     "--center",  "100,60",
                                     "--radius",  "20",
                                     "-o",        scratch.Path("m.fits"),
                                     "--preview", scratch.Path("p.png"),
                                     "--force"};
    if (full) args.push_back("--preview-full");
    ASSERT_EQ(RunTool(args).exit_code, 0);
    const std::string bytes = ReadBytes(scratch.Path("p.png"));
    const DecodedPng png = DecodeRgb(std::vector<unsigned char>(bytes.begin(), bytes.end()));
    const PreviewLayout layout =
        LayOutPreview(full ? PreviewRegion{0, 0, 300, 200} : PreviewRegion{64, 24, 73, 73});
    EXPECT_EQ(png.width, static_cast<std::uint32_t>(layout.width));
    EXPECT_EQ(png.height, static_cast<std::uint32_t>(layout.height));
  }
}

}  // namespace

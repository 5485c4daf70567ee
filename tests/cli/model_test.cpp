// The model subcommand against the engine run directly on the same samples:
// the model, residual, ratio, profile CSV and header keywords.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "tool_support.h"

namespace {

// A small frame with what real ones hold: a bright centre, repeated values,
// blank (NaN) pixels and zeros of both signs.
Image SmallFrame() {
  Image image{37, 29, {}};
  std::uint32_t state = 12345;
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      state = state * 1664525u + 1013904223u;
      const double dx = x - 15, dy = y - 11;
      float v = static_cast<float>(500.0 / (1.0 + std::sqrt(dx * dx + dy * dy)) +
                                   static_cast<double>(state >> 28));
      if (state % 23 == 0) v = std::numeric_limits<float>::quiet_NaN();
      if (state % 29 == 0) v = (state & 0x100) ? 0.0f : -0.0f;
      image.samples.push_back(v);
    }
  }
  return image;
}

struct ModelCase {
  const char* name;
  std::int32_t cx, cy, radius, peak;
};

// gtest names a failing case by this instead of its bytes.
void PrintTo(const ModelCase& c, std::ostream* os) { *os << c.name; }

class ModelAgainstEngine : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelAgainstEngine, OutputsMatchTheEngine) {
  const ModelCase& c = GetParam();
  ScratchDir scratch;
  const Image source = SmallFrame();
  WriteFitsImage(scratch.Path("in.fits"), source);
  const std::string input_bytes = ReadBytes(scratch.Path("in.fits"));

  const RunResult run =
      RunTool({"model", scratch.Path("in.fits"),
               "--center=" + std::to_string(c.cx) + "," + std::to_string(c.cy), "--radius",
               std::to_string(c.radius), "--peak", std::to_string(c.peak), "-o",
               scratch.Path("model.fits"), "--residual", scratch.Path("res.fits"), "--ratio",
               scratch.Path("ratio.fits"), "--profile", scratch.Path("p.csv")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadBytes(scratch.Path("in.fits")), input_bytes);

  const EngineResult expected = RunEngine(source, c.cx, c.cy, c.radius, c.peak);
  // Warnings (tested on their own) come only with a centre outside the frame,
  // R <= 0 or rings with no members.
  const bool inside = c.cx >= 0 && c.cy >= 0 && c.cx < source.width && c.cy < source.height;
  const bool empty_ring =
      std::find(expected.members.begin() + 1, expected.members.end(), 0) != expected.members.end();
  EXPECT_EQ(run.err.empty(), inside && c.radius > 0 && !empty_ring) << run.err;
  const FitsPrimary model = DecodeFits(scratch.Path("model.fits"));
  EXPECT_EQ(model.bitpix, -32);
  EXPECT_EQ(model.image.width, source.width);
  EXPECT_EQ(model.image.height, source.height);
  EXPECT_TRUE(SameSamples(model.image.samples, expected.model));
  EXPECT_EQ(model.keys.at("COMA_X"), std::to_string(c.cx));
  EXPECT_EQ(model.keys.at("COMA_Y"), std::to_string(c.cy));
  EXPECT_EQ(model.keys.at("COMA_R"), std::to_string(c.radius));
  EXPECT_EQ(std::stod(model.keys.at("COMAPEAK")), double(static_cast<float>(c.peak)));
  EXPECT_EQ(model.keys.at("CREATOR").rfind("comamodel ", 0), 0u);
  EXPECT_EQ(model.keys.count("BSCALE") + model.keys.count("BZERO"), 0u);

  std::vector<float> residual, ratio;
  for (std::size_t i = 0; i < source.samples.size(); ++i) {
    const float m = expected.model[i];
    residual.push_back(source.samples[i] - m);
    ratio.push_back(m == 0.0f ? std::numeric_limits<float>::quiet_NaN() : source.samples[i] / m);
  }
  EXPECT_TRUE(SameSamples(DecodeFits(scratch.Path("res.fits")).image.samples, residual, true));
  EXPECT_TRUE(SameSamples(DecodeFits(scratch.Path("ratio.fits")).image.samples, ratio, true));

  // The CSV: comment lines, a header, then radius, ring median (reading back
  // to the same float; empty for a ring with no members) and member count
  // for r = 1 .. R.
  std::istringstream csv(ReadBytes(scratch.Path("p.csv")));
  std::string line;
  while (std::getline(csv, line) && line.rfind("# ", 0) == 0) {
  }
  EXPECT_EQ(line, "radius,median,members");
  std::int32_t rows = 0;
  while (std::getline(csv, line)) {
    ++rows;
    SCOPED_TRACE(line);
    const auto r = static_cast<std::size_t>(rows);
    if (expected.members[r] == 0) {
      EXPECT_EQ(line, std::to_string(rows) + ",,0");
      continue;
    }
    int got = 0, members = 0;
    char median[64] = {};
    ASSERT_EQ(std::sscanf(line.c_str(), "%d,%63[^,],%d", &got, median, &members), 3);
    ASSERT_EQ(got, rows);
    EXPECT_EQ(Bits(std::strtof(median, nullptr)), Bits(expected.profile[r]));
    EXPECT_EQ(members, expected.members[r]);
  }
  EXPECT_EQ(rows, std::max(c.radius, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Centres, ModelAgainstEngine,
    ::testing::Values(ModelCase{"inside", 15, 11, 9, 1234}, ModelCase{"near_edge", 2, 27, 12, 0},
                      ModelCase{"outside", -6, 40, 30, 7}, ModelCase{"beyond_image", 0, 0, 100, -5},
                      ModelCase{"extreme_centre", INT32_MAX, INT32_MIN, 39999, 1},
                      ModelCase{"radius_zero", 15, 11, 0, 99},
                      ModelCase{"negative_peak_rounds", 3, 3, 4, -16777217}),
    [](const auto& p) { return std::string(p.param.name); });

// The raw file the reference host reads gives the same model as the FITS file
// it was converted from.
TEST(Model, RawInputGivesTheSameModel) {
  ScratchDir scratch;
  WriteFitsImage(scratch.Path("in.fits"), SmallFrame());
  ASSERT_EQ(RunTool({"convert", scratch.Path("in.fits"), scratch.Path("in.f32")}).exit_code, 0);
  for (const char* name : {"in.fits", "in.f32"}) {
    const RunResult run = RunTool({"model", scratch.Path(name), "--center", "15,11", "--radius",
                                   "8", "-o", scratch.Path(std::string(name) + ".model.fits")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }
  // The headers differ in the HISTORY naming the input.
  const FitsPrimary from_fits = DecodeFits(scratch.Path("in.fits.model.fits"));
  const FitsPrimary from_raw = DecodeFits(scratch.Path("in.f32.model.fits"));
  EXPECT_TRUE(SameSamples(from_fits.image.samples, from_raw.image.samples));
  EXPECT_EQ(from_fits.image.width, from_raw.image.width);
  EXPECT_EQ(from_fits.image.height, from_raw.image.height);
}

TEST(Model, ForceReplacesExistingOutputs) {
  ScratchDir scratch;
  WriteFitsImage(scratch.Path("in.fits"), SmallFrame());
  WriteBytes(scratch.Path("model.fits"), "old");
  WriteBytes(scratch.Path("p.csv"), "old");
  const RunResult run =
      RunTool({"model", scratch.Path("in.fits"), "--center", "15,11", "--radius", "5", "-o",
               scratch.Path("model.fits"), "--profile", scratch.Path("p.csv"), "--force"});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(DecodeFits(scratch.Path("model.fits")).image.width, 37);
  EXPECT_NE(ReadBytes(scratch.Path("p.csv")).find("\nradius,median,members\n1,"),
            std::string::npos);
  EXPECT_EQ(scratch.Snapshot().size(), 3u);  // no temporary left beside them
}

// The comet frame has blank (NaN) pixels: the model around its nucleus must
// equal the engine's, hold no NaN, and the residual must be NaN exactly where
// the frame is blank.
TEST(RealImages, CometFrameWithBlankPixels) {
  const std::string data = DataDir();
  if (data.empty()) GTEST_SKIP() << "no real images: " << COMA_DATA_DIR << " is absent";
  const std::string input = data + "/wise_00805b089-w4.fits";
  const FitsPrimary frame = DecodeFits(input);
  std::size_t blank = 0;
  for (float v : frame.image.samples) blank += std::isnan(v) ? 1u : 0u;
  ASSERT_EQ(blank, 2184u);

  ScratchDir scratch;
  const RunResult run = RunTool({"model", input, "--center", "258,344", "--radius", "150", "-o",
                                 scratch.Path("m.fits"), "--residual", scratch.Path("r.fits")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const EngineResult expected = RunEngine(frame.image, 258, 344, 150, 0);
  const std::vector<float> model = DecodeFits(scratch.Path("m.fits")).image.samples;
  EXPECT_TRUE(SameSamples(model, expected.model));
  const std::vector<float> residual = DecodeFits(scratch.Path("r.fits")).image.samples;
  std::size_t model_nan = 0, mismatched_blank = 0;
  for (std::size_t i = 0; i < model.size(); ++i) {
    model_nan += std::isnan(model[i]) ? 1u : 0u;
    mismatched_blank += std::isnan(residual[i]) != std::isnan(frame.image.samples[i]) ? 1u : 0u;
  }
  EXPECT_EQ(model_nan, 0u);
  EXPECT_EQ(mismatched_blank, 0u);
  // The nucleus is brighter than the sky far out on its profile.
  EXPECT_GT(expected.profile[1], expected.profile[150]);
}

// The galaxy is stored as 16-bit integers: the model of its nucleus is the
// engine's on those integers as floats.
TEST(RealImages, IntegerGalaxy) {
  const std::string data = DataDir();
  if (data.empty()) GTEST_SKIP() << "no real images: " << COMA_DATA_DIR << " is absent";
  const std::string input = data + "/photutils_M51.fits";
  const FitsPrimary galaxy = DecodeFits(input);
  ASSERT_EQ(galaxy.bitpix, 16);
  ScratchDir scratch;
  const RunResult run = RunTool({"model", input, "--center", "258,259", "--radius", "60", "--peak",
                                 "30000", "-o", scratch.Path("m.fits")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(SameSamples(DecodeFits(scratch.Path("m.fits")).image.samples,
                          RunEngine(galaxy.image, 258, 259, 60, 30000).model));
}

}  // namespace

// The synthetic comet: the same size and seed give the same file, the printed
// centre is the coma's brightest pixel, and the header records it.
#include <cmath>

#include "tool_support.h"

namespace {

TEST(Sample, SameSeedSameFileOtherSeedOtherNoise) {
  ScratchDir scratch;
  const auto make = [&scratch](const std::string& name, std::vector<std::string> extra) {
    std::vector<std::string> args = {"sample", scratch.Path(name), "--size", "96x64"};
    args.insert(args.end(), extra.begin(), extra.end());
    const RunResult run = RunTool(args);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out, "center 42,36\n");
    return ReadBytes(scratch.Path(name));
  };
  const std::string a = make("a.fits", {});
  const std::string b = make("b.fits", {"--seed", "1"});
  const std::string c = make("c.fits", {"--seed", "18446744073709551615"});
  EXPECT_EQ(a, b);
  EXPECT_NE(DecodeFits(scratch.Path("a.fits")).image.samples,
            DecodeFits(scratch.Path("c.fits")).image.samples);
}

TEST(Sample, DefaultFrameAndItsCentre) {
  ScratchDir scratch;
  const RunResult run = RunTool({"sample", scratch.Path("s.fits")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  int cx = -1, cy = -1;
  ASSERT_EQ(std::sscanf(run.out.c_str(), "center %d,%d\n", &cx, &cy), 2) << run.out;
  const FitsPrimary fits = DecodeFits(scratch.Path("s.fits"));
  EXPECT_EQ(fits.bitpix, -32);
  EXPECT_EQ(fits.image.width, 1024);
  EXPECT_EQ(fits.image.height, 768);
  EXPECT_EQ(fits.keys.at("COMA_X"), std::to_string(cx));
  EXPECT_EQ(fits.keys.at("COMA_Y"), std::to_string(cy));
  // The centre pixel outshines everything within 20 pixels of it, and the
  // coma fades outwards.
  const auto at = [&fits](int x, int y) {
    return fits.image.samples[static_cast<std::size_t>(x + y * fits.image.width)];
  };
  for (int dy = -20; dy <= 20; ++dy) {
    for (int dx = -20; dx <= 20; ++dx) {
      if (dx != 0 || dy != 0) {
        ASSERT_LT(at(cx + dx, cy + dy), at(cx, cy)) << dx << "," << dy;
      }
    }
  }
  EXPECT_GT(at(cx - 10, cy), at(cx - 100, cy));
  for (float v : fits.image.samples) ASSERT_TRUE(std::isfinite(v));
}

}  // namespace

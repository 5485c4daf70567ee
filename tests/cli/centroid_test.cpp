// The nucleus finder on synthetic nuclei: a Gaussian nucleus over a coma,
// sky and noise at sub-pixel positions, found from a start 3 pixels off.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "centroid.h"

namespace {

struct Nucleus {
  const char* name;
  double x, y;   // true position, 0-based
  double sigma;  // of the Gaussian nucleus
  double coma;   // brightness of a 1/rho coma around it (0: none)
  std::int32_t start_dx, start_dy;
};

// A deterministic frame: sky 100, the nucleus (peak 2000), the coma and
// noise of sigma 5 from a linear congruential generator.
RawImage Frame(const Nucleus& n) {
  RawImage image;
  image.width = 64;
  image.height = 48;
  std::uint32_t state = 2024;
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const double dx = x - n.x, dy = y - n.y;
      const double r2 = dx * dx + dy * dy;
      double v = 100 + 2000 * std::exp(-r2 / (2 * n.sigma * n.sigma)) + n.coma / std::sqrt(r2 + 1);
      double noise = 0;
      for (int k = 0; k < 4; ++k) {
        state = state * 1664525u + 1013904223u;
        noise += (state >> 8) / 16777216.0;
      }
      v += (noise - 2) * 5 * std::sqrt(3.0);
      image.samples.push_back(static_cast<float>(v));
    }
  }
  return image;
}

// gtest names a failing case by this instead of its bytes.
void PrintTo(const Nucleus& n, std::ostream* os) { *os << n.name; }

class NucleusPosition : public ::testing::TestWithParam<Nucleus> {};

TEST_P(NucleusPosition, FoundWithinATenthOfAPixel) {
  const Nucleus& n = GetParam();
  const RawImage image = Frame(n);
  const auto start_x = static_cast<std::int32_t>(std::lround(n.x)) + n.start_dx;
  const auto start_y = static_cast<std::int32_t>(std::lround(n.y)) + n.start_dy;
  const auto found = RefineCentroid(image, start_x, start_y, 11);
  ASSERT_TRUE(found);
  EXPECT_NEAR(found->x, n.x, 0.1);
  EXPECT_NEAR(found->y, n.y, 0.1);
  EXPECT_EQ(found->peak_x, std::lround(n.x));
  EXPECT_EQ(found->peak_y, std::lround(n.y));
}

INSTANTIATE_TEST_SUITE_P(Nuclei, NucleusPosition,
                         ::testing::Values(Nucleus{"on_a_pixel", 30, 20, 1.5, 0, 3, 0},
                                           Nucleus{"quarter_pixel", 30.25, 20.75, 1.5, 0, -3, 0},
                                           Nucleus{"half_pixel", 31.5, 19.5, 1.2, 0, 0, 3},
                                           Nucleus{"sharp", 29.6, 22.3, 0.8, 0, 2, -2},
                                           Nucleus{"in_a_coma", 33.4, 24.2, 1.5, 800, -3, 0},
                                           Nucleus{"wide_in_a_coma", 28.8, 21.1, 2.2, 1500, 3, 3}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(RefineCentroid, SkipsBlankPixelsAndRefusesAnEmptyBox) {
  Nucleus n{"blank", 20.3, 15.6, 1.5, 0, 0, 0};
  RawImage image = Frame(n);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // A blank pixel beside the nucleus is neither the brightest nor counted.
  image.samples[21 + 15 * 64] = nan;
  const auto found = RefineCentroid(image, 18, 15, 11);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->peak_x, 20);
  EXPECT_EQ(found->peak_y, 16);
  EXPECT_NEAR(found->x, n.x, 0.2);
  EXPECT_NEAR(found->y, n.y, 0.2);

  std::fill(image.samples.begin(), image.samples.end(), nan);
  EXPECT_FALSE(RefineCentroid(image, 18, 15, 11));
  // A box wholly outside the frame.
  EXPECT_FALSE(RefineCentroid(Frame(n), -100, 15, 11));
}

}  // namespace

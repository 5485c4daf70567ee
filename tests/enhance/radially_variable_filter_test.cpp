#include "enhance/radially_variable_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "synthetic_frame.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct HalfSideCase {
  RvsfKernel kernel;
  double rho;
  std::int32_t expected;
};

TEST(RvsfHalfSide, OddSideNearestTheKernelSize) {
  const HalfSideCase cases[] = {
      {{3, 0, 0}, 0, 1},  {{101, 0, 0}, 50, 50}, {{2.9, 0, 1}, 7, 1},  {{4, 0, 1}, 0, 2},
      {{1, 0, 1}, 3, 0},  {{0.5, 0, 1}, 3, 0},   {{-5, 0, 1}, 3, 0},   {{1, 2, 0}, 9, 1},
      {{1, 1, 1}, 10, 5}, {{1, 0.5, 2}, 4, 4},   {{1, 1, 1}, 1e6, 99}, {{3, 0, 0}, 0, 1},
  };
  for (const HalfSideCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.kernel.a << "+" << c.kernel.b << "*" << c.rho << "^" << c.kernel.n);
    EXPECT_EQ(RvsfHalfSide(c.kernel, c.rho, 99), c.expected);
  }
}

// 3 x 3 frame 1..9 with a 3 x 3 box: each box is cut to the frame.
TEST(RadiallyVariableFilter, WorkedBoxMeans) {
  const float pixels[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  float out[9] = {};
  ASSERT_TRUE(RadiallyVariableFilter(FrameView{pixels, 3, 3}, {1, 1}, {3, 0, 0}, out));
  EXPECT_FLOAT_EQ(out[4], 0.0f);                                   // mean 5
  EXPECT_FLOAT_EQ(out[0], static_cast<float>(std::log(1 / 3.0)));  // {1,2,4,5}
  EXPECT_FLOAT_EQ(out[8], static_cast<float>(std::log(9 / 7.0)));  // {5,6,8,9}
  EXPECT_FLOAT_EQ(out[1], static_cast<float>(std::log(2 / 3.5)));  // {1,2,3,4,5,6}

  // A NaN pixel is left out of the means and stays NaN; a pixel that is not
  // positive gives NaN.
  const float holed[] = {1, 2, kNaN, 4, 5, 6, 7, 8, -9};
  ASSERT_TRUE(RadiallyVariableFilter(FrameView{holed, 3, 3}, {1, 1}, {3, 0, 0}, out));
  EXPECT_FLOAT_EQ(out[4], static_cast<float>(std::log(5 / (24.0 / 8))));  // 8 finite
  EXPECT_FLOAT_EQ(out[1], static_cast<float>(std::log(2 / (18.0 / 5))));
  EXPECT_TRUE(std::isnan(out[2]));
  EXPECT_TRUE(std::isnan(out[8]));
  // (2, 1): box {2, NaN, 5, 6, 8, -9} has mean 12 / 5.
  EXPECT_FLOAT_EQ(out[5], static_cast<float>(std::log(6 / 2.4)));
  // A box whose mean is not positive.
  const float dark[] = {1, -5, -5, -5};
  ASSERT_TRUE(RadiallyVariableFilter(FrameView{dark, 2, 2}, {0, 0}, {3, 0, 0}, out));
  EXPECT_TRUE(std::isnan(out[0]));
}

// A constant frame is its own local average at every kernel size: exactly 0,
// NaN pixels staying NaN.
TEST(RadiallyVariableFilter, ConstantFrameIsZero) {
  const RvsfKernel kernels[] = {{3, 0, 0}, {101, 0, 0}, {1, 0.5, 1}, {2, 0.05, 1.5}, {1, 3, 0}};
  SyntheticFrame frame(120, 90, [](double, double) { return 7.3; });
  frame.At(5, 5) = kNaN;
  frame.At(60, 40) = kNaN;
  for (const RvsfKernel& kernel : kernels) {
    SCOPED_TRACE(testing::Message() << kernel.a << "," << kernel.b << "," << kernel.n);
    auto out = frame.Output();
    ASSERT_TRUE(RadiallyVariableFilter(frame.View(), {60.5, 40.2}, kernel, out.data()));
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (std::isnan(frame.pixels[i])) {
        ASSERT_TRUE(std::isnan(out[i])) << i;
      } else {
        ASSERT_EQ(out[i], 0.0f) << i;
      }
    }
  }
}

// The summed-area table and the tracked box size against a plain box mean
// per pixel, on noise with NaN pixels and a growing kernel.
TEST(RadiallyVariableFilter, MatchesPlainBoxMeans) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> level(10, 1000);
  // Tall enough to be shared among threads in bands of rows.
  SyntheticFrame frame(41, 150, [&](double, double) { return level(random); });
  for (std::int32_t k = 0; k < 20; ++k) frame.At((k * 17) % 41, (k * 29) % 150) = kNaN;
  const ComaCentre centre{17.4, 72.6};
  const RvsfKernel kernel{1, 0.1, 1.2};
  auto out = frame.Output();
  ASSERT_TRUE(RadiallyVariableFilter(frame.View(), centre, kernel, out.data()));
  const std::int32_t max_half = 149;
  for (std::int32_t y = 0; y < frame.height; ++y) {
    for (std::int32_t x = 0; x < frame.width; ++x) {
      SCOPED_TRACE(testing::Message() << x << "," << y);
      const std::int32_t h = RvsfHalfSide(kernel, Distance(x, y, centre), max_half);
      double sum = 0;
      int count = 0;
      for (std::int32_t j = std::max(y - h, 0); j <= std::min(y + h, frame.height - 1); ++j) {
        for (std::int32_t i = std::max(x - h, 0); i <= std::min(x + h, frame.width - 1); ++i) {
          const float v = frame.At(i, j);
          if (std::isnan(v)) continue;
          sum += v;
          ++count;
        }
      }
      const float value = frame.At(x, y);
      const float got = out[static_cast<std::size_t>(x + y * frame.width)];
      if (std::isnan(value)) {
        ASSERT_TRUE(std::isnan(got));
      } else {
        ASSERT_NEAR(got, std::log(value / (sum / count)), 1e-5);
      }
    }
  }
}

TEST(RadiallyVariableFilter, RefusesBadKernels) {
  const float pixels[] = {1};
  float out[1] = {7};
  const double inf = std::numeric_limits<double>::infinity();
  const RvsfKernel bad[] = {{inf, 0, 0}, {1, -1, 1}, {1, 1, -1}, {1, std::nan(""), 1}};
  for (const RvsfKernel& kernel : bad) {
    EXPECT_FALSE(RadiallyVariableFilter(FrameView{pixels, 1, 1}, {0, 0}, kernel, out));
  }
  EXPECT_EQ(out[0], 7.0f);
}

}  // namespace

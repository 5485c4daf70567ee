#include "enhance/bilinear_sample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct BilinearCase {
  const char* name;
  double x, y;
  double expected;  // NaN: expect NaN
};

// 3 x 2 frame:   1  2  4
//                8 16 32
TEST(SampleBilinear, WorkedCasesOnASmallFrame) {
  const float pixels[] = {1, 2, 4, 8, 16, 32};
  const FrameView frame{pixels, 3, 2};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const BilinearCase cases[] = {
      {"pixel centre", 1, 0, 2},
      {"last pixel, no neighbour beyond", 2, 1, 32},
      {"half way along a row", 0.5, 0, 1.5},
      {"half way down the last column", 2, 0.5, 18},
      {"middle of four", 1.5, 0.5, (2 + 4 + 16 + 32) / 4.0},
      // 0.75*0.25*1 + 0.25*0.25*2 + 0.75*0.75*8 + 0.25*0.75*16
      {"quarter steps", 0.25, 0.75, 0.1875 + 0.125 + 4.5 + 3},
      {"left of the frame", -0.01, 0, nan},
      {"right of the frame", 2.01, 0, nan},
      {"below the frame", 0, 1.5, nan},
      {"NaN position", nan, 0, nan},
  };
  for (const BilinearCase& c : cases) {
    SCOPED_TRACE(c.name);
    const double value = SampleBilinear(frame, c.x, c.y);
    if (std::isnan(c.expected)) {
      EXPECT_TRUE(std::isnan(value)) << value;
    } else {
      EXPECT_DOUBLE_EQ(value, c.expected);
    }
  }
}

// A NaN pixel spoils the samples it contributes to and no other.
TEST(SampleBilinear, NaNPixelOnlyWhereItHasWeight) {
  const float pixels[] = {1, kNaN, 4, 8, 16, 32};
  const FrameView frame{pixels, 3, 2};
  EXPECT_DOUBLE_EQ(SampleBilinear(frame, 0, 0.5), 4.5);
  EXPECT_DOUBLE_EQ(SampleBilinear(frame, 2, 0.25), 4 * 0.75 + 32 * 0.25);
  EXPECT_TRUE(std::isnan(SampleBilinear(frame, 0.5, 0)));
  EXPECT_TRUE(std::isnan(SampleBilinear(frame, 1.5, 0.9)));
}

}  // namespace

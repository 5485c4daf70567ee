#include "enhance/rho_normalisation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "synthetic_frame.h"

namespace {

// A pure 1/rho coma around a centre between pixels comes out flat.
TEST(RhoNormalise, InverseRhoComaBecomesFlat) {
  const ComaCentre centre{100.3, 80.7};
  SyntheticFrame frame(200, 160, InverseRhoComa(centre, 1000.0));
  auto out = frame.Output();
  ASSERT_TRUE(RhoNormalise(frame.View(), centre, 1.0, out.data()));
  for (std::int32_t y = 0; y < frame.height; ++y) {
    for (std::int32_t x = 0; x < frame.width; ++x) {
      if (Distance(x, y, centre) < 2) continue;
      ASSERT_NEAR(out[static_cast<std::size_t>(x + y * frame.width)], 1000.0, 1000.0 * 1e-6)
          << x << "," << y;
    }
  }
}

TEST(RhoNormalise, RhoMinBoundsTheCentreAndNaNStays) {
  // 3 x 1 frame, centre on the middle pixel: distances 1, 0, 1.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float pixels[] = {4, 6, nan};
  float out[3] = {};
  ASSERT_TRUE(RhoNormalise(FrameView{pixels, 3, 1}, {1, 0}, 0.5, out));
  EXPECT_EQ(out[0], 4.0f);
  EXPECT_EQ(out[1], 3.0f);
  EXPECT_TRUE(std::isnan(out[2]));
  ASSERT_TRUE(RhoNormalise(FrameView{pixels, 3, 1}, {1, 0}, 2.0, out));
  EXPECT_EQ(out[0], 8.0f);
  EXPECT_EQ(out[1], 12.0f);
}

TEST(RhoNormalise, RefusesBadParameters) {
  const float pixels[] = {1};
  float out[1] = {7};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(RhoNormalise(FrameView{pixels, 1, 1}, {0, 0}, -1.0, out));
  EXPECT_FALSE(RhoNormalise(FrameView{pixels, 1, 1}, {0, 0}, nan, out));
  EXPECT_FALSE(RhoNormalise(FrameView{pixels, 1, 1}, {nan, 0}, 1.0, out));
  EXPECT_FALSE(RhoNormalise(FrameView{pixels, 0, 1}, {0, 0}, 1.0, out));
  EXPECT_FALSE(RhoNormalise(FrameView{pixels, 1, 1}, {0, 0}, 1.0, nullptr));
  EXPECT_EQ(out[0], 7.0f);
}

}  // namespace

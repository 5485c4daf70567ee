#include "enhance/larson_sekanina.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "synthetic_frame.h"

namespace {

float Pixel(const std::vector<float>& out, const SyntheticFrame& frame, double x, double y) {
  return out[static_cast<std::size_t>(std::lround(x)) +
             static_cast<std::size_t>(std::lround(y)) * static_cast<std::size_t>(frame.width)];
}

// Without a radial shift, a rotationally symmetric coma cancels up to the
// bilinear interpolation error.
TEST(LarsonSekanina, SymmetricComaCancels) {
  const ComaCentre centre{150.4, 140.6};
  SyntheticFrame frame(300, 280, InverseRhoComa(centre, 1000.0));
  auto out = frame.Output();
  ASSERT_TRUE(LarsonSekanina(frame.View(), centre, 12.0, 0.0, out.data()));
  double worst = 0;
  std::size_t checked = 0;
  for (std::int32_t y = 0; y < frame.height; ++y) {
    for (std::int32_t x = 0; x < frame.width; ++x) {
      const std::size_t i = static_cast<std::size_t>(x + y * frame.width);
      if (Distance(x, y, centre) <= 30 || std::isnan(out[i])) continue;
      worst = std::max(worst, static_cast<double>(std::abs(out[i] / frame.pixels[i])));
      ++checked;
    }
  }
  EXPECT_GT(checked, 40000u);
  EXPECT_LT(worst, 0.002);  // 0.2 % of the coma
}

// A straight radial jet (along +x from the centre) comes out as a positive
// ridge, with the negative troughs of the shifted jet at +-dtheta beside it.
TEST(LarsonSekanina, StraightJetBecomesARidge) {
  const ComaCentre centre{100.0, 100.0};
  const double dtheta = 15.0;
  SyntheticFrame frame(201, 201, [&](double x, double y) {
    const double coma = 1000.0 / std::max(Distance(x, y, centre), 1.0);
    const double along = x - centre.x;
    const double across = y - centre.y;
    const double jet = along > 0 ? 0.5 * coma * std::exp(-across * across / 8.0) : 0.0;
    return coma + jet;
  });
  auto out = frame.Output();
  ASSERT_TRUE(LarsonSekanina(frame.View(), centre, dtheta, 0.0, out.data()));
  const double rho = 60;
  const double coma = 1000.0 / rho;
  const double t = dtheta * std::numbers::pi / 180.0;
  EXPECT_GT(Pixel(out, frame, centre.x + rho, centre.y), 0.9 * coma);  // 2 x 0.5 on the ridge
  EXPECT_LT(Pixel(out, frame, centre.x + rho * std::cos(t), centre.y + rho * std::sin(t)),
            -0.4 * coma);
  EXPECT_LT(Pixel(out, frame, centre.x + rho * std::cos(t), centre.y - rho * std::sin(t)),
            -0.4 * coma);
  // Away from the jet the coma still cancels.
  EXPECT_NEAR(Pixel(out, frame, centre.x - rho, centre.y), 0.0, 0.002 * coma);
  EXPECT_NEAR(Pixel(out, frame, centre.x, centre.y - rho), 0.0, 0.002 * coma);
}

// 5 x 5 frame with value x + 10 y, centre (2, 2), dtheta 90 degrees: the
// shifted samples of (4, 2) are (2, 4) and (2, 0).
TEST(LarsonSekanina, WorkedCaseAndNaNRules) {
  SyntheticFrame frame(5, 5, [](double x, double y) { return x + 10 * y; });
  auto out = frame.Output();
  ASSERT_TRUE(LarsonSekanina(frame.View(), {2, 2}, 90.0, 0.0, out.data()));
  EXPECT_NEAR(out[4 + 2 * 5], 2 * 24 - 42 - 2, 1e-5);
  EXPECT_NEAR(out[2 + 2 * 5], 0.0, 1e-5);  // the centre against itself
  // The corner (4, 4) rotated by 90 degrees is (0, 4) and (4, 0): inside.
  EXPECT_NEAR(out[4 + 4 * 5], 2 * 44 - 40 - 4, 1e-5);

  // drho 1.5: within 1.5 of the centre is NaN; (4, 2) samples at radius 0.5,
  // (2, 2.5) and (2, 1.5).
  ASSERT_TRUE(LarsonSekanina(frame.View(), {2, 2}, 90.0, 1.5, out.data()));
  EXPECT_TRUE(std::isnan(out[3 + 2 * 5]));
  EXPECT_TRUE(std::isnan(out[2 + 2 * 5]));
  EXPECT_NEAR(out[4 + 2 * 5], 2 * 24 - 27 - 17, 1e-5);

  // A NaN pixel spoils itself and the pixels whose shifted samples use it.
  frame.At(2, 4) = std::numeric_limits<float>::quiet_NaN();
  ASSERT_TRUE(LarsonSekanina(frame.View(), {2, 2}, 90.0, 0.0, out.data()));
  EXPECT_TRUE(std::isnan(out[2 + 4 * 5]));
  EXPECT_TRUE(std::isnan(out[4 + 2 * 5]));
  EXPECT_FALSE(std::isnan(out[3 + 2 * 5]));
  // A sample rotated out of a narrow frame is NaN.
  SyntheticFrame wide(9, 3, [](double x, double) { return x; });
  auto wide_out = wide.Output();
  ASSERT_TRUE(LarsonSekanina(wide.View(), {4, 1}, 90.0, 0.0, wide_out.data()));
  EXPECT_TRUE(std::isnan(wide_out[8 + 1 * 9]));
  EXPECT_FALSE(std::isnan(wide_out[5 + 1 * 9]));
}

TEST(LarsonSekanina, RefusesBadParameters) {
  const float pixels[] = {1};
  float out[1] = {7};
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(LarsonSekanina(FrameView{pixels, 1, 1}, {0, 0}, inf, 0.0, out));
  EXPECT_FALSE(LarsonSekanina(FrameView{pixels, 1, 1}, {0, 0}, 5.0, -1.0, out));
  EXPECT_FALSE(LarsonSekanina(FrameView{pixels, 1, 1}, {0, inf}, 5.0, 0.0, out));
  EXPECT_EQ(out[0], 7.0f);
}

}  // namespace

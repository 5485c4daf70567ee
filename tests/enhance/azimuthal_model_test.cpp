#include "enhance/azimuthal_model.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>

#include "engine/coma_core.h"
#include "synthetic_frame.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Equal to the bit, any NaN matching any NaN.
::testing::AssertionResult SameBits(const std::vector<float>& actual,
                                    const std::vector<float>& expected) {
  if (actual.size() != expected.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (std::isnan(actual[i]) && std::isnan(expected[i])) continue;
    if (std::bit_cast<std::uint32_t>(actual[i]) != std::bit_cast<std::uint32_t>(expected[i])) {
      return ::testing::AssertionFailure()
             << "sample " << i << ": " << actual[i] << " != " << expected[i];
    }
  }
  return ::testing::AssertionSuccess();
}

std::vector<float> Enhanced(const SyntheticFrame& frame, AzimuthalParameters p) {
  auto out = frame.Output();
  EXPECT_TRUE(AzimuthalEnhance(frame.View(), p, out.data()));
  return out;
}

// The coma model as the engine renders it, centre value 0.
std::vector<float> EngineModel(const SyntheticFrame& frame, std::int32_t cx, std::int32_t cy,
                               std::int32_t radius) {
  std::vector<float> model(frame.pixels.size(), 0.0f);
  const auto work = std::make_unique<EngineWorkspace>();
  EXPECT_TRUE(RenderComaModel({frame.pixels.data(), frame.width, frame.height}, model.data(), cx,
                              cy, radius, 0.0f, *work));
  return model;
}

// A noisy 1/rho coma with stars and blank pixels.
SyntheticFrame NoisyComet(ComaCentre centre) {
  std::mt19937 random(3);
  std::normal_distribution<double> noise(0, 2);
  SyntheticFrame frame(130, 110, [&](double x, double y) {
    return 50 + 4000 / std::max(Distance(x, y, centre), 1.0) + noise(random);
  });
  for (std::int32_t k = 0; k < 40; ++k) frame.At((k * 37) % 130, (k * 23) % 110) = kNaN;
  frame.At(80, 30) = 9000;
  frame.At(81, 30) = 7000;
  return frame;
}

// With the median, the azimuthal model is the coma model, and its ratio and
// residual are the coma model's, to the bit; also off-centre and with rings
// reaching past the frame.
TEST(AzimuthalEnhance, MedianIsTheComaModel) {
  const struct {
    std::int32_t cx, cy, radius;
  } cases[] = {{64, 52, 40}, {10, 100, 90}, {64, 52, 200}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cx << "," << c.cy << " R " << c.radius);
    const SyntheticFrame frame = NoisyComet({double(c.cx), double(c.cy)});
    const std::vector<float> model = EngineModel(frame, c.cx, c.cy, c.radius);
    std::vector<float> ratio(model.size()), residual(model.size());
    for (std::size_t i = 0; i < model.size(); ++i) {
      residual[i] = frame.pixels[i] - model[i];
      ratio[i] = model[i] == 0.0f ? kNaN : frame.pixels[i] / model[i];
    }
    AzimuthalParameters p{c.cx, c.cy, c.radius, RingStatistic::kMedian, 3, AzimuthalOutput::kModel};
    EXPECT_TRUE(SameBits(Enhanced(frame, p), model));
    p.output = AzimuthalOutput::kRatio;
    EXPECT_TRUE(SameBits(Enhanced(frame, p), ratio));
    p.output = AzimuthalOutput::kResidual;
    EXPECT_TRUE(SameBits(Enhanced(frame, p), residual));
  }
}

// Where every ring holds one value, its mean, clipped mean and median agree,
// so the three models must be the same to the bit: the same rings, the same
// disc and the same interpolation.
TEST(AzimuthalEnhance, EveryStatisticSeesTheSameRings) {
  const std::int32_t cx = 47, cy = 33;
  SyntheticFrame frame(90, 70, [&](double x, double y) {
    return 1000.0 / (1.0 + std::round(Distance(x, y, {double(cx), double(cy)})));
  });
  frame.At(50, 30) = kNaN;
  const std::vector<float> model = EngineModel(frame, cx, cy, 60);
  for (const RingStatistic statistic : {RingStatistic::kMean, RingStatistic::kSigmaClippedMean}) {
    SCOPED_TRACE(static_cast<int>(statistic));
    EXPECT_TRUE(
        SameBits(Enhanced(frame, {cx, cy, 60, statistic, 3, AzimuthalOutput::kModel}), model));
  }
}

// A star on ring 40 pulls the ring's mean up; the sigma-clipped mean sets it
// aside and gives the coma's value.
TEST(AzimuthalEnhance, SigmaClipIgnoresAStar) {
  const std::int32_t cx = 60, cy = 60;
  const auto coma = [&](double x, double y) {
    return 1000.0 / (1.0 + std::round(Distance(x, y, {double(cx), double(cy)})));
  };
  SyntheticFrame frame(121, 121, [&](double x, double y) {
    const double star = 20000 * std::exp(-(std::pow(x - 88, 2) + std::pow(y - 88, 2)) / 2.0);
    return coma(x, y) + star;
  });
  const auto ring40 = [&](RingStatistic statistic) {
    // (cx + 40, cy) lies at t = 40 exactly: the profile's entry 40.
    return Enhanced(frame, {cx, cy, 50, statistic, 3, AzimuthalOutput::kModel})[cx + 40 + cy * 121];
  };
  const auto expected = static_cast<float>(coma(cx + 40, cy));
  EXPECT_EQ(ring40(RingStatistic::kSigmaClippedMean), expected);
  EXPECT_EQ(ring40(RingStatistic::kMedian), expected);
  EXPECT_GT(ring40(RingStatistic::kMean), 1.5f * expected);
}

TEST(AzimuthalEnhance, RefusesBadParameters) {
  const SyntheticFrame frame(4, 4, [](double, double) { return 1.0; });
  auto out = frame.Output();
  const AzimuthalParameters bad[] = {
      {1, 1, -1, RingStatistic::kMedian, 3, AzimuthalOutput::kRatio},
      {1, 1, MaxModelRadius + 1, RingStatistic::kMean, 3, AzimuthalOutput::kRatio},
      {1, 1, 3, RingStatistic::kSigmaClippedMean, 0, AzimuthalOutput::kRatio},
      {1, 1, 3, RingStatistic::kSigmaClippedMean, std::nan(""), AzimuthalOutput::kRatio},
  };
  for (const AzimuthalParameters& p : bad) {
    EXPECT_FALSE(AzimuthalEnhance(frame.View(), p, out.data()));
  }
  EXPECT_EQ(out[0], -12345.0f);
}

}  // namespace

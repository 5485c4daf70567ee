// The model painted from the profile: worked examples to the bit, clipping,
// the single-precision rim and the radius limit.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine_fixture.h"
#include "literal_model.h"

namespace {

using RenderTest = EngineTest;

TEST_F(RenderTest, FiveByFourImageAroundOneOne) {
  SetImage(5, 4, {3, 9,  4,  2, 1,  //
                  8, 40, 7,  5, 2,  //
                  6, 10, 12, 3, 0,  //
                  2, 4,  1,  6, 2});
  FillModel(0.0f);
  PeakValue = 100.0f;
  ASSERT_TRUE(RenderComaModel(1, 1, 2));

  EXPECT_EQ(RadialProfile[0], 7.5f);
  EXPECT_EQ(RadialProfile[1], 7.5f);
  EXPECT_EQ(RadialProfile[2], 2.5f);
  EXPECT_EQ(RadialProfile[3], 2.5f);

  const float d = FromBits(0x40ADB9D0u);  // about 5.4289322
  const float expected[4][5] = {
      {d, 7.5f, d, 0, 0}, {7.5f, 100, 7.5f, 0, 0}, {d, 7.5f, d, 0, 0}, {0, 0, 0, 0, 0}};
  for (std::int32_t y = 0; y < 4; ++y) {
    for (std::int32_t x = 0; x < 5; ++x) {
      SCOPED_TRACE(testing::Message() << "pixel (" << x << ", " << y << ")");
      EXPECT_EQ(Bits(Model(x, y)), Bits(expected[y][x]));
    }
  }
}

TEST_F(RenderTest, TwoByTwoImageTieRoundsToEven) {
  SetImage(2, 2, {50, 10, 20, 30});
  FillModel(0.0f);
  PeakValue = 100.0f;
  ASSERT_TRUE(RenderComaModel(0, 0, 3));

  const float profile[] = {20, 20, 0, 0, 0};
  for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(Bits(RadialProfile[k]), Bits(profile[k])) << k;
  EXPECT_EQ(Model(0, 0), 100.0f);
  EXPECT_EQ(Model(1, 0), 20.0f);
  EXPECT_EQ(Model(0, 1), 20.0f);
  EXPECT_EQ(Bits(Model(1, 1)), 0x413B73A0u);  // about 11.715729
}

TEST_F(RenderTest, CentreLeftOfThreeByThreeImage) {
  SetImage(3, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8});
  PeakValue = 100.0f;
  ASSERT_TRUE(RenderComaModel(-1, 1, 2));

  const float profile[] = {3, 3, 4, 4};
  for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(Bits(RadialProfile[k]), Bits(profile[k])) << k;
  EXPECT_EQ(Bits(Model(0, 0)), 0x405A827Au);  // about 3.4142137
  EXPECT_EQ(Bits(Model(0, 1)), Bits(3.0f));
  EXPECT_EQ(Bits(Model(0, 2)), 0x405A827Au);
  for (std::int32_t y = 0; y < 3; ++y) {
    for (std::int32_t x = 1; x < 3; ++x) EXPECT_EQ(Bits(Model(x, y)), Bits(kUntouched)) << x << y;
  }
}

TEST_F(RenderTest, NonPositiveRadiusWritesOnlyThePeak) {
  struct Case {
    std::int32_t cx, cy, R;
    bool peakInside;
  };
  const Case cases[] = {{2, 1, 0, true},
                        {2, 1, -1, true},
                        {0, 2, std::numeric_limits<std::int32_t>::min(), true},
                        {-1, 1, 0, false},
                        {4, 3, -5, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "centre (" << c.cx << ", " << c.cy << "), R " << c.R);
    SetImage(4, 3, std::vector<float>(12, 1.0f));
    RadialProfile.fill(-3.0f);
    PeakValue = -0.0f;
    ASSERT_TRUE(RenderComaModel(c.cx, c.cy, c.R));
    for (std::int32_t y = 0; y < 3; ++y) {
      for (std::int32_t x = 0; x < 4; ++x) {
        const bool peak = c.peakInside && x == c.cx && y == c.cy;
        EXPECT_EQ(Bits(Model(x, y)), Bits(peak ? -0.0f : kUntouched)) << x << ", " << y;
      }
    }
    EXPECT_EQ(RadialProfile[0], -3.0f);  // no ring measured
  }
}

// Radii whose profile does not fit are refused before anything is written.
TEST_F(RenderTest, RadiusBeyondTheProfileIsRefused) {
  static_assert(RadiusFitsProfile(MaxModelRadius) && !RadiusFitsProfile(MaxModelRadius + 1));
  for (const std::int32_t R : {40000, 65536, std::numeric_limits<std::int32_t>::max()}) {
    SCOPED_TRACE(R);
    SetImage(3, 3, std::vector<float>(9, 2.0f));
    RadialProfile.fill(-3.0f);
    PeakValue = 7.0f;
    EXPECT_FALSE(RenderComaModel(1, 1, R));
    for (const float v : model_) EXPECT_EQ(Bits(v), Bits(kUntouched));
    for (const float v : RadialProfile) ASSERT_EQ(v, -3.0f);
  }
  // The largest radius that fits is rendered, its profile ending at 40,000.
  SetImage(3, 3, std::vector<float>(9, 2.0f));
  PeakValue = 7.0f;
  ASSERT_TRUE(RenderComaModel(1, 1, MaxModelRadius));
  EXPECT_EQ(RadialProfile[1], 2.0f);
  EXPECT_EQ(RadialProfile[2], 0.0f);  // no pixel of a 3 x 3 image is 2 from its centre
  EXPECT_EQ(RadialProfile[MaxModelRadius], 0.0f);
  EXPECT_EQ(RadialProfile[MaxModelRadius + 1], 0.0f);
  EXPECT_EQ(Model(1, 1), 7.0f);
  EXPECT_EQ(Model(1, 0), 2.0f);
}

// Centres on and beyond every edge and corner, radii smaller and larger than
// the image: the clipped model must be the plain algorithm's, bit for bit.
TEST_F(RenderTest, ClippingAtEveryEdge) {
  constexpr std::int32_t kW = 23;
  constexpr std::int32_t kH = 17;
  std::vector<float> samples(kW * kH);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<float>((i * 7919u) % 101u) * 0.25f;
  }
  const std::int32_t xs[] = {-9, -1, 0, 11, kW - 1, kW, kW + 9};
  const std::int32_t ys[] = {-7, -1, 0, 8, kH - 1, kH, kH + 7};
  for (const std::int32_t cx : xs) {
    for (const std::int32_t cy : ys) {
      for (const std::int32_t R : {1, 6, 13, 40}) {
        SCOPED_TRACE(testing::Message() << "centre (" << cx << ", " << cy << "), R " << R);
        SetImage(kW, kH, samples);
        PeakValue = 99.0f;
        std::vector<float> expected(model_.size(), kUntouched);
        std::vector<float> profile;
        ASSERT_TRUE(literal::Render({kW, kH, source_.data()}, expected.data(), cx, cy, R, PeakValue,
                                    &profile));
        ASSERT_TRUE(RenderComaModel(cx, cy, R));
        for (std::size_t i = 0; i < model_.size(); ++i) {
          ASSERT_EQ(Bits(model_[i]), Bits(expected[i])) << "pixel " << i;
        }
      }
    }
  }
}

TEST_F(RenderTest, CentreFarOutsideWritesNothing) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::int32_t centres[][2] = {{kMin, kMin}, {kMax, kMax}, {kMin, 0}, {0, kMax}};
  for (const auto& c : centres) {
    SCOPED_TRACE(testing::Message() << "centre (" << c[0] << ", " << c[1] << ")");
    SetImage(8, 8, std::vector<float>(64, 1.0f));
    PeakValue = 5.0f;
    ASSERT_TRUE(RenderComaModel(c[0], c[1], MaxModelRadius));
    for (const float v : model_) ASSERT_EQ(Bits(v), Bits(kUntouched));
    EXPECT_EQ(RadialProfile[1], 0.0f);
    EXPECT_EQ(RadialProfile[MaxModelRadius + 1], 0.0f);
  }
}

// The rim test compares the single-precision distance with R, so above
// R = 4096 some pixels just inside R are left alone. A 48 x 48 image laid
// across the rim checks every pixel against t < R; for R = 4102 it holds the
// offset (821, 4019), whose t rounds to exactly 4102.
TEST_F(RenderTest, RimFollowsTheSinglePrecisionDistance) {
  struct Case {
    std::int32_t R, cx, cy;
  };
  const Case cases[] = {
      {4096, -2430, -3280}, {4097, -2430, -3280}, {4102, -800, -4000},     {5000, -3000, -3980},
      {8191, -5790, -5770}, {16384, -16360, 10},  {39999, -23990, -31980}, {39999, 20, -39980},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "R " << c.R << ", centre (" << c.cx << ", " << c.cy << ")");
    SetImage(48, 48, std::vector<float>(48 * 48, 1.0f));
    ASSERT_TRUE(RenderComaModel(c.cx, c.cy, c.R));
    int written = 0;
    for (std::int32_t y = 0; y < 48; ++y) {
      for (std::int32_t x = 0; x < 48; ++x) {
        const std::int64_t dx = x - std::int64_t{c.cx};
        const std::int64_t dy = y - std::int64_t{c.cy};
        const auto t = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
        const bool inside = t < static_cast<float>(c.R);
        ASSERT_EQ(Bits(Model(x, y)), Bits(inside ? 1.0f : kUntouched)) << x << ", " << y;
        written += inside ? 1 : 0;
      }
    }
    // The image must straddle the rim for the case to mean anything.
    EXPECT_GT(written, 0);
    EXPECT_LT(written, 48 * 48);
  }
  SetImage(48, 48, std::vector<float>(48 * 48, 1.0f));
  ASSERT_TRUE(RenderComaModel(-800, -4000, 4102));
  EXPECT_EQ(Bits(Model(21, 19)), Bits(kUntouched));  // offset (821, 4019): d^2 = R^2 - 2
  EXPECT_EQ(Model(20, 19), 1.0f);                    // offset (820, 4019)
}

TEST(InterpolateProfileTest, ValuesBetweenEntries) {
  SampleArray profile{};
  profile[0] = 4.0f;
  profile[1] = 4.0f;
  profile[2] = 10.0f;
  profile[3] = 20.0f;
  profile[MaxModelRadius] = 8.0f;
  profile[MaxModelRadius + 1] = 8.0f;
  struct Case {
    float t, expected;
  };
  const Case cases[] = {
      {3.0f, 20.0f},  // k = 2, f = 1
      {2.5f, 15.0f},  // k = 2, f = 0.5
      {2.0f, 10.0f},  // k = 2, f = 0
      {2.25f, 12.5f},
      {1.0f, 4.0f},  // k = 0, f = 1
      {0.0f, 4.0f},
      {1.5f, 7.0f},
      // Outside 0 .. 39,999 t is clamped: no entry beyond the array is read.
      {-2.0f, 4.0f},
      {std::numeric_limits<float>::quiet_NaN(), 4.0f},
      {40000.0f, 8.0f},
      {1e30f, 8.0f},
      {std::numeric_limits<float>::infinity(), 8.0f},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Bits(InterpolateProfile(profile, c.t)), Bits(c.expected)) << "t " << c.t;
  }
}

TEST_F(RenderTest, WriteModelPixelOnlyInsideTheImage) {
  SetImage(3, 2, std::vector<float>(6, 0.0f));
  const std::int32_t outside[][2] = {{3, 0},
                                     {0, -1},
                                     {-1, 0},
                                     {0, 2},
                                     {3, 2},
                                     {std::numeric_limits<std::int32_t>::min(), 0},
                                     {0, std::numeric_limits<std::int32_t>::max()}};
  for (const auto& p : outside) WriteModelPixel(p[0], p[1], 1.0f);
  for (const float v : model_) EXPECT_EQ(Bits(v), Bits(kUntouched));
  WriteModelPixel(2, 1, -0.0f);
  EXPECT_EQ(Bits(Model(2, 1)), Bits(-0.0f));
  WriteModelPixel(0, 0, kUntouched);
  EXPECT_EQ(Bits(Model(0, 0)), Bits(kUntouched));
}

}  // namespace

// The model painted from the profile: worked examples to the bit, clipping,
// the single-precision rim and the radius limit.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine_fixture.h"

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

}  // namespace

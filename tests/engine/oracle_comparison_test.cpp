// Random images, centres and radii: the engine must reproduce the plain
// square-scan algorithm bit for bit, profile and model alike.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "engine_fixture.h"
#include "literal_model.h"

namespace {

// Sample sets that stress what the fast paths could get wrong: heavy
// duplicates, both signed zeros, blank (NaN) pixels, infinities, and plain
// continuous values, and values a few units in the last place apart.
enum class Data { kContinuous, kFewLevels, kSignedZeros, kBlanks, kNarrow };
constexpr int kDataKinds = 5;

float DrawSample(Data kind, std::mt19937& rng) {
  std::uniform_int_distribution<int> pick(0, 99);
  const int u = pick(rng);
  switch (kind) {
    case Data::kContinuous:
      return std::uniform_real_distribution<float>(-50.0f, 1000.0f)(rng);
    case Data::kFewLevels:
      return static_cast<float>(u % 4);
    case Data::kSignedZeros:
      if (u < 40) return 0.0f;
      if (u < 80) return -0.0f;
      return static_cast<float>(u % 3) - 1.0f;
    case Data::kBlanks:
      if (u < 30) return std::numeric_limits<float>::quiet_NaN();
      if (u < 35)
        return u % 2 ? std::numeric_limits<float>::infinity()
                     : -std::numeric_limits<float>::infinity();
      if (u < 55) return u % 2 ? 0.0f : -0.0f;
      return static_cast<float>(u % 7);
    case Data::kNarrow:
      return std::bit_cast<float>(std::bit_cast<std::uint32_t>(1000.0f) +
                                  static_cast<std::uint32_t>(u % 37));
  }
  return 0.0f;
}

struct Case {
  std::int32_t width, height, cx, cy, R;
  Data data;
};

Case DrawCase(std::mt19937& rng, std::int32_t maxRadius) {
  auto uniform = [&](std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng);
  };
  Case c{};
  c.width = uniform(1, 70);
  c.height = uniform(1, 70);
  // Mostly inside, sometimes near or beyond an edge.
  c.cx = uniform(-c.width / 2 - 5, c.width + c.width / 2 + 5);
  c.cy = uniform(-c.height / 2 - 5, c.height + c.height / 2 + 5);
  c.R = uniform(-2, maxRadius);
  c.data = static_cast<Data>(uniform(0, kDataKinds - 1));
  return c;
}

class OracleComparison : public EngineTest {
 protected:
  void Check(const Case& c, std::mt19937& rng) {
    SCOPED_TRACE(testing::Message()
                 << "image " << c.width << "x" << c.height << ", centre (" << c.cx << ", " << c.cy
                 << "), R " << c.R << ", data " << static_cast<int>(c.data));
    std::vector<float> samples(static_cast<std::size_t>(c.width * c.height));
    for (float& s : samples) s = DrawSample(c.data, rng);
    SetImage(c.width, c.height, samples);
    PeakValue = 123.25f;
    std::vector<float> expectedModel(model_.size(), kUntouched);
    std::vector<float> expectedProfile;
    const literal::Image image{c.width, c.height, source_.data()};
    ASSERT_TRUE(
        literal::Render(image, expectedModel.data(), c.cx, c.cy, c.R, PeakValue, &expectedProfile));
    ASSERT_TRUE(RenderComaModel(c.cx, c.cy, c.R));

    for (std::size_t k = 0; k < expectedProfile.size(); ++k) {
      ASSERT_EQ(Bits(RadialProfile[k]), Bits(expectedProfile[k])) << "profile entry " << k;
    }
    for (std::size_t i = 0; i < model_.size(); ++i) {
      ASSERT_EQ(Bits(model_[i]), Bits(expectedModel[i]))
          << "pixel (" << i % static_cast<std::size_t>(c.width) << ", "
          << i / static_cast<std::size_t>(c.width) << ")";
    }
    std::vector<std::int32_t> expectedMembers;
    for (std::int32_t r = 0; r <= c.R + 1; ++r) {
      bool abandoned = false;
      const auto members = literal::RingMembers(image, c.cx, c.cy, r, &abandoned);
      expectedMembers.push_back(static_cast<std::int32_t>(members.size()));
      ASSERT_EQ(RingMemberCount(c.cx, c.cy, r), expectedMembers.back()) << "ring " << r;
    }

    // The core on its own workspace gives the same bits and each ring's count.
    std::vector<float> coreModel(model_.size(), kUntouched);
    std::vector<std::int32_t> coreMembers(expectedMembers.size(), -1);
    ASSERT_TRUE(RenderComaModel({source_.data(), c.width, c.height}, coreModel.data(), c.cx, c.cy,
                                c.R, PeakValue, *work_, coreMembers));
    ASSERT_EQ(std::memcmp(coreModel.data(), expectedModel.data(), coreModel.size() * sizeof(float)),
              0);
    for (std::size_t k = 0; k < expectedProfile.size(); ++k) {
      ASSERT_EQ(Bits(work_->profile[k]), Bits(expectedProfile[k])) << "core profile entry " << k;
    }
    for (std::int32_t r = 1; r <= c.R; ++r) {
      ASSERT_EQ(coreMembers[static_cast<std::size_t>(r)],
                expectedMembers[static_cast<std::size_t>(r)])
          << "core count of ring " << r;
    }
    if (c.R >= 0) {  // entries outside 1 .. R are not the core's
      EXPECT_EQ(coreMembers.front(), -1);
      EXPECT_EQ(coreMembers.back(), -1);
    }
  }

  std::unique_ptr<EngineWorkspace> work_ = std::make_unique_for_overwrite<EngineWorkspace>();
};

TEST_F(OracleComparison, SmallRadii) {
  std::mt19937 rng(20240611u);
  for (int i = 0; i < 400; ++i) Check(DrawCase(rng, 40), rng);
}

// Images large enough for rings of several hundred members, where the median
// is selected by counting instead of comparing.
TEST_F(OracleComparison, FullRingsInLargerImages) {
  std::mt19937 rng(31u);
  for (int kind = 0; kind < kDataKinds; ++kind) {
    Case c{};
    c.width = std::uniform_int_distribution<std::int32_t>(230, 260)(rng);
    c.height = std::uniform_int_distribution<std::int32_t>(230, 260)(rng);
    c.cx = c.width / 2 + std::uniform_int_distribution<std::int32_t>(-20, 20)(rng);
    c.cy = c.height / 2 + std::uniform_int_distribution<std::int32_t>(-20, 20)(rng);
    c.R = std::uniform_int_distribution<std::int32_t>(120, 160)(rng);
    c.data = static_cast<Data>(kind);
    Check(c, rng);
  }
}

// Rings of about 400 to 480 members whose two middle values are often far
// apart, a few units in the last place apart, or equal: the cases where the
// counting selection must keep both middle buckets.
TEST_F(OracleComparison, MiddleValuesOfLargeRings) {
  std::mt19937 rng(5u);
  std::uniform_int_distribution<int> coin(0, 1);
  const float anchors[] = {-3.5e7f, -1.0f,   -0.0f,   1e-30f,
                           0.75f,   1000.0f, 6.0e20f, std::numeric_limits<float>::infinity()};
  std::uniform_int_distribution<int> anchor(0, 7);
  for (int i = 0; i < 120; ++i) {
    const float a = anchors[anchor(rng)];
    const float b = anchors[anchor(rng)];
    const int kind = i % 3;
    std::vector<float> samples(141 * 141);
    for (float& v : samples) {
      const float base = coin(rng) ? a : b;
      switch (kind) {
        case 0:  // two values
          v = base;
          break;
        case 1:  // two clusters of neighbouring floats
          v = std::isinf(base) ? base
                               : std::bit_cast<float>(std::bit_cast<std::uint32_t>(base) +
                                                      static_cast<std::uint32_t>(coin(rng) * 3));
          break;
        default:  // two clusters of spread values
          v = base + std::uniform_real_distribution<float>(0.0f, 1.0f)(rng) * (std::abs(base) + 1);
          break;
      }
    }
    SetImage(141, 141, samples);
    const literal::Image image{141, 141, source_.data()};
    for (std::int32_t r = 64; r <= 76; r += 3) {
      SCOPED_TRACE(testing::Message() << "fill " << i << ", ring " << r);
      bool abandoned = false;
      std::vector<float> members = literal::RingMembers(image, 70, 70, r, &abandoned);
      const auto n = static_cast<std::int32_t>(members.size());
      literal::Quicksort(members.data(), 0, n - 1);
      ASSERT_EQ(Bits(RingMedian(70, 70, r)), Bits(literal::Median(members.data(), n)));
    }
  }
}

TEST_F(OracleComparison, LargeRadii) {
  std::mt19937 rng(7u);
  for (int i = 0; i < 6; ++i) {
    Case c = DrawCase(rng, 300);
    c.R = std::uniform_int_distribution<std::int32_t>(200, 300)(rng);
    Check(c, rng);
  }
}

// Radii beyond the frame's farthest corner, with the centre inside, on an edge
// or outside: rings that miss the frame, or reach it only in a few rows, must
// still give the plain algorithm's profile, counts and model.
TEST_F(OracleComparison, RadiiBeyondTheFrame) {
  std::mt19937 rng(4u);
  auto uniform = [&](std::int32_t lo, std::int32_t hi) {
    return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng);
  };
  for (int i = 0; i < 60; ++i) {
    Case c{};
    c.width = uniform(1, 24);
    c.height = uniform(1, 24);
    c.cx = uniform(-30, c.width + 30);
    c.cy = uniform(-30, c.height + 30);
    const double corner = std::hypot(std::max(c.cx, c.width - 1 - c.cx) + 1.0,
                                     std::max(c.cy, c.height - 1 - c.cy) + 1.0);
    c.R = uniform(static_cast<std::int32_t>(corner), 2 * static_cast<std::int32_t>(corner) + 20);
    c.data = static_cast<Data>(uniform(0, kDataKinds - 1));
    Check(c, rng);
  }
}

// Rings of any radius around any centre, checked against a gathering that
// visits every image pixel in row order with the exact integer membership
// test (the square scan is out of reach for such radii). The centres sit at
// about a radius from the image, so that the rings cut through it.
TEST_F(OracleComparison, AnyCentreAndRadius) {
  std::mt19937 rng(99u);
  auto uniform = [&](std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  };
  int withMembers = 0;
  for (int i = 0; i < 300; ++i) {
    const auto width = static_cast<std::int32_t>(uniform(1, 40));
    const auto height = static_cast<std::int32_t>(uniform(1, 40));
    const auto r = static_cast<std::int32_t>(
        uniform(0, 2) == 0 ? uniform(0, 100)
                           : uniform(0, std::numeric_limits<std::int32_t>::max()));
    // A direction, then the centre about r away from the image in it.
    const double angle = std::uniform_real_distribution<double>(0.0, 6.283185307179586)(rng);
    auto clampToInt32 = [](double v) {
      return static_cast<std::int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
    };
    const std::int32_t cx = clampToInt32(width / 2.0 + r * std::cos(angle) +
                                         static_cast<double>(uniform(-width, width) / 2));
    const std::int32_t cy = clampToInt32(height / 2.0 + r * std::sin(angle) +
                                         static_cast<double>(uniform(-height, height) / 2));
    const Data data = static_cast<Data>(uniform(0, kDataKinds - 1));
    SCOPED_TRACE(testing::Message()
                 << "image " << width << "x" << height << ", centre (" << cx << ", " << cy
                 << "), r " << r << ", data " << static_cast<int>(data));
    std::vector<float> samples(static_cast<std::size_t>(width * height));
    for (float& v : samples) v = DrawSample(data, rng);
    SetImage(width, height, samples);

    std::vector<float> members;
    const std::int64_t lo = std::int64_t{r} * (std::int64_t{r} - 1);
    const std::int64_t hi = std::int64_t{r} * (std::int64_t{r} + 1);
    for (std::int32_t y = 0; y < height; ++y) {
      for (std::int32_t x = 0; x < width; ++x) {
        const std::int64_t dx = x - std::int64_t{cx};
        const std::int64_t dy = y - std::int64_t{cy};
        const std::int64_t d2 = dx * dx + dy * dy;
        const bool member = r == 0 ? d2 == 0 : lo < d2 && d2 <= hi;
        if (member && !std::isnan(Source(x, y))) members.push_back(Source(x, y));
      }
    }
    const auto n = static_cast<std::int32_t>(members.size());
    literal::Quicksort(members.data(), 0, n - 1);
    ASSERT_EQ(RingMemberCount(cx, cy, r), n);
    ASSERT_EQ(Bits(RingMedian(cx, cy, r)), Bits(literal::Median(members.data(), n)));
    withMembers += n > 0 ? 1 : 0;
  }
  EXPECT_GT(withMembers, 150);  // most rings must reach the image to test anything
}

}  // namespace

// Ring membership, gathering order, the sort, the median rules and the limits
// of ring median sampling.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "engine_fixture.h"
#include "literal_model.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

using RingTest = EngineTest;

TEST_F(RingTest, RingSizesAroundAnInteriorCentre) {
  SetImage(21, 21, std::vector<float>(21 * 21, 1.0f));
  const std::int32_t sizes[] = {1, 8, 12, 16, 32, 28};  // rings 0 .. 5
  for (std::int32_t r = 0; r <= 5; ++r) {
    EXPECT_EQ(RingMemberCount(10, 10, r), sizes[r]) << "ring " << r;
  }
}

TEST_F(RingTest, OffsetBelongsToTheRingItsDistanceRoundsTo) {
  struct Offset {
    std::int32_t dx, dy, ring;
  };
  const Offset cases[] = {
      {0, 0, 0}, {1, 0, 1},  {1, 1, 1}, {2, 0, 2},  {2, 1, 2}, {2, 2, 3},
      {3, 0, 3}, {3, 1, 3},  {2, 3, 4}, {4, 2, 4},  {5, 0, 5}, {-4, -2, 4},
      {3, 4, 5}, {-5, 3, 6}, {6, 2, 6}, {0, -7, 7}, {5, 5, 7}, {-6, 6, 8},
  };
  for (const Offset& c : cases) {
    SCOPED_TRACE(testing::Message() << "offset (" << c.dx << ", " << c.dy << ")");
    // One sample in a blank image: only its own ring has a member.
    SetImage(19, 19, std::vector<float>(19 * 19, kNaN));
    Source(9 + c.dx, 9 + c.dy) = 3.0f;
    for (std::int32_t r = 0; r <= 9; ++r) {
      EXPECT_EQ(RingMemberCount(9, 9, r), r == c.ring ? 1 : 0) << "ring " << r;
      EXPECT_EQ(RingMedian(9, 9, r), r == c.ring ? 3.0f : 0.0f) << "ring " << r;
    }
  }
}

// The six in-image members of ring 2 around (1, 1) in a 5 x 4 image are
// gathered as (3, 0), (3, 1), (3, 2), (0, 3), (1, 3), (2, 3). With signed
// zeros the quicksort's exchanges, and so the gathering order, decide the
// sign of a zero median: every pattern of -0, +0 and 1 on those positions
// must give the median of the sort in exactly that order.
TEST_F(RingTest, GatheringOrderDecidesTheSignOfAZeroMedian) {
  const std::int32_t order[6][2] = {{3, 0}, {3, 1}, {3, 2}, {0, 3}, {1, 3}, {2, 3}};
  const float levels[3] = {-0.0f, 0.0f, 1.0f};
  int orderSensitive = 0;
  for (int pattern = 0; pattern < 729; ++pattern) {
    SetImage(5, 4, std::vector<float>(20, 7.0f));
    float gathered[6];
    for (int i = 0, p = pattern; i < 6; ++i, p /= 3) {
      gathered[i] = levels[p % 3];
      Source(order[i][0], order[i][1]) = gathered[i];
    }
    float sorted[6];
    std::copy(gathered, gathered + 6, sorted);
    literal::Quicksort(sorted, 0, 5);
    const float expected = literal::Median(sorted, 6);
    ASSERT_EQ(Bits(RingMedian(1, 1, 2)), Bits(expected)) << "pattern " << pattern;

    float reversed[6];
    std::reverse_copy(gathered, gathered + 6, reversed);
    literal::Quicksort(reversed, 0, 5);
    orderSensitive += Bits(literal::Median(reversed, 6)) != Bits(expected) ? 1 : 0;
  }
  // The case shows order faults only if some patterns depend on the order.
  EXPECT_GT(orderSensitive, 0);
}

TEST_F(RingTest, ReadSourcePixelClampsIntoTheImage) {
  SetImage(4, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});
  struct Read {
    std::int32_t x, y;
    float expected;
  };
  const Read cases[] = {{1, 1, 5},  {-3, 8, 8},      {4, 0, 3},        {0, -1, 0},   {9, 9, 11},
                        {3, 2, 11}, {kMin, kMin, 0}, {kMax, kMax, 11}, {kMin, 1, 4}, {2, kMax, 10}};
  for (const Read& c : cases) {
    EXPECT_EQ(ReadSourcePixel(c.x, c.y), c.expected) << "(" << c.x << ", " << c.y << ")";
  }
  // (-3, ImageHeight + 5) reads column 0 of the last row.
  EXPECT_EQ(ReadSourcePixel(-3, ImageHeight + 5), 8.0f);
}

TEST(MedianOfSortedTest, MedianRules) {
  constexpr float kMaxFloat = std::numeric_limits<float>::max();
  struct Case {
    const char* name;
    std::vector<float> sorted;
    std::int32_t n;
    float expected;
  };
  const Case cases[] = {
      {"eight samples", {3, 4, 6, 7, 8, 9, 10, 12}, 8, 7.5f},
      {"six samples", {1, 2, 2, 3, 4, 5}, 6, 2.5f},
      {"three samples", {10, 20, 30}, 3, 20.0f},
      {"one sample", {-4.25f}, 1, -4.25f},
      {"no sample", {5}, 0, 0.0f},
      {"negative count", {5}, -3, 0.0f},
      {"five samples take index 2", {1, 2, 3, 4, 5}, 5, 3.0f},
      {"four samples: mean of indices 1 and 2", {1, 2, 4, 100}, 4, 3.0f},
      // The sum is formed in double: in single precision it would overflow.
      {"mean of the largest floats", {kMaxFloat, kMaxFloat}, 2, kMaxFloat},
      {"-0 and +0 average to +0", {-0.0f, 0.0f}, 2, 0.0f},
      {"two -0 average to -0", {-0.0f, -0.0f}, 2, -0.0f},
      {"odd count copies -0", {-1, -0.0f, 0.0f}, 3, -0.0f},
      {"infinities are ordinary values", {-kInf, 1, kInf}, 3, 1.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SampleArray samples{};
    std::copy(c.sorted.begin(), c.sorted.end(), samples.begin());
    const SampleArray before = samples;
    EXPECT_EQ(Bits(MedianOfSorted(samples, c.n)), Bits(c.expected));
    EXPECT_EQ(samples, before);
  }
}

TEST(MedianOfSortedTest, CountBeyondTheArrayReadsOnlyTheArray) {
  SampleArray samples{};
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i);
  // Counted as the whole array of 40,001 entries: the middle is index 20,000.
  EXPECT_EQ(MedianOfSorted(samples, 50001), 20000.0f);
  EXPECT_EQ(MedianOfSorted(samples, kMax), 20000.0f);
}

// The sort must make exactly the exchanges of the recursive quicksort, which
// only shows with signed zeros; on every other input it must sort.
TEST(SortSamplesTest, SameExchangesAsTheRecursiveQuicksort) {
  auto pattern = [](std::size_t n, auto value) {
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = value(i);
    return v;
  };
  struct Case {
    const char* name;
    std::vector<float> data;
  };
  const Case cases[] = {
      {"constant", pattern(1000, [](std::size_t) { return 2.5f; })},
      {"sorted", pattern(1000, [](std::size_t i) { return static_cast<float>(i); })},
      {"reversed", pattern(1000, [](std::size_t i) { return static_cast<float>(1000 - i); })},
      {"duplicate-heavy",
       pattern(997, [](std::size_t i) { return static_cast<float>(i * 7 % 3); })},
      {"organ pipe",
       pattern(1001, [](std::size_t i) { return static_cast<float>(i < 500 ? i : 1000 - i); })},
      {"signed zeros", pattern(999,
                               [](std::size_t i) {
                                 return (i * 13 % 5) < 2 ? -0.0f : (i % 7 == 0 ? 1.0f : 0.0f);
                               })},
      {"infinities", pattern(300,
                             [](std::size_t i) {
                               return i % 3 == 0
                                          ? kInf
                                          : (i % 3 == 1 ? -kInf : static_cast<float>(i % 11));
                             })},
      {"two entries", {1.0f, -1.0f}},
      {"one entry", {-0.0f}},
      {"full array", pattern(40001,
                             [](std::size_t i) {
                               return static_cast<float>((i * 2654435761u) % 1000u) - 500.0f;
                             })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SampleArray samples{};
    std::fill(samples.begin(), samples.end(), -99.0f);
    std::copy(c.data.begin(), c.data.end(), samples.begin());
    std::vector<float> expected = c.data;
    const auto hi = static_cast<std::int32_t>(c.data.size()) - 1;
    literal::Quicksort(expected.data(), 0, hi);
    SortSamples(samples, 0, hi);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(Bits(samples[i]), Bits(expected[i])) << "index " << i;
    }
    EXPECT_TRUE(std::is_sorted(samples.begin(), samples.begin() + hi + 1));
    for (std::size_t i = expected.size(); i < samples.size(); ++i) {
      ASSERT_EQ(samples[i], -99.0f) << "entry " << i << " outside the range changed";
    }
  }
}

TEST(SortSamplesTest, RangesAndNaN) {
  SampleArray samples{};
  const float data[] = {9, 8, 7, 6, 5, 4, 3, 2};
  std::copy(std::begin(data), std::end(data), samples.begin());

  SortSamples(samples, 5, 2);  // empty range: untouched
  EXPECT_TRUE(std::equal(std::begin(data), std::end(data), samples.begin()));

  SortSamples(samples, 2, 5);  // only entries 2 .. 5
  const float partly[] = {9, 8, 4, 5, 6, 7, 3, 2};
  EXPECT_TRUE(std::equal(std::begin(partly), std::end(partly), samples.begin()));

  // Indices beyond the array are not touched; the part inside is sorted.
  SortSamples(samples, -10, kMax);
  EXPECT_TRUE(std::is_sorted(samples.begin(), samples.end()));

  // NaN entries are not ordered, but no scan may leave the range and the
  // exchanges stay those of the recursive quicksort.
  std::vector<float> withNaN(501);
  for (std::size_t i = 0; i < withNaN.size(); ++i) {
    withNaN[i] = i % 4 == 0 ? kNaN : static_cast<float>((i * 37) % 50);
  }
  withNaN[250] = kNaN;  // a NaN pivot
  SampleArray nanSamples{};
  std::copy(withNaN.begin(), withNaN.end(), nanSamples.begin());
  literal::Quicksort(withNaN.data(), 0, 500);
  SortSamples(nanSamples, 0, 500);
  for (std::size_t i = 0; i < withNaN.size(); ++i) {
    ASSERT_EQ(Bits(nanSamples[i]), Bits(withNaN[i])) << "index " << i;
  }
}

TEST_F(RingTest, MedianOfTheGatheredSamples) {
  struct Case {
    const char* name;
    std::int32_t cx, cy, r;
    float expected;
  };
  // 7 x 5 image; ring 1 around (3, 2) holds the 8 neighbours.
  SetImage(7, 5, {1,  2,  3,  4,  5,  6,  7,   //
                  8,  9,  10, 11, 12, 13, 14,  //
                  15, 16, 17, 18, 19, 20, 21,  //
                  22, 23, 24, 25, 26, 27, 28,  //
                  29, 30, 31, 32, 33, 34, 35});
  const Case cases[] = {
      {"interior ring 1", 3, 2, 1, 18.0f},  // 10 11 12 17 19 24 25 26
      {"ring 0 is the centre", 3, 2, 0, 18.0f},
      {"negative radius", 3, 2, -1, 0.0f},
      {"corner centre", 0, 0, 1, 8.0f},               // 2 8 9
      {"centre left of the image", -1, 2, 1, 15.0f},  // 8 15 22
      {"centre below the image", 3, 6, 2, 32.0f},     // row 4: 31 32 33
      {"ring wholly outside", -10, -10, 3, 0.0f},
      {"beyond the farthest corner", 3, 2, 9, 0.0f},
      {"centre at the int32 limits", kMin, kMax, 5, 0.0f},
      {"huge radius around an inside centre", 3, 2, kMax, 0.0f},
      {"huge radius from far away", kMin, kMin, kMax, 0.0f},
      // Column 0 lies exactly kMax from the centre: 1 8 15 22 29.
      {"huge radius reaching in", kMax, 2, kMax, 15.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Bits(RingMedian(c.cx, c.cy, c.r)), Bits(c.expected));
  }
}

TEST_F(RingTest, BlankSamplesAreNotMembers) {
  SetImage(5, 5, std::vector<float>(25, 4.0f));
  Source(1, 1) = kNaN;
  Source(3, 3) = kNaN;
  Source(2, 1) = 10.0f;
  // Ring 1 around (2, 2): five 4s and one 10 remain.
  EXPECT_EQ(RingMemberCount(2, 2, 1), 6);
  EXPECT_EQ(RingMedian(2, 2, 1), 4.0f);
  for (std::int32_t x = 0; x < 5; ++x) {
    for (std::int32_t y = 0; y < 5; ++y) Source(x, y) = kNaN;
  }
  EXPECT_EQ(RingMemberCount(2, 2, 1), 0);
  EXPECT_EQ(Bits(RingMedian(2, 2, 1)), Bits(0.0f));
}

// Ring radii whose r(r+1) exceeds the int32 range are measured exactly.
TEST_F(RingTest, RingBeyondTheInt32SquaredDistance) {
  SetImage(3, 3, {5, 1, 1, 7, 1, 1, 6, 1, 1});
  // From (-50000, 0) ring 50000 holds column 0 only (distance 50000 to 50000.00004).
  EXPECT_EQ(RingMemberCount(-50000, 0, 50000), 3);
  EXPECT_EQ(RingMedian(-50000, 0, 50000), 6.0f);
  EXPECT_EQ(RingMemberCount(-50000, 0, 50001), 3);
  EXPECT_EQ(RingMedian(-50000, 0, 50001), 1.0f);
}

// A ring is abandoned with 0 when it reaches 40,000 members. Ring 6,329 is
// the first wholly inside an image to do so (40,072 members); ring 6,328 is
// measured normally. The image is 12,661 x 12,661 (about 640 MB of address
// space, zero pages untouched) with samples set only near the two rings.
TEST(RingAbandonmentTest, RingOf6329Members) {
  constexpr std::int32_t kSide = 12661;
  constexpr std::int32_t kCentre = 6330;
  const std::size_t count = std::size_t{kSide} * kSide;
  std::unique_ptr<float, decltype(&std::free)> image(
      static_cast<float*>(std::calloc(count, sizeof(float))), &std::free);
  if (!image) GTEST_SKIP() << "cannot reserve a 12,661 x 12,661 image";
  float* samples = image.get();
  for (std::int32_t y = 0; y < kSide; ++y) {
    const double dy = y - kCentre;
    const double inner = 6328.0 * 6327.0 - dy * dy;
    const double outer = 6329.0 * 6330.0 - dy * dy;
    if (outer < 0) continue;
    const auto a = static_cast<std::int32_t>(std::sqrt(outer)) + 2;
    const auto b = inner > 0 ? static_cast<std::int32_t>(std::sqrt(inner)) - 2 : 0;
    for (std::int32_t dx = std::max(b, 0); dx <= std::min(a, kCentre); ++dx) {
      samples[static_cast<std::size_t>(kCentre + dx) + static_cast<std::size_t>(y) * kSide] = 5.0f;
      samples[static_cast<std::size_t>(kCentre - dx) + static_cast<std::size_t>(y) * kSide] = 5.0f;
    }
  }
  ImageWidth = kSide;
  ImageHeight = kSide;
  SourceCopy = samples;
  const std::int32_t members6328 = RingMemberCount(kCentre, kCentre, 6328);
  const std::int32_t members6329 = RingMemberCount(kCentre, kCentre, 6329);
  const float median6328 = RingMedian(kCentre, kCentre, 6328);
  const float median6329 = RingMedian(kCentre, kCentre, 6329);
  SourceCopy = nullptr;
  ImageWidth = ImageHeight = 0;
  EXPECT_LT(members6328, MaxRingSamples);
  EXPECT_EQ(median6328, 5.0f);
  EXPECT_EQ(members6329, MaxRingSamples);  // counting stops at the limit
  EXPECT_EQ(Bits(median6329), Bits(0.0f));
}

// The gathering the ring statistics build on: the plain algorithm's members in
// its order, and their median as RingMedian gives it, NaN entries left out.
TEST(GatherRingSamplesTest, MembersInGatheringOrderAndTheirMedian) {
  constexpr std::int32_t kW = 61;
  constexpr std::int32_t kH = 47;
  std::vector<float> image(kW * kH);
  for (std::size_t i = 0; i < image.size(); ++i) {
    const std::size_t u = (i * 2654435761u) % 97u;
    image[i] = u < 10 ? kNaN : (u < 30 ? (u % 2 ? 0.0f : -0.0f) : static_cast<float>(u % 13));
  }
  const SourceImage source{image.data(), kW, kH};
  const literal::Image plain{kW, kH, image.data()};
  const auto work = std::make_unique_for_overwrite<EngineWorkspace>();
  auto samples = std::make_unique_for_overwrite<SampleArray>();
  struct Centre {
    std::int32_t cx, cy;
  };
  for (const Centre c : {Centre{30, 23}, Centre{0, 0}, Centre{-8, 40}, Centre{70, -5}}) {
    for (std::int32_t r = 0; r <= 90; r += 7) {
      SCOPED_TRACE(testing::Message() << "centre (" << c.cx << ", " << c.cy << "), ring " << r);
      bool abandoned = false;
      const std::vector<float> expected = literal::RingMembers(plain, c.cx, c.cy, r, &abandoned);
      const std::int32_t n = GatherRingSamples(source, c.cx, c.cy, r, *samples);
      ASSERT_EQ(n, static_cast<std::int32_t>(expected.size()));
      for (std::int32_t i = 0; i < n; ++i) {
        ASSERT_EQ(Bits((*samples)[static_cast<std::size_t>(i)]),
                  Bits(expected[static_cast<std::size_t>(i)]))
            << i;
      }
      EXPECT_EQ(RingMemberCount(source, c.cx, c.cy, r), n);
      const float median = literal::RingMedian(plain, c.cx, c.cy, r);
      EXPECT_EQ(Bits(RingMedian(source, c.cx, c.cy, r, *work)), Bits(median));
      // Blanks a caller leaves among the samples do not count.
      (*samples)[static_cast<std::size_t>(n)] = kNaN;
      EXPECT_EQ(Bits(MedianOfGathered(*samples, n + 1, *work)), Bits(median));
    }
  }
  // An abandoned ring, and a count below 1, have the median 0.
  samples->fill(2.0f);
  EXPECT_EQ(Bits(MedianOfGathered(*samples, MaxRingSamples, *work)), Bits(0.0f));
  EXPECT_EQ(MedianOfGathered(*samples, MaxRingSamples - 1, *work), 2.0f);
  EXPECT_EQ(Bits(MedianOfGathered(*samples, 0, *work)), Bits(0.0f));
  EXPECT_EQ(Bits(MedianOfGathered(*samples, -4, *work)), Bits(0.0f));
}

}  // namespace

// Ring median sampling: the members of ring r are the in-image positions whose
// distance from the centre rounds to r, i.e. r(r-1) < dx^2 + dy^2 <= r(r+1).
// They are gathered row by row, rows ascending and columns ascending within a
// row, and their median is returned.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <tuple>

#include "coma_core.h"
#include "exact_sqrt.h"

namespace {

constexpr std::int32_t kLastIndex = static_cast<std::int32_t>(SampleArray{}.size()) - 1;

bool Readable(const SourceImage& source) {
  return source.samples != nullptr && source.width > 0 && source.height > 0;
}

// The mean of two samples: sum formed in double, halved, rounded once.
float MeanOfPair(float a, float b) {
  return static_cast<float>((static_cast<double>(a) + static_cast<double>(b)) / 2.0);
}

// The smallest and largest |d| of the positions 0 .. size-1 from the
// centre coordinate c, the first 0 when c lies among them.
struct Reach {
  std::int64_t nearest;
  std::int64_t farthest;
};
Reach ReachOf(std::int64_t c, std::int64_t size) {
  const std::int64_t last = size - 1;
  const std::int64_t nearest = c < 0 ? -c : (c > last ? c - last : 0);
  return {nearest, std::max(c < 0 ? -c : c, c < last ? last - c : c - last)};
}

// Calls take(first, count) for each run of consecutive ring positions in one
// row, in gathering order: rows ascending, and within a row the columns
// ascending. Stops when take returns false. All coordinates are 64-bit, so any
// int32 centre and radius are safe.
//
// Only rows that can reach the frame are visited: a row at dy holds members
// only if some frame column lies between the ring's inner and outer bound,
// i.e. inner - farX^2 < dy^2 <= outer - nearX^2. Those rows form one band
// through the centre row or two bands either side of it, clipped to the
// frame's rows; a ring beyond the frame's farthest corner visits none.
template <class Take>
void ForEachRingRun(const SourceImage& source, std::int32_t cx, std::int32_t cy, std::int32_t r,
                    Take take) {
  if (r < 0 || !Readable(source)) return;
  const std::int64_t x0 = cx;
  const std::int64_t y0 = cy;
  const std::int64_t rr = r;
  const std::int64_t width = source.width;
  const std::int64_t height = source.height;
  const std::int64_t outer = rr * (rr + 1);
  // Ring 0 is the centre alone: its distance rounds to 0 with no lower bound.
  const std::int64_t inner = r == 0 ? -1 : rr * (rr - 1);

  const Reach columns = ReachOf(x0, width);
  if (columns.nearest > rr) return;  // every member has |dx| <= r
  // Inner bounds are below r, so a reach of r or more is as good as r; the
  // clamp keeps the square in range.
  const std::int64_t farX = std::min(columns.farthest, rr);
  const std::int64_t lastDy = FloorSqrt(outer - columns.nearest * columns.nearest);
  const std::int64_t belowFirst = inner - farX * farX;
  const std::int64_t firstDy = belowFirst < 0 ? 0 : FloorSqrt(belowFirst) + 1;
  if (firstDy > lastDy) return;
  const std::int64_t bands[2][2] = {{y0 - lastDy, firstDy == 0 ? y0 + lastDy : y0 - firstDy},
                                    {y0 + firstDy, y0 + lastDy}};
  const int bandCount = firstDy == 0 ? 1 : 2;

  for (int band = 0; band < bandCount; ++band) {
    const std::int64_t firstRow = std::max<std::int64_t>(bands[band][0], 0);
    const std::int64_t lastRow = std::min<std::int64_t>(bands[band][1], height - 1);
    std::int64_t a = -1;  // largest |dx| with dx^2 + dy^2 <= outer
    std::int64_t b = -1;  // largest |dx| with dx^2 + dy^2 <= inner (-1: none)
    for (std::int64_t row = firstRow; row <= lastRow; ++row) {
      const std::int64_t dy = row - y0;
      const std::int64_t dy2 = dy * dy;
      if (row == firstRow) {
        a = FloorSqrt(outer - dy2);
        b = FloorSqrt(inner - dy2);
      } else {
        a = AdjustFloorSqrt(a, outer - dy2);
        b = AdjustFloorSqrt(b, inner - dy2);
      }
      // The rows of a large ring lie far apart in memory; asking for the ends
      // of the row two ahead hides most of the wait for them.
      {
        const std::int64_t ahead = std::min<std::int64_t>(row + 2, lastRow);
        const float* aheadLine =
            source.samples + static_cast<std::size_t>(ahead) * static_cast<std::size_t>(width);
        __builtin_prefetch(aheadLine + std::clamp<std::int64_t>(x0 - a, 0, width - 1));
        __builtin_prefetch(aheadLine + std::clamp<std::int64_t>(x0 + a, 0, width - 1));
      }
      if (a < 0 || b >= a) continue;
      const float* line =
          source.samples + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
      // The row's members are dx in [-a, -b-1] and [b+1, a]; one run when b < 0.
      const std::int64_t runs[2][2] = {{x0 - a, b < 0 ? x0 + a : x0 - b - 1}, {x0 + b + 1, x0 + a}};
      const int runCount = b < 0 ? 1 : 2;
      for (int k = 0; k < runCount; ++k) {
        const std::int64_t c0 = std::max<std::int64_t>(runs[k][0], 0);
        const std::int64_t c1 = std::min<std::int64_t>(runs[k][1], width - 1);
        if (c0 > c1) continue;
        if (!take(line + c0, static_cast<std::size_t>(c1 - c0 + 1))) return;
      }
    }
  }
}

// The order of floats as unsigned integers: non-NaN values compare like
// their keys, -0 just below +0.
inline std::uint32_t OrderKey(float v) {
  const auto bits = std::bit_cast<std::uint32_t>(v);
  return (bits & 0x80000000u) != 0 ? ~bits : bits | 0x80000000u;
}

inline float FromOrderKey(std::uint32_t key) {
  return std::bit_cast<float>((key & 0x80000000u) != 0 ? key & 0x7FFFFFFFu : ~key);
}

// Bits of the order key that one radix-selection pass tells apart.
constexpr int kBucketBits = 11;
static_assert(std::tuple_size_v<decltype(EngineWorkspace::bucketCounts)> == std::size_t{1}
                                                                                << kBucketBits);

// Below this size a comparison selection is cheaper than a counting pass.
constexpr std::int32_t kSmallSelection = 384;

// The median of samples[0 .. n-1] (n >= 1, no NaN, not both signed zeros),
// whose smallest and largest values are lo and hi, in linear time: the middle
// value for odd n, the mean of the two middle values for even n. Without
// mixed zeros, equal samples are identical to the bit, so the result only
// depends on which values were gathered, not on their order.
//
// The middle ranks are narrowed by counting the samples per bucket of their
// order keys (the key range split into at most 2048 buckets) and keeping only
// the bucket that holds them, until few samples or one value remain. Middle
// ranks that fall into two buckets are the largest of the one and the
// smallest of the other.
float SelectMedian(SampleArray& samples, std::int32_t n, float lo, float hi,
                   EngineWorkspace& work) {
  float* data = samples.data();
  auto& BucketCounts = work.bucketCounts;
  std::int32_t count = n;
  std::int32_t upperRank = n / 2;
  std::int32_t lowerRank = n % 2 == 1 ? upperRank : upperRank - 1;
  std::uint32_t keyMin = OrderKey(lo);
  std::uint32_t keyMax = OrderKey(hi);
  float lower = 0.0f;
  float upper = 0.0f;
  for (;;) {
    if (keyMin == keyMax) {
      lower = upper = FromOrderKey(keyMin);
      break;
    }
    if (count <= kSmallSelection) {
      std::nth_element(data, data + upperRank, data + count);
      upper = data[upperRank];
      lower = lowerRank == upperRank ? upper : *std::max_element(data, data + upperRank);
      break;
    }
    const std::uint32_t span = keyMax - keyMin;
    const int width = static_cast<int>(std::bit_width(span));
    const int shift = width > kBucketBits ? width - kBucketBits : 0;
    const auto buckets = static_cast<std::size_t>(span >> shift) + 1;
    std::fill_n(BucketCounts.begin(), buckets, 0);
    for (std::int32_t i = 0; i < count; ++i) ++BucketCounts[(OrderKey(data[i]) - keyMin) >> shift];

    // The buckets holding the two middle ranks, and how many samples lie below.
    std::size_t lowerBucket = 0;
    std::int32_t below = 0;
    while (below + BucketCounts[lowerBucket] <= lowerRank) below += BucketCounts[lowerBucket++];
    std::size_t upperBucket = lowerBucket;
    std::int32_t belowUpper = below;
    while (belowUpper + BucketCounts[upperBucket] <= upperRank) {
      belowUpper += BucketCounts[upperBucket++];
    }
    if (lowerBucket != upperBucket) {
      // Adjacent ranks in two buckets: the largest sample of the first and
      // the smallest of the second.
      lower = -std::numeric_limits<float>::infinity();
      upper = std::numeric_limits<float>::infinity();
      for (std::int32_t i = 0; i < count; ++i) {
        const float v = data[i];
        const std::size_t bucket = (OrderKey(v) - keyMin) >> shift;
        if (bucket == lowerBucket && v > lower) lower = v;
        if (bucket == upperBucket && v < upper) upper = v;
      }
      break;
    }
    if (shift == 0) {  // one key per bucket: the bucket is the value
      lower = upper = FromOrderKey(keyMin + static_cast<std::uint32_t>(lowerBucket));
      break;
    }
    // Keep only the samples of that bucket, at the front of the buffer; its
    // key range is at most a 1024th of the current one.
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < count; ++i) {
      const float v = data[i];
      data[kept] = v;
      kept += ((OrderKey(v) - keyMin) >> shift) == lowerBucket ? 1 : 0;
    }
    count = kept;
    lowerRank -= below;
    upperRank -= below;
    const std::uint64_t newMin =
        std::uint64_t{keyMin} + (static_cast<std::uint64_t>(lowerBucket) << shift);
    const std::uint64_t newMax =
        std::uint64_t{keyMin} + (static_cast<std::uint64_t>(lowerBucket + 1) << shift) - 1;
    keyMin = static_cast<std::uint32_t>(newMin);
    keyMax = static_cast<std::uint32_t>(std::min<std::uint64_t>(newMax, keyMax));
  }
  return n % 2 == 1 ? upper : MeanOfPair(lower, upper);
}

// What the gathering learns about the samples besides their number: the
// range, and whether both signed zeros occur.
struct Gathered {
  std::int32_t n = 0;
  float lo = std::numeric_limits<float>::infinity();
  float hi = -std::numeric_limits<float>::infinity();
  bool positiveZero = false;
  bool negativeZero = false;

  // Stores v at samples[n]; n only advances past a sample that is not NaN, so
  // a blank pixel is overwritten by the next one.
  void Store(SampleArray& samples, float v) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    positiveZero |= bits == 0x00000000u;
    negativeZero |= bits == 0x80000000u;
    lo = v < lo ? v : lo;
    hi = v > hi ? v : hi;
    samples[static_cast<std::size_t>(n)] = v;
    n += std::isnan(v) ? 0 : 1;
  }
};

Gathered GatherRing(const SourceImage& source, std::int32_t cx, std::int32_t cy, std::int32_t r,
                    SampleArray& samples) {
  Gathered g;
  ForEachRingRun(source, cx, cy, r, [&](const float* run, std::size_t length) {
    if (static_cast<std::size_t>(g.n) + length < static_cast<std::size_t>(MaxRingSamples)) {
      for (std::size_t i = 0; i < length; ++i) g.Store(samples, run[i]);
      return true;
    }
    // This run may reach the limit: stop at the 40,000th member.
    for (std::size_t i = 0; i < length; ++i) {
      g.Store(samples, run[i]);
      if (g.n == MaxRingSamples) return false;
    }
    return true;
  });
  return g;
}

float MedianOf(SampleArray& samples, const Gathered& g, EngineWorkspace& work) {
  if (g.n <= 0 || g.n >= MaxRingSamples) return 0.0f;
  // The median depends only on the values gathered, except that +0 and -0
  // compare equal: which of them ends up in the middle depends on the
  // quicksort's exchanges, so only such a ring needs the full sort.
  if (g.positiveZero && g.negativeZero) {
    SortSamples(samples, 0, g.n - 1, work);
    return MedianOfSorted(samples, g.n);
  }
  return SelectMedian(samples, g.n, g.lo, g.hi, work);
}

}  // namespace

void SortSamples(SampleArray& samples, std::int32_t lo, std::int32_t hi, EngineWorkspace& work) {
  // Indices outside the array are not touched.
  lo = std::max<std::int32_t>(lo, 0);
  hi = std::min<std::int32_t>(hi, kLastIndex);
  if (hi <= lo) return;  // a single entry would only be exchanged with itself
  // The quicksort partitions ranges in the same order as its recursive form
  // (a range, then all of its left part, then its right part); the right
  // parts wait on a fixed stack so that no input can exhaust the call stack.
  auto& pendingRanges = work.pendingRanges;
  std::size_t pending = 0;
  for (;;) {
    std::int32_t i = lo;
    std::int32_t j = hi;
    const float p = samples[static_cast<std::size_t>((lo + hi) / 2)];
    // Strict comparisons: entries equal to the pivot stop both scans, so
    // equal runs split near the middle. A NaN compares false and stops a
    // scan too, so no scan leaves the range.
    do {
      while (samples[static_cast<std::size_t>(i)] < p) ++i;
      while (samples[static_cast<std::size_t>(j)] > p) --j;
      if (i <= j) {
        std::swap(samples[static_cast<std::size_t>(i)], samples[static_cast<std::size_t>(j)]);
        ++i;
        --j;
      }
    } while (i <= j);
    if (i < hi) pendingRanges[pending++] = {i, hi};
    if (j > lo) {
      hi = j;
      continue;
    }
    if (pending == 0) return;
    --pending;
    lo = pendingRanges[pending].lo;
    hi = pendingRanges[pending].hi;
  }
}

float MedianOfSorted(const SampleArray& samples, std::int32_t n) {
  if (n <= 0) return 0.0f;
  n = std::min<std::int32_t>(n, kLastIndex + 1);
  if (n == 1) return samples[0];
  const auto mid = static_cast<std::size_t>(n / 2);
  if (n % 2 == 1) return samples[mid];
  return MeanOfPair(samples[mid - 1], samples[mid]);
}

std::int32_t GatherRingSamples(const SourceImage& source, std::int32_t cx, std::int32_t cy,
                               std::int32_t r, SampleArray& samples) {
  return GatherRing(source, cx, cy, r, samples).n;
}

std::int32_t RingMemberCount(const SourceImage& source, std::int32_t cx, std::int32_t cy,
                             std::int32_t r) {
  std::int32_t n = 0;
  ForEachRingRun(source, cx, cy, r, [&](const float* run, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
      if (std::isnan(run[i])) continue;
      if (++n == MaxRingSamples) return false;
    }
    return true;
  });
  return n;
}

float MedianOfGathered(SampleArray& samples, std::int32_t n, EngineWorkspace& work) {
  if (n >= MaxRingSamples) return 0.0f;
  // Storing each sample again in place recovers what the gathering noted and
  // drops NaN, which the selection must not see.
  Gathered g;
  for (std::int32_t i = 0; i < n; ++i) g.Store(samples, samples[static_cast<std::size_t>(i)]);
  return MedianOf(samples, g, work);
}

float RingMedian(const SourceImage& source, std::int32_t cx, std::int32_t cy, std::int32_t r,
                 EngineWorkspace& work, std::int32_t* members) {
  const Gathered g = GatherRing(source, cx, cy, r, work.ringSamples);
  if (members != nullptr) *members = g.n;
  return MedianOf(work.ringSamples, g, work);
}

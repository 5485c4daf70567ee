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

#include "coma_engine.h"
#include "exact_sqrt.h"

namespace {

// The ring sample buffer. Module-level rather than on the caller's stack:
// the host's UI thread may have a small stack, and commands are not
// re-entrant.
SampleArray RingSamples{};

// Ranges still to be sorted, right halves waiting for their left halves.
// They are disjoint and hold at least two entries each, so half the buffer
// size bounds their number.
struct SortRange {
  std::int32_t lo;
  std::int32_t hi;
};
std::array<SortRange, SampleArray{}.size() / 2 + 1> PendingRanges{};

constexpr std::int32_t kLastIndex = static_cast<std::int32_t>(SampleArray{}.size()) - 1;

bool ImageReadable() { return SourceCopy != nullptr && ImageWidth > 0 && ImageHeight > 0; }

// The mean of two samples: sum formed in double, halved, rounded once.
float MeanOfPair(float a, float b) {
  return static_cast<float>((static_cast<double>(a) + static_cast<double>(b)) / 2.0);
}

// Calls take(sample) for each ring member of (cx, cy, r) in gathering order,
// NaN samples (blank pixels) excluded as if outside the image. Stops when
// take returns false. All coordinates are 64-bit, so any int32 centre and
// radius are safe.
template <class Take>
void ForEachRingMember(std::int32_t cx, std::int32_t cy, std::int32_t r, Take take) {
  if (r < 0 || !ImageReadable()) return;
  const std::int64_t x0 = cx;
  const std::int64_t y0 = cy;
  const std::int64_t rr = r;
  const std::int64_t width = ImageWidth;
  const std::int64_t outer = rr * (rr + 1);
  // Ring 0 is the centre alone: its distance rounds to 0 with no lower bound.
  const std::int64_t inner = r == 0 ? -1 : rr * (rr - 1);

  const std::int64_t firstRow = std::max<std::int64_t>(y0 - rr, 0);
  const std::int64_t lastRow = std::min<std::int64_t>(y0 + rr, ImageHeight - 1);
  std::int64_t a = -1;  // largest |dx| with dx^2 + dy^2 <= outer
  std::int64_t b = -1;  // largest |dx| with dx^2 + dy^2 <= inner (-1: none)
  bool first = true;
  for (std::int64_t row = firstRow; row <= lastRow; ++row) {
    const std::int64_t dy = row - y0;
    const std::int64_t dy2 = dy * dy;
    if (first) {
      a = FloorSqrt(outer - dy2);
      b = FloorSqrt(inner - dy2);
      first = false;
    } else {
      a = AdjustFloorSqrt(a, outer - dy2);
      b = AdjustFloorSqrt(b, inner - dy2);
    }
    if (a < 0 || b >= a) continue;
    const float* line =
        SourceCopy + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
    // The row's members are dx in [-a, -b-1] and [b+1, a]; one run when b < 0.
    std::int64_t runs[2][2];
    int runCount = 0;
    if (b < 0) {
      runs[runCount][0] = x0 - a;
      runs[runCount++][1] = x0 + a;
    } else {
      runs[runCount][0] = x0 - a;
      runs[runCount++][1] = x0 - b - 1;
      runs[runCount][0] = x0 + b + 1;
      runs[runCount++][1] = x0 + a;
    }
    for (int k = 0; k < runCount; ++k) {
      const std::int64_t c0 = std::max<std::int64_t>(runs[k][0], 0);
      const std::int64_t c1 = std::min<std::int64_t>(runs[k][1], width - 1);
      for (std::int64_t col = c0; col <= c1; ++col) {
        const float v = line[col];
        if (std::isnan(v)) continue;
        if (!take(v)) return;
      }
    }
  }
}

// The median of samples[0 .. n-1] in linear time, for a ring without both
// signed zeros: the middle value, or the mean of the two middle values.
float SelectMedian(SampleArray& samples, std::int32_t n) {
  float* first = samples.data();
  const std::int32_t mid = n / 2;
  std::nth_element(first, first + mid, first + n);
  const float upper = first[mid];
  if (n % 2 == 1) return upper;
  const float lower = *std::max_element(first, first + mid);
  return MeanOfPair(lower, upper);
}

}  // namespace

float ReadSourcePixel(std::int32_t x, std::int32_t y) {
  if (!ImageReadable()) return 0.0f;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  if (x >= ImageWidth) x = ImageWidth - 1;
  if (y >= ImageHeight) y = ImageHeight - 1;
  return SourceCopy[static_cast<std::size_t>(x) +
                    static_cast<std::size_t>(y) * static_cast<std::size_t>(ImageWidth)];
}

void SortSamples(SampleArray& samples, std::int32_t lo, std::int32_t hi) {
  // Indices outside the array are not touched.
  lo = std::max<std::int32_t>(lo, 0);
  hi = std::min<std::int32_t>(hi, kLastIndex);
  if (hi <= lo) return;  // a single entry would only be exchanged with itself
  // The quicksort partitions ranges in the same order as its recursive form
  // (a range, then all of its left part, then its right part); the right
  // parts wait on a fixed stack so that no input can exhaust the call stack.
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
    if (i < hi) PendingRanges[pending++] = {i, hi};
    if (j > lo) {
      hi = j;
      continue;
    }
    if (pending == 0) return;
    --pending;
    lo = PendingRanges[pending].lo;
    hi = PendingRanges[pending].hi;
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

float RingMedian(std::int32_t cx, std::int32_t cy, std::int32_t r) {
  std::int32_t n = 0;
  bool positiveZero = false;
  bool negativeZero = false;
  bool abandoned = false;
  ForEachRingMember(cx, cy, r, [&](float v) {
    const auto bits = std::bit_cast<std::uint32_t>(v);
    positiveZero |= bits == 0x00000000u;
    negativeZero |= bits == 0x80000000u;
    RingSamples[static_cast<std::size_t>(n)] = v;
    if (++n == MaxRingSamples) {
      abandoned = true;
      return false;
    }
    return true;
  });
  if (abandoned || n == 0) return 0.0f;
  // The median depends only on the values gathered, except that +0 and -0
  // compare equal: which of them ends up in the middle depends on the
  // quicksort's exchanges. Only such a ring needs the full sort.
  if (positiveZero && negativeZero) {
    SortSamples(RingSamples, 0, n - 1);
    return MedianOfSorted(RingSamples, n);
  }
  return SelectMedian(RingSamples, n);
}

std::int32_t RingMemberCount(std::int32_t cx, std::int32_t cy, std::int32_t r) {
  std::int32_t n = 0;
  ForEachRingMember(cx, cy, r, [&](float) { return ++n < MaxRingSamples; });
  return n;
}

#include "literal_model.h"

#include <cmath>
#include <cstddef>
#include <utility>

namespace literal {
namespace {

constexpr std::int32_t kMaxRingSamples = 40000;
constexpr std::int32_t kMaxRadius = 39999;

bool Inside(const Image& image, std::int64_t col, std::int64_t row) {
  return col >= 0 && row >= 0 && col < image.width && row < image.height;
}

float Sample(const Image& image, std::int64_t col, std::int64_t row) {
  return image.samples[static_cast<std::size_t>(col) +
                       static_cast<std::size_t>(row) * static_cast<std::size_t>(image.width)];
}

// x rounded to the nearest integer, ties to even (the default rounding of
// adding and removing 1.5 * 2^52), for |x| < 2^51. Inline, unlike a library
// call, so that timings of this reference are not dominated by it.
double RoundToInteger(double x) {
  constexpr double kShift = 0x1.8p52;
  return (x + kShift) - kShift;  // not folded: no fast-math
}

}  // namespace

void Quicksort(float* a, std::int32_t lo, std::int32_t hi) {
  if (hi < lo) return;
  std::int32_t i = lo;
  std::int32_t j = hi;
  const float p = a[(lo + hi) / 2];
  do {
    while (a[i] < p) ++i;
    while (a[j] > p) --j;
    if (i <= j) {
      std::swap(a[i], a[j]);
      ++i;
      --j;
    }
  } while (i <= j);
  if (j > lo) Quicksort(a, lo, j);
  if (i < hi) Quicksort(a, i, hi);
}

float Median(const float* a, std::int32_t n) {
  if (n <= 0) return 0.0f;
  if (n == 1) return a[0];
  if (n % 2 == 1) return a[n / 2];
  const double sum = static_cast<double>(a[n / 2 - 1]) + static_cast<double>(a[n / 2]);
  return static_cast<float>(sum / 2.0);
}

std::vector<float> RingMembers(const Image& image, std::int32_t cx, std::int32_t cy, std::int32_t r,
                               bool* abandoned) {
  std::vector<float> members;
  *abandoned = false;
  for (std::int64_t row = std::int64_t{cy} - r; row <= std::int64_t{cy} + r; ++row) {
    for (std::int64_t col = std::int64_t{cx} - r; col <= std::int64_t{cx} + r; ++col) {
      if (!Inside(image, col, row)) continue;
      const std::int64_t dx = col - cx;
      const std::int64_t dy = row - cy;
      const std::int64_t d2 = dx * dx + dy * dy;
      const double distance = RoundToInteger(std::sqrt(static_cast<double>(d2)));
      if (distance != static_cast<double>(r)) continue;
      const float v = Sample(image, col, row);
      if (std::isnan(v)) continue;
      members.push_back(v);
      if (static_cast<std::int32_t>(members.size()) == kMaxRingSamples) {
        *abandoned = true;
        return members;
      }
    }
  }
  return members;
}

float RingMedian(const Image& image, std::int32_t cx, std::int32_t cy, std::int32_t r) {
  bool abandoned = false;
  std::vector<float> buffer = RingMembers(image, cx, cy, r, &abandoned);
  if (abandoned) return 0.0f;
  const auto n = static_cast<std::int32_t>(buffer.size());
  Quicksort(buffer.data(), 0, n - 1);
  return Median(buffer.data(), n);
}

float Interpolate(const float* profile, float t) {
  const auto k = static_cast<std::int32_t>(RoundToInteger(static_cast<double>(t) - 0.5));
  const auto f = static_cast<float>(static_cast<double>(t) - k);
  const double value = (1.0 - static_cast<double>(f)) * static_cast<double>(profile[k]) +
                       static_cast<double>(f) * static_cast<double>(profile[k + 1]);
  return static_cast<float>(value);
}

bool Render(const Image& image, float* model, std::int32_t cx, std::int32_t cy, std::int32_t R,
            float peak, std::vector<float>* profile) {
  if (R > kMaxRadius) return false;
  auto write = [&](std::int64_t col, std::int64_t row, float value) {
    if (!Inside(image, col, row)) return;
    model[static_cast<std::size_t>(col) +
          static_cast<std::size_t>(row) * static_cast<std::size_t>(image.width)] = value;
  };
  profile->assign(static_cast<std::size_t>(R > 0 ? R + 2 : 0), 0.0f);
  if (R >= 1) {
    float* p = profile->data();
    for (std::int32_t r = 1; r <= R; ++r) p[r] = RingMedian(image, cx, cy, r);
    p[0] = p[1];
    p[R + 1] = p[R];
    for (std::int64_t row = std::int64_t{cy} - R; row <= std::int64_t{cy} + R; ++row) {
      for (std::int64_t col = std::int64_t{cx} - R; col <= std::int64_t{cx} + R; ++col) {
        if (!Inside(image, col, row)) continue;
        const std::int64_t dx = col - cx;
        const std::int64_t dy = row - cy;
        const auto t = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
        if (t < static_cast<float>(R)) write(col, row, Interpolate(p, t));
      }
    }
  }
  write(cx, cy, peak);
  return true;
}

}  // namespace literal

#include "radially_variable_filter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "enhance/huge_pages.h"
#include "enhance/row_bands.h"

namespace {

bool KernelValid(RvsfKernel kernel) {
  return std::isfinite(kernel.a) && std::isfinite(kernel.b) && std::isfinite(kernel.n) &&
         kernel.b >= 0 && kernel.n >= 0;
}

// The half side for a kernel size s: floor(s / 2), clamped.
std::int32_t HalfSideOfSize(double size, std::int32_t max_half_side) {
  const double half = std::floor(size / 2);
  if (!(half > 0)) return 0;
  if (half >= static_cast<double>(max_half_side)) return max_half_side;
  return static_cast<std::int32_t>(half);
}

// Squared distances at which the half side reaches 1, 2, ... max: entry k - 1
// is the smallest rho^2 with half side >= k (B * rho^N >= 2k - A). Empty for
// a kernel that does not grow. Comparing rho^2 with them needs no power or
// square root per pixel.
std::vector<double> HalfSideThresholds(RvsfKernel kernel, std::int32_t max_half_side) {
  std::vector<double> thresholds;
  if (kernel.b == 0 || kernel.n == 0) return thresholds;
  thresholds.resize(static_cast<std::size_t>(max_half_side));
  for (std::int32_t k = 1; k <= max_half_side; ++k) {
    const double need = 2.0 * k - kernel.a;
    thresholds[static_cast<std::size_t>(k - 1)] =
        need <= 0 ? -1.0 : std::pow(need / kernel.b, 2.0 / kernel.n);
  }
  return thresholds;
}

// Summed-area tables with a zero first row and column: entry (x + 1, y + 1)
// holds the sum (and the count) of the finite pixels in columns 0..x, rows 0..y.
struct SummedArea {
  std::size_t stride = 0;
  std::vector<double> sums;
  std::vector<std::uint32_t> counts;  // empty when every pixel is finite

  double Sum(std::size_t x0, std::size_t y0, std::size_t x1, std::size_t y1) const {
    return sums[y1 * stride + x1] - sums[y0 * stride + x1] - sums[y1 * stride + x0] +
           sums[y0 * stride + x0];
  }
  // Unsigned arithmetic wraps, and the true count is below 2^32.
  std::uint32_t Count(std::size_t x0, std::size_t y0, std::size_t x1, std::size_t y1) const {
    return counts[y1 * stride + x1] - counts[y0 * stride + x1] - counts[y1 * stride + x0] +
           counts[y0 * stride + x0];
  }
};

SummedArea BuildSummedArea(FrameView frame) {
  SummedArea table;
  const auto width = static_cast<std::size_t>(frame.width);
  const auto height = static_cast<std::size_t>(frame.height);
  table.stride = width + 1;
  // Infinite pixels are left out of the means like NaN ones.
  bool any_nan = false;
  for (std::size_t i = 0; i < frame.Count() && !any_nan; ++i) {
    any_nan = !std::isfinite(frame.pixels[i]);
  }
  table.sums = LargeVector<double>(table.stride * (height + 1));
  if (any_nan) table.counts = LargeVector<std::uint32_t>(table.stride * (height + 1));
  for (std::size_t y = 0; y < height; ++y) {
    const float* line = frame.pixels + y * width;
    const std::size_t above = y * table.stride;
    const std::size_t here = above + table.stride;
    double row_sum = 0;
    std::uint32_t row_count = 0;
    for (std::size_t x = 0; x < width; ++x) {
      const float v = line[x];
      const bool finite = std::isfinite(v);
      row_sum += finite ? static_cast<double>(v) : 0.0;
      table.sums[here + x + 1] = table.sums[above + x + 1] + row_sum;
      if (any_nan) {
        row_count += finite ? 1u : 0u;
        table.counts[here + x + 1] = table.counts[above + x + 1] + row_count;
      }
    }
  }
  return table;
}

}  // namespace

std::int32_t RvsfHalfSide(RvsfKernel kernel, double rho, std::int32_t max_half_side) {
  return HalfSideOfSize(kernel.a + kernel.b * std::pow(rho, kernel.n), max_half_side);
}

bool RadiallyVariableFilter(FrameView frame, ComaCentre centre, RvsfKernel kernel, float* out) {
  if (!frame.Valid() || out == nullptr || !KernelValid(kernel)) return false;
  if (!std::isfinite(centre.x) || !std::isfinite(centre.y)) return false;
  if (frame.Count() >= (std::size_t{1} << 32)) return false;
  const std::int32_t max_half = std::max(frame.width, frame.height) - 1;
  const std::vector<double> thresholds = HalfSideThresholds(kernel, max_half);
  // A kernel that does not grow has one size everywhere (rho^0 is 1).
  const std::int32_t fixed_half =
      HalfSideOfSize(kernel.a + (kernel.n == 0 ? kernel.b : 0.0), max_half);
  const SummedArea table = BuildSummedArea(frame);
  const bool any_nan = !table.counts.empty();
  const float nan = std::numeric_limits<float>::quiet_NaN();

  ForEachRowBand(frame.height, [&](std::int32_t first, std::int32_t end) {
    for (std::int32_t y = first; y < end; ++y) {
      const double dy = static_cast<double>(y) - centre.y;
      float* target = out + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width);
      // The half side moves by few steps between neighbours, so it is tracked
      // from the previous pixel instead of searched for.
      std::int32_t half = thresholds.empty() ? fixed_half : 0;
      for (std::int32_t x = 0; x < frame.width; ++x) {
        if (!thresholds.empty()) {
          const double dx = static_cast<double>(x) - centre.x;
          const double rho2 = dx * dx + dy * dy;
          while (half < max_half && thresholds[static_cast<std::size_t>(half)] <= rho2) ++half;
          while (half > 0 && thresholds[static_cast<std::size_t>(half - 1)] > rho2) --half;
        }
        // In 64 bits: x + half may pass the int32 range on a very wide frame.
        const std::int64_t reach = half;
        const auto x0 = static_cast<std::size_t>(std::max<std::int64_t>(x - reach, 0));
        const auto y0 = static_cast<std::size_t>(std::max<std::int64_t>(y - reach, 0));
        const auto x1 =
            static_cast<std::size_t>(std::min<std::int64_t>(x + reach, frame.width - 1)) + 1;
        const auto y1 =
            static_cast<std::size_t>(std::min<std::int64_t>(y + reach, frame.height - 1)) + 1;
        const double sum = table.Sum(x0, y0, x1, y1);
        const double count = any_nan ? static_cast<double>(table.Count(x0, y0, x1, y1))
                                     : static_cast<double>((x1 - x0) * (y1 - y0));
        const double value = frame.At(x, y);
        const double mean = sum / count;  // NaN for an empty box
        // ln(B / mean) rather than ln B - ln mean: the same value without the
        // cancellation of two nearly equal logarithms.
        target[x] = value > 0 && mean > 0 ? static_cast<float>(std::log(value / mean)) : nan;
      }
    }
  });
  return true;
}

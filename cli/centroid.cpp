#include "centroid.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kConverged = 0.01;
constexpr std::int32_t kMaxRounds = 100;

float Sample(const RawImage& image, std::int64_t x, std::int64_t y) {
  return image.samples[static_cast<std::size_t>(x + y * std::int64_t{image.width})];
}

bool Inside(const RawImage& image, std::int64_t x, std::int64_t y) {
  return x >= 0 && y >= 0 && x < image.width && y < image.height;
}

// Median of the finite samples on the frame one pixel outside the box of
// half-side `half` around pixel (x, y); NaN when none is in the image.
double FrameMedian(const RawImage& image, std::int64_t x, std::int64_t y, std::int64_t half) {
  std::vector<float> values;
  const std::int64_t h = half + 1;
  for (std::int64_t dy = -h; dy <= h; ++dy) {
    for (std::int64_t dx = -h; dx <= h; ++dx) {
      if (std::max(std::abs(dx), std::abs(dy)) != h || !Inside(image, x + dx, y + dy)) continue;
      const float v = Sample(image, x + dx, y + dy);
      if (std::isfinite(v)) values.push_back(v);
    }
  }
  if (values.empty()) return std::nan("");
  const std::size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
  double median = values[mid];
  if (values.size() % 2 == 0) {
    const float below =
        *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid));
    median = (median + static_cast<double>(below)) / 2;
  }
  return median;
}

}  // namespace

std::optional<Centroid> RefineCentroid(const RawImage& image, std::int32_t x, std::int32_t y,
                                       std::int32_t side) {
  const std::int64_t half = side / 2;
  Centroid result;
  bool found = false;
  float brightest = 0;
  for (std::int64_t py = std::int64_t{y} - half; py <= std::int64_t{y} + half; ++py) {
    for (std::int64_t px = std::int64_t{x} - half; px <= std::int64_t{x} + half; ++px) {
      if (!Inside(image, px, py)) continue;
      const float v = Sample(image, px, py);
      if (std::isfinite(v) && (!found || v > brightest)) {
        found = true;
        brightest = v;
        result.peak_x = static_cast<std::int32_t>(px);
        result.peak_y = static_cast<std::int32_t>(py);
      }
    }
  }
  if (!found) return std::nullopt;

  double cx = result.peak_x;
  double cy = result.peak_y;
  // A Gaussian window a sixth of the box wide: the centroid settles on the
  // nucleus instead of being drawn towards jets and the brighter side of an
  // asymmetric coma, as a plain box centroid is.
  const double sigma = static_cast<double>(side) / 6;
  const double inverse_two_sigma2 = 1 / (2 * sigma * sigma);
  for (std::int32_t round = 1; round <= kMaxRounds; ++round) {
    const auto ix = static_cast<std::int64_t>(std::floor(cx + 0.5));
    const auto iy = static_cast<std::int64_t>(std::floor(cy + 0.5));
    const double background = FrameMedian(image, ix, iy, half);
    double sum = 0, sx = 0, sy = 0;
    for (std::int64_t py = iy - half; py <= iy + half; ++py) {
      for (std::int64_t px = ix - half; px <= ix + half; ++px) {
        if (!Inside(image, px, py)) continue;
        const float v = Sample(image, px, py);
        if (!std::isfinite(v)) continue;
        const double above = std::isnan(background) ? v : v - background;
        if (above <= 0) continue;
        const double dx = static_cast<double>(px) - cx, dy = static_cast<double>(py) - cy;
        const double w = std::exp(-(dx * dx + dy * dy) * inverse_two_sigma2) * above;
        sum += w;
        sx += w * static_cast<double>(px);
        sy += w * static_cast<double>(py);
      }
    }
    if (!(sum > 0)) return round == 1 ? std::nullopt : std::optional<Centroid>(result);
    const double nx = sx / sum;
    const double ny = sy / sum;
    const double moved = std::hypot(nx - cx, ny - cy);
    cx = nx;
    cy = ny;
    result.x = cx;
    result.y = cy;
    result.iterations = round;
    if (moved < kConverged) break;
  }
  return result;
}

// Model rendering: the radial profile from the ring medians, and the disc of
// radius R painted from it by linear interpolation.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "coma_core.h"
#include "exact_sqrt.h"

namespace {

// InterpolateProfile for 0 <= t <= MaxModelRadius.
inline float Interpolate(const SampleArray& profile, float t) {
  // k is t - 0.5 rounded to nearest, ties to even: the integer part of t,
  // except that an odd integer t = m gives m - 1. Worked out in integers so
  // that it does not depend on the thread's rounding mode.
  auto k = static_cast<std::int32_t>(t);
  if (static_cast<float>(k) == t && (k & 1) != 0) --k;
  const float f = t - static_cast<float>(k);  // exact: fractional part, 0 or 1
  const double w = static_cast<double>(f);
  const auto i = static_cast<std::size_t>(k);
  return static_cast<float>((1.0 - w) * static_cast<double>(profile[i]) +
                            w * static_cast<double>(profile[i + 1]));
}

// The distance of an exact squared distance, rounded once from double to
// single precision: the t that both the rim test and the interpolation use.
inline float Distance(std::int64_t d2) {
  return static_cast<float>(std::sqrt(static_cast<double>(d2)));
}

// Writes value at (x, y) of the width x height model when that lies inside.
void WritePixel(float* model, std::int32_t width, std::int32_t height, std::int32_t x,
                std::int32_t y, float value) {
  if (model == nullptr) return;
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  model[static_cast<std::size_t>(x) +
        static_cast<std::size_t>(y) * static_cast<std::size_t>(width)] = value;
}

// Paints every in-frame pixel with t < R from the profile. Because t is
// single precision, t < R is not d^2 < R^2 for R > 4096; the largest d^2
// whose t passes the test bounds every row exactly. Only the |dy| with a row
// inside the frame are visited. rowValues holds the model values of one row
// of the disc by |dx|, shared by the rows cy - dy and cy + dy and by both
// sides of the centre (they depend on dx^2 + dy^2 only); |dx| < R.
void FillDisc(float* model, std::int32_t imageWidth, std::int32_t imageHeight, std::int32_t cx,
              std::int32_t cy, std::int32_t R, const SampleArray& profile, SampleArray& rowValues) {
  if (model == nullptr || imageWidth <= 0 || imageHeight <= 0 || R <= 0) return;
  const auto rf = static_cast<float>(R);
  std::int64_t rim = static_cast<std::int64_t>(R) * R - 1;
  while (rim >= 0 && !(Distance(rim) < rf)) --rim;

  const std::int64_t x0 = cx;
  const std::int64_t y0 = cy;
  const std::int64_t width = imageWidth;
  const std::int64_t height = imageHeight;
  // The rows above the centre are in the frame for dy in [y0 - height + 1,
  // y0], those below for dy in [-y0, height - 1 - y0] (dy > 0): with the
  // centre row in the frame both start at 0, otherwise one side is empty, so
  // together they are one range of dy.
  const bool aboveAny = y0 >= 0;
  const bool belowAny = y0 < height - 1;
  if (!aboveAny && !belowAny) return;
  const std::int64_t firstDy =
      aboveAny ? std::max<std::int64_t>(y0 - height + 1, 0) : std::max<std::int64_t>(-y0, 1);
  const std::int64_t lastDy =
      std::min<std::int64_t>(std::max(aboveAny ? y0 : -1, belowAny ? height - 1 - y0 : -1), R);
  if (firstDy > lastDy) return;
  std::int64_t a = FloorSqrt(rim - firstDy * firstDy);
  for (std::int64_t dy = firstDy; dy <= lastDy; ++dy) {
    const std::int64_t dy2 = dy * dy;
    a = AdjustFloorSqrt(a, rim - dy2);
    if (a < 0) break;
    const std::int64_t above = y0 - dy;
    const std::int64_t below = y0 + dy;
    const bool aboveIn = above >= 0 && above < height;
    const bool belowIn = dy != 0 && below >= 0 && below < height;
    if (!aboveIn && !belowIn) continue;
    const std::int64_t c0 = std::max<std::int64_t>(x0 - a, 0);
    const std::int64_t c1 = std::min<std::int64_t>(x0 + a, width - 1);
    if (c0 > c1) continue;
    const std::int64_t nearest =
        (c0 <= x0 && x0 <= c1) ? 0 : std::min(std::abs(c0 - x0), std::abs(c1 - x0));
    const std::int64_t farthest = std::max(std::abs(c0 - x0), std::abs(c1 - x0));
    for (std::int64_t m = nearest; m <= farthest; ++m) {
      rowValues[static_cast<std::size_t>(m)] = Interpolate(profile, Distance(m * m + dy2));
    }
    const std::int64_t rows[2] = {above, below};
    const bool rowsIn[2] = {aboveIn, belowIn};
    for (int k = 0; k < 2; ++k) {
      if (!rowsIn[k]) continue;
      float* line = model + static_cast<std::size_t>(rows[k]) * static_cast<std::size_t>(width);
      for (std::int64_t col = c0; col <= c1; ++col) {
        line[col] = rowValues[static_cast<std::size_t>(std::abs(col - x0))];
      }
    }
  }
}

}  // namespace

float InterpolateProfile(const SampleArray& profile, float t) {
  // Outside 0 <= t <= MaxModelRadius (or NaN) t is clamped, so that no entry
  // beyond the array is read; within it the result is unchanged.
  if (!(t > 0.0f)) t = 0.0f;
  if (t > static_cast<float>(MaxModelRadius)) t = static_cast<float>(MaxModelRadius);
  return Interpolate(profile, t);
}

bool RenderComaModel(const SourceImage& source, float* model, std::int32_t cx, std::int32_t cy,
                     std::int32_t R, float peak, EngineWorkspace& work,
                     std::span<std::int32_t> ringMembers) {
  if (!RadiusFitsProfile(R)) return false;
  SampleArray& profile = work.profile;
  if (R >= 1) {
    for (std::int32_t r = 1; r <= R; ++r) {
      std::int32_t members = 0;
      profile[static_cast<std::size_t>(r)] = RingMedian(source, cx, cy, r, work, &members);
      if (static_cast<std::size_t>(r) < ringMembers.size()) {
        ringMembers[static_cast<std::size_t>(r)] = members;
      }
    }
    profile[0] = profile[1];
    profile[static_cast<std::size_t>(R) + 1] = profile[static_cast<std::size_t>(R)];
    // The ring samples are no longer needed: they hold the rows' values.
    FillDisc(model, source.width, source.height, cx, cy, R, profile, work.ringSamples);
  }
  WritePixel(model, source.width, source.height, cx, cy, peak);
  return true;
}

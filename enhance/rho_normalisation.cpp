#include "rho_normalisation.h"

#include <algorithm>
#include <cmath>

#include "enhance/row_bands.h"

bool RhoNormalise(FrameView frame, ComaCentre centre, double rho_min, float* out) {
  if (!frame.Valid() || out == nullptr || !std::isfinite(rho_min) || rho_min < 0) return false;
  if (!std::isfinite(centre.x) || !std::isfinite(centre.y)) return false;
  ForEachRowBand(frame.height, [&](std::int32_t first, std::int32_t end) {
    for (std::int32_t y = first; y < end; ++y) {
      const double dy = static_cast<double>(y) - centre.y;
      const float* line =
          frame.pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width);
      float* target = out + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width);
      for (std::int32_t x = 0; x < frame.width; ++x) {
        const double dx = static_cast<double>(x) - centre.x;
        const double rho = std::max(std::sqrt(dx * dx + dy * dy), rho_min);
        target[x] = static_cast<float>(static_cast<double>(line[x]) * rho);
      }
    }
  });
  return true;
}

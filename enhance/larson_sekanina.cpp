#include "larson_sekanina.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "bilinear_sample.h"
#include "enhance/row_bands.h"

bool LarsonSekanina(FrameView frame, ComaCentre centre, double dtheta_degrees, double drho,
                    float* out) {
  if (!frame.Valid() || out == nullptr || !std::isfinite(centre.x) || !std::isfinite(centre.y)) {
    return false;
  }
  if (!std::isfinite(dtheta_degrees) || !std::isfinite(drho) || drho < 0) return false;
  const double angle = dtheta_degrees * std::numbers::pi / 180.0;
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  ForEachRowBand(frame.height, [&](std::int32_t first, std::int32_t end) {
    for (std::int32_t y = first; y < end; ++y) {
      const double dy = static_cast<double>(y) - centre.y;
      float* target = out + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width);
      for (std::int32_t x = 0; x < frame.width; ++x) {
        const double dx = static_cast<double>(x) - centre.x;
        // Rotating the offset by +-dtheta and scaling it to rho - drho gives
        // both shifted positions without a trigonometric call per pixel.
        double scale = 1;
        if (drho > 0) {
          const double rho = std::sqrt(dx * dx + dy * dy);
          if (rho < drho) {
            target[x] = nan;
            continue;
          }
          scale = (rho - drho) / rho;
        }
        const double rx = dx * c * scale;
        const double ry = dy * c * scale;
        const double sx = dx * s * scale;
        const double sy = dy * s * scale;
        const double plus = SampleBilinear(frame, centre.x + (rx - sy), centre.y + (sx + ry));
        const double minus = SampleBilinear(frame, centre.x + (rx + sy), centre.y + (ry - sx));
        target[x] = static_cast<float>(2.0 * static_cast<double>(frame.At(x, y)) - plus - minus);
      }
    }
  });
  return true;
}

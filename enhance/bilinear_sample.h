// Bilinear interpolation of a frame between pixel centres.
#pragma once

#include <cmath>
#include <limits>

#include "frame_view.h"

// The frame's value at (x, y), pixel centres at whole numbers, weighted from
// the four pixels around it. A pixel of weight 0 is not read, so positions on
// the last row or column and whole-number positions need no neighbour beyond
// them. NaN outside [0, width - 1] x [0, height - 1], and when a pixel that
// contributes is NaN.
inline double SampleBilinear(FrameView frame, double x, double y) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  // Also false for NaN positions.
  if (!(x >= 0 && y >= 0 && x <= frame.width - 1 && y <= frame.height - 1)) return kNaN;
  // Both are >= 0 here, so truncation is the floor, without a library call.
  const auto x0 = static_cast<std::int32_t>(x);
  const auto y0 = static_cast<std::int32_t>(y);
  const double wx = x - x0;  // weight of column x0 + 1, 0 on the last column
  const double wy = y - y0;
  double sum = (1 - wx) * (1 - wy) * frame.At(x0, y0);
  if (wx > 0) sum += wx * (1 - wy) * frame.At(x0 + 1, y0);
  if (wy > 0) {
    sum += (1 - wx) * wy * frame.At(x0, y0 + 1);
    if (wx > 0) sum += wx * wy * frame.At(x0 + 1, y0 + 1);
  }
  return sum;
}

// Exact integer square roots for the ring and disc bounds. A double square
// root alone is off by one for some large squares, so the estimate is
// corrected with integer arithmetic.
#pragma once

#include <cmath>
#include <cstdint>

// The largest s >= 0 with s * s <= x, for 0 <= x < 2^62; -1 for x < 0.
inline std::int64_t FloorSqrt(std::int64_t x) {
  if (x < 0) return -1;
  auto s = static_cast<std::int64_t>(std::sqrt(static_cast<double>(x)));
  while (s * s > x) --s;
  while ((s + 1) * (s + 1) <= x) ++s;
  return s;
}

// Moves s, a floor square root of a value that has changed a little, to
// FloorSqrt(x) with a few steps instead of a new square root.
inline std::int64_t AdjustFloorSqrt(std::int64_t s, std::int64_t x) {
  if (x < 0) return -1;
  if (s < 0) s = 0;
  while (s * s > x) --s;
  while ((s + 1) * (s + 1) <= x) ++s;
  return s;
}

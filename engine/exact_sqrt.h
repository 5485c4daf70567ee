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

// FloorSqrt(x) given s, the floor square root of a nearby value: a step of at
// most one is checked with integer products, anything else recomputed, so
// each call costs O(1) however far x has moved. x < 2^62.
inline std::int64_t AdjustFloorSqrt(std::int64_t s, std::int64_t x) {
  if (x < 0) return -1;
  if (s >= 0 && s * s <= x) {
    if ((s + 1) * (s + 1) > x) return s;
    if ((s + 2) * (s + 2) > x) return s + 1;
  } else if (s >= 1 && (s - 1) * (s - 1) <= x) {
    return s - 1;
  }
  return FloorSqrt(x);
}

// Rows of a frame shared among the machine's cores: the pixel-wise
// enhancements compute each output row from the input alone, so bands of
// rows can run at once without any locking.
#pragma once

#include <algorithm>
#include <cstdint>
#include <system_error>
#include <thread>
#include <vector>

// Calls body(first, end) for bands of rows that together cover [0, height)
// once each: one band per hardware thread, none smaller than kMinBandRows,
// the first on the calling thread. Returns when every band is done. A thread
// that cannot be started runs its band on the calling thread instead. body
// must not throw.
inline constexpr std::int32_t kMinBandRows = 64;

template <class Body>
void ForEachRowBand(std::int32_t height, const Body& body) {
  const auto cores =
      static_cast<std::int32_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
  const std::int32_t bands = std::clamp(height / kMinBandRows, 1, cores);
  const auto band_start = [&](std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(height) * b / bands);
  };
  std::vector<std::jthread> helpers;
  for (std::int32_t b = 1; b < bands; ++b) {
    const std::int32_t first = band_start(b);
    const std::int32_t end = band_start(b + 1);
    try {
      helpers.emplace_back([&body, first, end] { body(first, end); });
    } catch (const std::system_error&) {
      body(first, end);
    }
  }
  body(0, band_start(1));
}

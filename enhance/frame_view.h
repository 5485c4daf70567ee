// The inputs every coma enhancement shares: a frame of samples and the coma
// centre, which may lie between pixels.
#pragma once

#include <cstddef>
#include <cstdint>

// width x height single-precision samples, row-major: the sample of column x
// and row y is pixels[x + y * width]. NaN marks a blank pixel.
struct FrameView {
  const float* pixels = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;

  bool Valid() const { return pixels != nullptr && width > 0 && height > 0; }
  std::size_t Count() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  }
  float At(std::int32_t x, std::int32_t y) const {
    return pixels[static_cast<std::size_t>(x) +
                  static_cast<std::size_t>(y) * static_cast<std::size_t>(width)];
  }
};

// The coma centre in pixel coordinates: 0-based column and row, the centre of
// a pixel at whole numbers.
struct ComaCentre {
  double x = 0;
  double y = 0;
};

// Frames drawn in the tests: a function of the pixel position sampled at every
// pixel centre.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "enhance/frame_view.h"

struct SyntheticFrame {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<float> pixels;

  template <class Brightness>
  SyntheticFrame(std::int32_t w, std::int32_t h, Brightness brightness) : width(w), height(h) {
    pixels.reserve(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (std::int32_t y = 0; y < h; ++y) {
      for (std::int32_t x = 0; x < w; ++x) {
        pixels.push_back(
            static_cast<float>(brightness(static_cast<double>(x), static_cast<double>(y))));
      }
    }
  }
  FrameView View() const { return FrameView{pixels.data(), width, height}; }
  float& At(std::int32_t x, std::int32_t y) {
    return pixels[static_cast<std::size_t>(x) +
                  static_cast<std::size_t>(y) * static_cast<std::size_t>(width)];
  }
  std::vector<float> Output() const { return std::vector<float>(pixels.size(), -12345.0f); }
};

inline double Distance(double x, double y, ComaCentre c) { return std::hypot(x - c.x, y - c.y); }

// A coma falling as 1/rho, bounded at the centre.
inline auto InverseRhoComa(ComaCentre c, double scale) {
  return [c, scale](double x, double y) { return scale / std::max(Distance(x, y, c), 1.0); };
}

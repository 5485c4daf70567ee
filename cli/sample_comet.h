// A synthetic comet frame for demonstrations and tests: a 1/rho coma with two
// jets, a few stars, a sky gradient and noise. Only +, -, *, / and sqrt are
// used, on a private generator, so the same size and seed give the same
// samples on every IEEE 754 platform.
#pragma once

#include <cstdint>

#include "formats/raw_image.h"

struct SampleComet {
  RawImage image;
  std::int32_t center_x = 0;  // the coma's centre pixel, 0-based column
  std::int32_t center_y = 0;  // and row
};

SampleComet MakeSampleComet(std::int32_t width, std::int32_t height, std::uint64_t seed);

// Finding the nucleus near a point the user gives: the brightest pixel in a
// box around it, then the intensity-weighted centroid above the local
// background, iterated on a window that follows the centroid.
#pragma once

#include <cstdint>
#include <optional>

#include "formats/raw_image.h"

struct Centroid {
  std::int32_t peak_x = 0;  // the brightest finite pixel in the first box
  std::int32_t peak_y = 0;
  double x = 0;  // the sub-pixel centroid, 0-based (pixel centres at integers)
  double y = 0;
  std::int32_t iterations = 0;
};

// Box sides RefineCentroid accepts: odd, so that a box has a centre pixel.
inline constexpr std::int32_t kMinCentroidBox = 3;
inline constexpr std::int32_t kMaxCentroidBox = 201;

// Searches the box side x side centred on (x, y) (clipped to the image, NaN
// skipped) for its brightest pixel, then repeats from there: the background
// is the median of the pixels on a one-pixel frame around a box of the same
// side centred on the last estimate, and the centroid of (sample -
// background) in that box, negatives counted as 0 and weighted by a
// Gaussian window of sigma side / 6 around the estimate, gives the next
// estimate; until it moves less than 0.01 px or after 100 rounds. Empty when
// the box holds no finite sample or nothing stands above the background.
std::optional<Centroid> RefineCentroid(const RawImage& image, std::int32_t x, std::int32_t y,
                                       std::int32_t side);

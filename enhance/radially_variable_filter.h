// Radially variable spatial filtering (RVSF): each pixel against the average of
// a box around it whose size grows with the distance rho from the coma centre,
// size A + B * rho^N pixels, so that the steep inner coma is compared over a
// short scale and the faint outer coma over a long one.
#pragma once

#include "frame_view.h"

struct RvsfKernel {
  double a = 0;  // size at the centre, pixels
  double b = 0;  // growth factor, >= 0
  double n = 0;  // growth exponent, >= 0
};

// The side of the square box at distance rho: the odd number nearest to
// A + B * rho^N (an even size rounds up), at least 1 and at most what covers
// the whole frame, returned as the half side.
std::int32_t RvsfHalfSide(RvsfKernel kernel, double rho, std::int32_t max_half_side);

// out = ln B - ln B_box for every pixel, where B_box is the mean of the finite
// pixels of its box, cut to the frame; NaN where B or B_box is not positive or
// the box holds no finite pixel. The natural logarithm makes small values read
// as relative contrast. Box means come from a summed-area table, so the cost
// does not depend on the kernel. out may be frame.pixels: the table is built
// first and each sample is read before its result is written. Allocates the table (8 bytes a pixel,
// 4 more when the frame has NaN pixels). Refuses (returns false, writes nothing) an invalid frame,
// output or kernel, and frames of 2^32 pixels or more.
bool RadiallyVariableFilter(FrameView frame, ComaCentre centre, RvsfKernel kernel, float* out);

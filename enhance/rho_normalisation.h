// 1/rho normalisation: the frame multiplied by rho, the distance from the coma
// centre in pixels. A coma whose brightness falls as 1/rho becomes flat, so
// what departs from flat is structure.
#pragma once

#include "frame_view.h"

// out[i] = frame[i] * max(rho, rho_min) for every pixel; NaN stays NaN.
// rho_min (finite, >= 0) keeps the centre from being pushed to 0. out may be
// frame.pixels: each sample is read before its result is written. Refuses
// (returns false, writes nothing) an invalid frame, output or rho_min.
bool RhoNormalise(FrameView frame, ComaCentre centre, double rho_min, float* out);

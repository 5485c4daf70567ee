// The Larson-Sekanina rotational gradient: each pixel against the frame
// rotated by +dtheta and -dtheta (and drawn in by drho) about the coma centre,
//   B'(rho, theta) = 2 B(rho, theta) - B(rho - drho, theta + dtheta)
//                                    - B(rho - drho, theta - dtheta).
// Rotationally symmetric light cancels; features that change with position
// angle (jets, fans, the edges of shells) stand out.
#pragma once

#include "frame_view.h"

// Writes B' of every pixel to out; the two shifted samples are interpolated
// bilinearly. NaN where the pixel is NaN, where a shifted sample falls outside
// the frame or on a NaN pixel, and within drho of the centre (the shifted
// radius would be negative). dtheta_degrees and drho are finite, drho >= 0.
// Refuses (returns false, writes nothing) anything else.
bool LarsonSekanina(FrameView frame, ComaCentre centre, double dtheta_degrees, double drho,
                    float* out);

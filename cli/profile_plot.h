// The radial profile drawn as a log-log plot with cairo: ring median against
// radius, with a 1/rho line through the profile at a middle radius for
// comparison (a steady coma falls as 1/rho).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "profile_csv.h"

// rings[r - 1] is ring r; rings without members or with a median <= 0
// cannot be shown on a log scale and are left out. Returns the PNG's bytes;
// throws ToolError.
std::vector<unsigned char> EncodeProfilePlot(const std::vector<ProfileRing>& rings,
                                             const std::string& title);

// The radius the 1/rho line passes through: the ring with a positive median
// closest to R/2 (the inner rings are dominated by the nucleus and seeing,
// the outer ones by the sky); 0 when no ring has one.
std::int32_t ReferenceRadius(const std::vector<ProfileRing>& rings);

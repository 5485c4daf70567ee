// The radial profile as CSV: comment lines naming the input, centre and
// radius, then "radius,median,members" for every ring 1 .. R.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ProfileRing {
  float median = 0;
  std::int32_t members = 0;
};

// rings[r - 1] is ring r. A ring with no members has an empty median field:
// the 0 the model uses there is not a measurement. Medians are printed so
// that they read back to the same float.
std::string FormatProfileCsv(const std::string& input, std::int32_t cx, std::int32_t cy,
                             std::int32_t radius, const std::vector<ProfileRing>& rings);

#include "profile_csv.h"

#include <cstdio>

std::string FormatProfileCsv(const std::string& input, std::int32_t cx, std::int32_t cy,
                             std::int32_t radius, const std::vector<ProfileRing>& rings) {
  std::string csv = "# input: " + input + "\n";
  csv += "# centre: " + std::to_string(cx) + "," + std::to_string(cy) +
         " (0-based column,row; DS9 " + std::to_string(std::int64_t{cx} + 1) + "," +
         std::to_string(std::int64_t{cy} + 1) + ")\n";
  csv += "# radius: " + std::to_string(radius) + "\n";
  csv += "radius,median,members\n";
  char line[64];
  for (std::size_t i = 0; i < rings.size(); ++i) {
    const ProfileRing& ring = rings[i];
    if (ring.members == 0) {
      std::snprintf(line, sizeof line, "%zu,,0\n", i + 1);
    } else {
      std::snprintf(line, sizeof line, "%zu,%.9g,%d\n", i + 1, static_cast<double>(ring.median),
                    ring.members);
    }
    csv += line;
  }
  return csv;
}

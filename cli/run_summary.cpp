#include "run_summary.h"

#include <cstdio>

namespace {

std::string Fixed(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

// The 0-based pair and the same position as DS9 shows it, 1-based.
std::string BothConventions(double x, double y, bool integer) {
  const auto show = [integer](double v) {
    return integer ? std::to_string(static_cast<long long>(v)) : Fixed(v);
  };
  return show(x) + "," + show(y) + " (DS9 " + show(x + 1) + "," + show(y + 1) + ")";
}

// "3, 7-9, 12": runs of consecutive radii written as ranges.
std::string RadiusList(const std::vector<std::int32_t>& radii) {
  std::string text;
  for (std::size_t i = 0; i < radii.size();) {
    std::size_t j = i;
    while (j + 1 < radii.size() && radii[j + 1] == radii[j] + 1) ++j;
    if (!text.empty()) text += ", ";
    text += std::to_string(radii[i]);
    if (j > i) text += "-" + std::to_string(radii[j]);
    i = j + 1;
  }
  return text;
}

}  // namespace

std::string FormatSummary(const RunSummary& s) {
  std::string text;
  if (s.sky_pixel) {
    text += "sky position at pixel " +
            BothConventions(s.sky_pixel->first, s.sky_pixel->second, false) + "\n";
  }
  if (s.centroid) {
    text += "centroid " + BothConventions(s.centroid->first, s.centroid->second, false) + "\n";
  }
  text += "centre " + BothConventions(s.center_x, s.center_y, true) + "\n";
  char value[64];
  if (s.center_value) {
    std::snprintf(value, sizeof value, "%.9g", static_cast<double>(*s.center_value));
  } else {
    std::snprintf(value, sizeof value, "none (outside the frame)");
  }
  text += std::string("centre pixel ") + value + "\n";
  text += "radius " + std::to_string(s.radius) + "\n";
  text += "rings with no members " + std::to_string(s.empty_rings.size());
  if (!s.empty_rings.empty()) text += " (r = " + RadiusList(s.empty_rings) + ")";
  text += "\n";
  for (const std::string& file : s.files) text += "wrote " + file + "\n";
  return text;
}

std::vector<std::string> RunWarnings(const RunSummary& s) {
  std::vector<std::string> warnings;
  if (!s.center_value) {
    warnings.push_back("warning: the centre " + BothConventions(s.center_x, s.center_y, true) +
                       " is outside the frame");
  }
  if (s.radius <= 0) {
    warnings.push_back("warning: --radius " + std::to_string(s.radius) +
                       " makes no rings; the model holds only the centre pixel");
  } else if (!s.empty_rings.empty()) {
    warnings.push_back("warning: " + std::to_string(s.empty_rings.size()) + " of " +
                       std::to_string(s.radius) +
                       " rings have no members (r = " + RadiusList(s.empty_rings) +
                       "): their median is 0 and the model falls to 0 there");
  }
  return warnings;
}

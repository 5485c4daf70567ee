// What a model run tells the user: a short summary on standard output once
// the files are written, and warnings on standard error about a result that
// is probably not what they meant (the run still succeeds).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct RunSummary {
  std::int32_t center_x = 0;  // the pixel the model is centred on, 0-based
  std::int32_t center_y = 0;
  std::optional<std::pair<double, double>> sky_pixel;  // --center-sky through the WCS
  std::optional<std::pair<double, double>> centroid;   // --refine's sub-pixel result
  std::optional<float> center_value;                   // empty outside the frame
  std::int32_t radius = 0;
  std::vector<std::int32_t> empty_rings;  // radii of the rings with no member
  std::vector<std::string> files;
};

// Lines "centre 448,432 (DS9 449,433)", "centroid ...", "centre pixel ...",
// "radius ...", "empty rings ...", "wrote FILE".
std::string FormatSummary(const RunSummary& summary);

// One line each, without the program's name: the centre outside the frame,
// R <= 0, rings with no members.
std::vector<std::string> RunWarnings(const RunSummary& summary);

// A sky position given on the command line, turned into a pixel through the
// input's world coordinate system with wcslib.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct SkyPosition {
  double ra = 0;  // degrees
  double dec = 0;
};

// "RA,DEC" in decimal degrees ("150.025,-2.3"), or sexagesimal with RA in
// hours and DEC in degrees ("10:00:06,-02:18:00" or "10h00m06s,-2d18m00s",
// spaces allowed for colons). Empty when the text is neither or out of range.
std::optional<SkyPosition> ParseSkyPosition(std::string_view text);

struct PixelPosition {
  double x = 0;  // 0-based column and row, pixel centres at integers
  double y = 0;
};

// The pixel at `sky` through the first celestial (RA/Dec) WCS in `cards`
// (80-character header cards). Throws ToolError (exit 1) naming `source`
// when the header has no celestial WCS or the position does not project.
PixelPosition SkyToPixel(const std::string& cards, SkyPosition sky, const std::string& source);

// Sky positions on the command line, and their pixel through a header's WCS
// (computed by wcslib, checked here against wcslib's inverse).
#include <gtest/gtest.h>

#include <wcslib/wcs.h>
#include <wcslib/wcshdr.h>

#include <cmath>
#include <cstdio>

#include "sky_center.h"
#include "tool_error.h"

namespace {

struct SkyCase {
  const char* text;
  bool valid;
  double ra, dec;
};

TEST(ParseSkyPosition, DegreesAndSexagesimal) {
  const SkyCase cases[] = {
      {"150.025,-2.3", true, 150.025, -2.3},
      {"0,90", true, 0, 90},
      {"10:00:06,-02:18:00", true, 150.025, -2.3},
      {"10 00 06,+02 18 00", true, 150.025, 2.3},
      {"10h00m06s,-2d18m00s", true, 150.025, -2.3},
      {"23:59:59.9,-00:30", true, 359.99958333333333, -0.5},
      {"-00:00:00,-00:30:00", false, 0, 0},  // a negative RA
      {"360,0", false, 0, 0},
      {"10,91", false, 0, 0},
      {"10:61:00,0", false, 0, 0},
      {"10:00:00", false, 0, 0},
      {"1,2,3", false, 0, 0},
      {"ten,2", false, 0, 0},
      {"nan,2", false, 0, 0},
      {"10m00h,2", false, 0, 0},
      {"10.5:00:00,2", false, 0, 0},
      {"", false, 0, 0},
  };
  for (const SkyCase& c : cases) {
    SCOPED_TRACE(c.text);
    const auto sky = ParseSkyPosition(c.text);
    ASSERT_EQ(sky.has_value(), c.valid);
    if (!sky) continue;
    EXPECT_NEAR(sky->ra, c.ra, 1e-9);
    EXPECT_NEAR(sky->dec, c.dec, 1e-9);
  }
}

std::string Card(const std::string& text) {
  std::string card = text;
  card.resize(80, ' ');
  return card;
}

// A TAN header 100 x 80 pixels, 3.6" pixels, rotated a little.
std::string TanHeader(const char* lng = "RA---TAN", const char* lat = "DEC--TAN") {
  std::string cards;
  for (const std::string& line :
       {std::string("SIMPLE  =                    T"),
        std::string("BITPIX  =                  -32"),
        std::string("NAXIS   =                    2"),
        std::string("NAXIS1  =                  100"),
        std::string("NAXIS2  =                   80"), std::string("CTYPE1  = '") + lng + "'",
        std::string("CTYPE2  = '") + lat + "'", std::string("CRPIX1  =                 50.5"),
        std::string("CRPIX2  =                 40.5"),
        std::string("CRVAL1  =                150.0"),
        std::string("CRVAL2  =                  2.0"),
        std::string("CD1_1   =            -0.000998"),
        std::string("CD1_2   =             0.000052"),
        std::string("CD2_1   =             0.000052"),
        std::string("CD2_2   =             0.000998"), std::string("END")}) {
    cards += Card(line);
  }
  return cards;
}

// The sky position of 0-based pixel (x, y) by wcslib's forward transform.
void PixelToSky(const std::string& cards, double x, double y, double* ra, double* dec) {
  std::string header = cards;
  int rejected = 0, count = 0;
  wcsprm* wcs = nullptr;
  ASSERT_EQ(wcspih(header.data(), static_cast<int>(cards.size() / 80), WCSHDR_all, 0, &rejected,
                   &count, &wcs),
            0);
  ASSERT_EQ(wcsset(wcs), 0);
  double pixel[2] = {x + 1, y + 1}, image[2], world[2], phi, theta;
  int stat = 0;
  EXPECT_EQ(wcsp2s(wcs, 1, 2, pixel, image, &phi, &theta, world, &stat), 0);
  *ra = world[0];
  *dec = world[1];
  wcsvfree(&count, &wcs);
}

TEST(SkyToPixel, InvertsTheHeadersWcs) {
  const std::string cards = TanHeader();
  const PixelPosition reference = SkyToPixel(cards, {150.0, 2.0}, "in.fits");
  EXPECT_NEAR(reference.x, 49.5, 1e-9);
  EXPECT_NEAR(reference.y, 39.5, 1e-9);
  for (const auto& [x, y] :
       {std::pair{12.25, 70.5}, std::pair{-30.0, 5.75}, std::pair{99.0, 0.0}}) {
    double ra = 0, dec = 0;
    PixelToSky(cards, x, y, &ra, &dec);
    const PixelPosition pixel = SkyToPixel(cards, {ra, dec}, "in.fits");
    EXPECT_NEAR(pixel.x, x, 1e-6);
    EXPECT_NEAR(pixel.y, y, 1e-6);
  }
}

TEST(SkyToPixel, RefusesAHeaderWithoutRaAndDec) {
  struct Case {
    const char* name;
    std::string cards;
  };
  const Case cases[] = {
      {"no_header", ""},
      {"no_wcs", Card("SIMPLE  =                    T") + Card("NAXIS   =                    2") +
                     Card("END")},
      {"linear_axes", TanHeader("LINEAR", "LINEAR")},
      {"galactic", TanHeader("GLON-TAN", "GLAT-TAN")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      SkyToPixel(c.cards, {150, 2}, "in.fits");
      ADD_FAILURE() << "accepted";
    } catch (const ToolError& e) {
      EXPECT_EQ(e.exit_code(), kExitData);
      EXPECT_STREQ(e.what(), "in.fits has no celestial (RA/Dec) WCS for --center-sky");
    }
  }
}

TEST(SkyToPixel, RefusesAPositionBeyondTheProjection) {
  // The far side of the sky has no place on a tangent plane.
  EXPECT_THROW(SkyToPixel(TanHeader(), {330.0, -2.0}, "in.fits"), ToolError);
}

}  // namespace

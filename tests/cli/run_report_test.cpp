// What a model run reports: the summary on stdout, warnings on stderr with
// exit 0, the centre found by --refine and --center-sky and recorded in the
// headers, the profile CSV's empty rings, the plot, and the options a user
// gets wrong.
#include <fitsio.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "tool_support.h"

namespace {

// A 40 x 30 frame with a Gaussian nucleus at (21.3, 12.6) over a 1/rho coma.
Image NucleusFrame() {
  Image image{40, 30, {}};
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const double dx = x - 21.3, dy = y - 12.6;
      const double r2 = dx * dx + dy * dy;
      image.samples.push_back(
          static_cast<float>(50 + 1000 * std::exp(-r2 / 4.5) + 200 / std::sqrt(r2 + 1)));
    }
  }
  return image;
}

// The frame with a TAN WCS: pixel (20, 15) 0-based is at RA 150, Dec 2 and
// north is up, 3.6" per pixel.
void WriteFrameWithWcs(const std::string& path, const Image& image, const char* object) {
  fitsfile* file = nullptr;
  int status = 0;
  fits_create_diskfile(&file, path.c_str(), &status);
  long axes[2] = {image.width, image.height};
  fits_create_img(file, FLOAT_IMG, 2, axes, &status);
  const char* cards[] = {"CTYPE1  = 'RA---TAN'", "CTYPE2  = 'DEC--TAN'", "CRPIX1  = 21.0",
                         "CRPIX2  = 16.0",       "CRVAL1  = 150.0",      "CRVAL2  = 2.0",
                         "CDELT1  = -0.001",     "CDELT2  = 0.001"};
  for (const char* card : cards) fits_write_record(file, card, &status);
  if (object) fits_write_key(file, TSTRING, "OBJECT", const_cast<char*>(object), "", &status);
  fits_write_img(file, TFLOAT, 1, static_cast<LONGLONG>(image.samples.size()),
                 const_cast<float*>(image.samples.data()), &status);
  fits_close_file(file, &status);
  ASSERT_EQ(status, 0);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Summary, NamesTheCentreRadiusAndFiles) {
  ScratchDir scratch;
  WriteFitsImage(scratch.Path("in.fits"), NucleusFrame());
  const RunResult run =
      RunTool({"model", scratch.Path("in.fits"), "--center", "21,13", "--radius", "5", "-o",
               scratch.Path("m.fits"), "--profile", scratch.Path("p.csv")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const FitsPrimary in = DecodeFits(scratch.Path("in.fits"));
  char value[64];
  std::snprintf(value, sizeof value, "%.9g", double(in.image.samples[21 + 13 * 40]));
  EXPECT_EQ(Lines(run.out),
            (std::vector<std::string>{"centre 21,13 (DS9 22,14)",
                                      std::string("centre pixel ") + value, "radius 5",
                                      "rings with no members 0", "wrote " + scratch.Path("m.fits"),
                                      "wrote " + scratch.Path("p.csv")}));
}

// A centre and radius the user probably did not mean still give a model,
// with a warning on stderr and the empty rings empty in the CSV.
TEST(Summary, WarnsOfADoubtfulCentreOrRadius) {
  struct Case {
    const char* name;
    std::string center, radius;
    std::vector<std::string> warnings;  // each a part of one stderr line
    std::string empty_rings;            // the summary's line
    std::vector<int> empty;             // radii of the rings with no member
  };
  const Case cases[] = {
      {"inside", "21,13", "8", {}, "rings with no members 0", {}},
      {"outside_near",
       "-3,13",
       "6",
       {"the centre -3,13 (DS9 -2,14) is outside the frame",
        "2 of 6 rings have no members (r = 1-2)"},
       "rings with no members 2 (r = 1-2)",
       {1, 2}},
      {"outside_far",
       "500,-500",
       "3",
       {"is outside the frame", "3 of 3 rings have no members (r = 1-3)"},
       "rings with no members 3 (r = 1-3)",
       {1, 2, 3}},
      {"beyond_frame",
       "0,0",
       "52",
       {"3 of 52 rings have no members (r = 50-52)"},
       "rings with no members 3 (r = 50-52)",
       {50, 51, 52}},
      {"radius_zero", "21,13", "0", {"--radius 0 makes no rings"}, "rings with no members 0", {}},
      {"radius_negative",
       "21,13",
       "-4",
       {"--radius -4 makes no rings"},
       "rings with no members 0",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir scratch;
    WriteFitsImage(scratch.Path("in.fits"), NucleusFrame());
    const RunResult run =
        RunTool({"model", scratch.Path("in.fits"), "--center", c.center, "--radius", c.radius, "-o",
                 scratch.Path("m.fits"), "--profile", scratch.Path("p.csv")});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const std::vector<std::string> err = Lines(run.err);
    ASSERT_EQ(err.size(), c.warnings.size()) << run.err;
    for (std::size_t i = 0; i < err.size(); ++i) {
      EXPECT_EQ(err[i].rfind("comamodel: warning: ", 0), 0u) << err[i];
      EXPECT_NE(err[i].find(c.warnings[i]), std::string::npos) << err[i];
    }
    const std::vector<std::string> out = Lines(run.out);
    EXPECT_NE(std::find(out.begin(), out.end(), c.empty_rings), out.end()) << run.out;

    // An empty ring's median field is empty and its count 0; the others hold numbers.
    const std::vector<std::string> csv = Lines(ReadBytes(scratch.Path("p.csv")));
    ASSERT_GE(csv.size(), 4u);
    EXPECT_EQ(csv[0], "# input: " + scratch.Path("in.fits"));
    EXPECT_EQ(csv[1].rfind("# centre: " + c.center + " (0-based column,row; DS9 ", 0), 0u);
    EXPECT_EQ(csv[2], "# radius: " + c.radius);
    EXPECT_EQ(csv[3], "radius,median,members");
    const int radius = std::max(0, std::stoi(c.radius));
    ASSERT_EQ(csv.size(), 4u + static_cast<std::size_t>(radius));
    for (int r = 1; r <= radius; ++r) {
      const std::string& row = csv[static_cast<std::size_t>(r) + 3];
      SCOPED_TRACE(row);
      if (std::find(c.empty.begin(), c.empty.end(), r) != c.empty.end()) {
        EXPECT_EQ(row, std::to_string(r) + ",,0");
      } else {
        int got = 0, members = 0;
        double median = 0;
        ASSERT_EQ(std::sscanf(row.c_str(), "%d,%lf,%d", &got, &median, &members), 3);
        EXPECT_EQ(got, r);
        EXPECT_GT(members, 0);
      }
    }
  }
}

std::string Key(const FitsPrimary& fits, const std::string& name) {
  const auto it = fits.keys.find(name);
  return it == fits.keys.end() ? "" : it->second;
}

// --refine from 3 pixels off lands on the nucleus; the model is made at the
// nearest pixel and every output records the centroid.
TEST(Centre, RefineFindsTheNucleus) {
  ScratchDir scratch;
  WriteFitsImage(scratch.Path("in.fits"), NucleusFrame());
  for (const char* refine : {"--refine", "--refine=7"}) {
    SCOPED_TRACE(refine);
    const RunResult run =
        RunTool({"model", scratch.Path("in.fits"), "--center", "18,13", refine, "--radius", "6",
                 "-o", scratch.Path("m.fits"), "--residual", scratch.Path("r.fits"), "--force"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(Lines(run.out).at(1), "centre 21,13 (DS9 22,14)") << run.out;
    double x = 0, y = 0;
    ASSERT_EQ(std::sscanf(run.out.c_str(), "centroid %lf,%lf", &x, &y), 2) << run.out;
    EXPECT_NEAR(x, 21.3, 0.1);
    EXPECT_NEAR(y, 12.6, 0.1);
    for (const char* name : {"m.fits", "r.fits"}) {
      const FitsPrimary out = DecodeFits(scratch.Path(name));
      EXPECT_EQ(Key(out, "COMA_X"), "21");
      EXPECT_EQ(Key(out, "COMA_Y"), "13");
      EXPECT_NEAR(std::stod(Key(out, "COMACENX")), 21.3, 0.1);
      EXPECT_NEAR(std::stod(Key(out, "COMACENY")), 12.6, 0.1);
    }
    EXPECT_TRUE(SameSamples(DecodeFits(scratch.Path("m.fits")).image.samples,
                            RunEngine(NucleusFrame(), 21, 13, 6, 0).model));
  }
}

TEST(Centre, SkyPositionThroughTheWcs) {
  ScratchDir scratch;
  WriteFrameWithWcs(scratch.Path("in.fits"), NucleusFrame(), "C/2026 X1");
  struct Case {
    const char* name;
    std::vector<std::string> centre;
    const char* x;
    const char* y;
  };
  // RA 150.002 is two pixels east of the reference pixel: to the left.
  const Case cases[] = {
      {"reference", {"--center-sky", "150,2"}, "20", "15"},
      {"sexagesimal", {"--center-sky=10:00:00.48,+02:00:03.6"}, "18", "16"},
      {"refined", {"--center-sky", "150.002,1.998", "--refine"}, "21", "13"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {
        "model",  scratch.Path("in.fits"), "--radius", "4", "-o", scratch.Path("m.fits"), "--force",
        "--plot", scratch.Path("plot.png")};
    args.insert(args.end(), c.centre.begin(), c.centre.end());
    const RunResult run = RunTool(args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.out.rfind("sky position at pixel ", 0), 0u) << run.out;
    const FitsPrimary out = DecodeFits(scratch.Path("m.fits"));
    EXPECT_EQ(Key(out, "COMA_X"), c.x);
    EXPECT_EQ(Key(out, "COMA_Y"), c.y);
  }
}

// A plot is a PNG of the size the tool draws, in colour, not blank.
TEST(Plot, IsAColourPng) {
  ScratchDir scratch;
  WriteFrameWithWcs(scratch.Path("in.fits"), NucleusFrame(), "C/2026 X1");
  const RunResult run =
      RunTool({"model", scratch.Path("in.fits"), "--center", "21,13", "--radius", "12", "-o",
               scratch.Path("m.fits"), "--plot", scratch.Path("plot.png")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, scratch.Path("plot.png").c_str()));
  EXPECT_EQ(image.width, 800u);
  EXPECT_EQ(image.height, 560u);
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
  std::size_t blue = 0;
  for (std::size_t i = 0; i + 2 < pixels.size(); i += 3) {
    blue += pixels[i + 2] > 150 && pixels[i] < 80 ? 1u : 0u;  // the profile's line
  }
  EXPECT_GT(blue, 200u);
}

TEST(Options, RealPeakAndMisspeltOptions) {
  ScratchDir scratch;
  WriteFitsImage(scratch.Path("in.fits"), NucleusFrame());
  const RunResult peak = RunTool({"model", scratch.Path("in.fits"), "--center", "21,13", "--radius",
                                  "3", "--peak", "1.5e3", "-o", scratch.Path("m.fits")});
  ASSERT_EQ(peak.exit_code, 0) << peak.err;
  const FitsPrimary model = DecodeFits(scratch.Path("m.fits"));
  EXPECT_EQ(model.image.samples[21 + 13 * 40], 1500.0f);
  EXPECT_EQ(std::stod(Key(model, "COMAPEAK")), 1500.0);

  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"--centre", "21,13"}, "unknown option '--centre'"},
      {{"--center=21,13", "--raduis=3"}, "unknown option '--raduis'"},
      {{"--center", "21,13", "--peak", "inf"}, "--peak: 'inf' is not a finite number"},
      {{"--center", "21,13", "--peak", "1e39"}, "--peak: '1e39'"},
      {{"--center", "21,13", "--peak", "0x10"}, "--peak: '0x10'"},
      {{"--radius", "3"}, "--center or --center-sky is required"},
      {{"--center", "21,13", "--center-sky", "150,2"}, "--center and --center-sky"},
      {{"--center-sky", "150;2"}, "--center-sky: '150;2' is not RA,DEC"},
      {{"--center", "21,13", "--refine=10"}, "--refine: '10' is not a box side"},
      {{"--center", "21,13", "--refine=1"}, "--refine: '1'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> args = {"model", scratch.Path("in.fits"), "-o",
                                     scratch.Path("x.fits")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (std::find(args.begin(), args.end(), "--radius") == args.end()) {
      args.insert(args.end(), {"--radius", "3"});
    }
    const RunResult run = RunTool(args);
    EXPECT_EQ(run.exit_code, 2) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

// Data refusals of the centre: exit 1, no file written.
TEST(Centre, RefusedWithoutACelestialWcsOrANucleus) {
  ScratchDir scratch;
  WriteFitsImage(scratch.Path("plain.fits"), NucleusFrame());
  WriteFitsImage(scratch.Path("blank.fits"), Image{9, 9, std::vector<float>(81, std::nanf(""))});
  ASSERT_EQ(RunTool({"convert", scratch.Path("plain.fits"), scratch.Path("raw.f32")}).exit_code, 0);
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{"@plain.fits", "--center-sky", "150,2"},
       "plain.fits has no celestial (RA/Dec) WCS for --center-sky"},
      {{"@raw.f32", "--center-sky", "150,2"}, "raw.f32 has no celestial (RA/Dec) WCS"},
      {{"@blank.fits", "--center", "4,4", "--refine"},
       "--refine: nothing stands above the background in the 11x11 box around 4,4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const auto before = scratch.Snapshot();
    std::vector<std::string> args = {
        "model", scratch.Path(c.args[0].substr(1)), "--radius", "3", "-o", scratch.Path("x.fits")};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    const RunResult run = RunTool(args);
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(scratch.Snapshot(), before);
  }
}

// The real WISE frame: its reference sky position lies at the reference
// pixel (253.5, 253.5 0-based) moved by the SIP distortion's constant terms
// (A_0_0 = 0.463, B_0_0 = -0.008), which wcslib applies.
TEST(RealImages, SkyCentreOnTheWiseFrame) {
  const std::string data = DataDir();
  if (data.empty()) GTEST_SKIP() << "no real images: " << COMA_DATA_DIR << " is absent";
  ScratchDir scratch;
  const RunResult run = RunTool({"model", data + "/wise_00805b089-w4.fits", "--center-sky",
                                 "211.021399035284,29.4066510200395", "--radius", "20", "-o",
                                 scratch.Path("m.fits")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(Lines(run.out).at(0), "sky position at pixel 253.037,253.508 (DS9 254.037,254.508)");
  const RunResult galaxy =
      RunTool({"model", data + "/photutils_M51.fits", "--center-sky", "202.47,47.19", "--radius",
               "20", "-o", scratch.Path("g.fits")});
  EXPECT_EQ(galaxy.exit_code, 1);
  EXPECT_NE(galaxy.err.find("has no celestial (RA/Dec) WCS"), std::string::npos) << galaxy.err;
}

}  // namespace

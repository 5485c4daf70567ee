// What every image output holds besides its samples: the input's header (its
// WCS mapping each pixel to the same sky position), the tool's keywords and
// HISTORY, DATE and valid checksums; compressed by its name and read back to
// the same values; clean under fitsverify.
#include <fitsio.h>
#include <wcslib/wcs.h>
#include <wcslib/wcshdr.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "tool_support.h"

namespace {

// A scaled BITPIX 16 frame with BLANK, a celestial WCS and the usual
// observation keywords, as an extension behind an empty primary.
void WriteObservation(const std::string& path) {
  HduSpec primary;
  primary.axes = {};
  HduSpec image;
  image.bitpix = 16;
  image.axes = {23, 17};
  for (int i = 0; i < 23 * 17; ++i) image.stored.push_back(double((i * 37) % 500));
  image.stored[40] = -32768;
  image.bscale = 0.5;
  image.bzero = 100.0;
  image.blank = -32768;
  WriteFits(path, {primary, image});

  fitsfile* file = nullptr;
  int status = 0;
  fits_open_diskfile(&file, path.c_str(), READWRITE, &status);
  fits_movabs_hdu(file, 2, nullptr, &status);
  const auto text = [&](const char* name, const char* value) {
    fits_update_key_str(file, name, value, "", &status);
  };
  const auto real = [&](const char* name, double value) {
    fits_update_key_dbl(file, name, value, -15, "", &status);
  };
  text("OBJECT", "C/2020 F3");
  text("DATE-OBS", "2020-07-14T03:12:00");
  text("TELESCOP", "test telescope");
  text("FILTER", "R");
  text("BUNIT", "ADU");
  text("EXTNAME", "SCI");
  real("EXPTIME", 30.0);
  text("CTYPE1", "RA---TAN");
  text("CTYPE2", "DEC--TAN");
  real("CRVAL1", 123.456);
  real("CRVAL2", 45.678);
  real("CRPIX1", 12.5);
  real("CRPIX2", 8.25);
  real("CD1_1", -2.1e-4);
  real("CD1_2", 3.0e-5);
  real("CD2_1", 2.5e-5);
  real("CD2_2", 2.0e-4);
  text("RADESYS", "ICRS");
  real("EQUINOX", 2000.0);
  fits_write_history(file, "flat-fielded", &status);
  fits_write_chksum(file, &status);
  fits_close_file(file, &status);
  ASSERT_EQ(status, 0);
}

struct Opened {
  fitsfile* file = nullptr;
  ~Opened() {
    int status = 0;
    if (file != nullptr) fits_close_file(file, &status);
  }
};

// The first HDU holding a 2-D image (the compressed one in a .fz file).
struct Read {
  std::string header;  // 80-character cards, without END
  std::vector<float> samples;
  bool checksums_valid = false;
};

Read ReadImageHdu(const std::string& path) {
  Read read;
  Opened opened;
  int status = 0;
  fits_open_diskfile(&opened.file, path.c_str(), READONLY, &status);
  int hdus = 0;
  fits_get_num_hdus(opened.file, &hdus, &status);
  bool all_valid = true;
  for (int i = 1; i <= hdus && status == 0; ++i) {
    fits_movabs_hdu(opened.file, i, nullptr, &status);
    int data_ok = 0, hdu_ok = 0;
    fits_verify_chksum(opened.file, &data_ok, &hdu_ok, &status);
    all_valid = all_valid && data_ok == 1 && hdu_ok == 1;
    int naxis = 0;
    fits_get_img_dim(opened.file, &naxis, &status);
    if (naxis != 2 || !read.samples.empty()) continue;
    std::array<long, 2> axes{};
    fits_get_img_size(opened.file, 2, axes.data(), &status);
    read.samples.resize(std::size_t(axes[0] * axes[1]));
    int any_null = 0;
    fits_read_img(opened.file, TFLOAT, 1, axes[0] * axes[1], nullptr, read.samples.data(),
                  &any_null, &status);
    char* cards = nullptr;
    int count = 0;
    fits_hdr2str(opened.file, 0, nullptr, 0, &cards, &count, &status);
    if (cards != nullptr) {
      read.header = cards;
      fits_free_memory(cards, &status);
    }
  }
  EXPECT_EQ(status, 0) << path;
  read.checksums_valid = all_valid;
  return read;
}

std::vector<std::string> CardsNamed(const std::string& header, const std::string& keyword) {
  std::vector<std::string> cards;
  for (std::size_t at = 0; at + 80 <= header.size(); at += 80) {
    std::string name = header.substr(at, 8);
    name.erase(name.find_last_not_of(' ') + 1);
    if (name == keyword) cards.push_back(header.substr(at, 80));
  }
  return cards;
}

// The sky position of pixel (x, y) (1-based) through wcslib.
std::array<double, 2> Sky(const std::string& header, double x, double y) {
  int rejected = 0, count = 0;
  wcsprm* wcs = nullptr;
  std::string cards = header;
  const int keys = static_cast<int>(cards.size() / 80);
  EXPECT_EQ(wcspih(cards.data(), keys, WCSHDR_all, 0, &rejected, &count, &wcs), 0);
  std::array<double, 2> world{};
  if (count < 1) {
    ADD_FAILURE() << "no WCS";
    return world;
  }
  std::array<double, 2> pixel = {x, y}, image{}, phi_theta{};
  double phi = 0, theta = 0;
  int stat = 0;
  EXPECT_EQ(wcsset(wcs), 0);
  EXPECT_EQ(wcsp2s(wcs, 1, 2, pixel.data(), image.data(), &phi, &theta, world.data(), &stat), 0);
  (void)phi_theta;
  wcsvfree(&count, &wcs);
  return world;
}

// fitsverify's one-line verdict for a file.
std::string Fitsverify(const std::string& path) {
  const std::string command = "fitsverify -q '" + path + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::string out;
  std::array<char, 256> buffer{};
  while (pipe && std::fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr) {
    out += buffer.data();
  }
  return out;
}

struct OutputCase {
  const char* name;
  std::vector<std::string> args;  // "@name" is a path in the scratch folder
  const char* output;
  const char* plain;  // the same output written as plain FITS, to compare samples
  const char* kind;   // the HISTORY line naming what the image is
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::string> Model(const std::string& option, const std::string& output) {
  std::vector<std::string> args = {"model",      "@in.fits",
                                   "--center",   "11,8",
                                   "--radius",   "6",
                                   "-o",         "@plain_model.fits",
                                   "--residual", "@plain_residual.fits",
                                   "--ratio",    "@plain_ratio.fits",
                                   "--force"};
  if (option == "-o") {
    args[7] = output;
  } else {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
      if (args[i] == option) args[i + 1] = output;
    }
  }
  return args;
}

class ImageOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(ImageOutput, CarriesTheHeaderAndVerifies) {
  const OutputCase& c = GetParam();
  ScratchDir scratch;
  WriteObservation(scratch.Path("in.fits"));
  // The plain outputs the compressed ones are compared with.
  ASSERT_EQ(
      RunTool({"model", scratch.Path("in.fits"), "--center", "11,8", "--radius", "6", "-o",
               scratch.Path("plain_model.fits"), "--residual", scratch.Path("plain_residual.fits"),
               "--ratio", scratch.Path("plain_ratio.fits")})
          .exit_code,
      0);
  ASSERT_EQ(
      RunTool({"convert", scratch.Path("in.fits"), scratch.Path("plain_copy.fits")}).exit_code, 0);
  // A tile-compressed input: its header also shows the table holding the image.
  ASSERT_EQ(RunTool({"convert", scratch.Path("in.fits"), scratch.Path("in.fits.fz")}).exit_code, 0);
  std::vector<std::string> args = c.args;
  for (std::string& arg : args) {
    if (arg[0] == '@') arg = scratch.Path(arg.substr(1));
  }
  const RunResult run = RunTool(args);
  ASSERT_EQ(run.exit_code, 0) << run.err;

  const std::string path = scratch.Path(c.output);
  const std::string verdict = Fitsverify(path);
  EXPECT_NE(verdict.find("verification OK"), std::string::npos) << verdict;

  const Read out = ReadImageHdu(path);
  const Read plain = ReadImageHdu(scratch.Path(c.plain));
  const Read in = ReadImageHdu(scratch.Path("in.fits"));
  EXPECT_TRUE(out.checksums_valid);
  EXPECT_TRUE(SameSamples(out.samples, plain.samples, true));

  // The input's own cards survive once each; those of its data do not.
  for (const char* keyword : {"OBJECT", "DATE-OBS", "TELESCOP", "FILTER", "BUNIT", "EXPTIME",
                              "CTYPE1", "CRVAL2", "CD1_2", "RADESYS", "EQUINOX", "EXTNAME"}) {
    ASSERT_EQ(CardsNamed(out.header, keyword).size(), 1u) << keyword;
    EXPECT_EQ(CardsNamed(out.header, keyword), CardsNamed(in.header, keyword)) << keyword;
  }
  for (const char* keyword : {"BSCALE", "BZERO", "BLANK"}) {
    EXPECT_TRUE(CardsNamed(out.header, keyword).empty()) << keyword;
  }
  for (const char* keyword : {"BITPIX", "NAXIS1", "DATE", "CREATOR"}) {
    EXPECT_EQ(CardsNamed(out.header, keyword).size(), 1u) << keyword;
  }
  const std::vector<std::string> history = CardsNamed(out.header, "HISTORY");
  std::string history_text;
  for (const std::string& card : history) history_text += card.substr(8) + "\n";
  EXPECT_NE(history_text.find("flat-fielded"), std::string::npos) << history_text;
  EXPECT_NE(history_text.find("in.fits"), std::string::npos) << history_text;
  EXPECT_NE(history_text.find(" HDU 1"), std::string::npos) << history_text;
  EXPECT_NE(history_text.find(c.kind), std::string::npos) << history_text;

  // The same sky position for every corner and the centre.
  for (const auto& [x, y] : {std::pair{1.0, 1.0}, std::pair{23.0, 17.0}, std::pair{12.0, 9.0}}) {
    EXPECT_EQ(Sky(out.header, x, y), Sky(in.header, x, y)) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, ImageOutput,
    ::testing::Values(
        OutputCase{"model", Model("-o", "@model.fits"), "model.fits", "plain_model.fits",
                   "this image: model"},
        OutputCase{"model_gzip", Model("-o", "@model.fits.gz"), "model.fits.gz", "plain_model.fits",
                   "this image: model"},
        OutputCase{"residual_tiled", Model("--residual", "@residual.fits.fz"), "residual.fits.fz",
                   "plain_residual.fits", "this image: source - model"},
        OutputCase{"ratio_gzip", Model("--ratio", "@ratio.fits.gz"), "ratio.fits.gz",
                   "plain_ratio.fits", "this image: source / model"},
        OutputCase{"convert_tiled",
                   {"convert", "@in.fits", "@copy.fits.fz"},
                   "copy.fits.fz",
                   "plain_copy.fits",
                   "a copy of its samples"},
        OutputCase{"model_of_tiled_input",
                   {"model", "@in.fits.fz", "--center", "11,8", "--radius", "6", "-o", "@mt.fits"},
                   "mt.fits",
                   "plain_model.fits",
                   "this image: model"},
        OutputCase{"convert",
                   {"convert", "@in.fits", "@copy.fits"},
                   "copy.fits",
                   "plain_copy.fits",
                   "a copy of its samples"}),
    [](const auto& p) { return std::string(p.param.name); });

// The tool's keywords in a model output, with their values.
TEST(ImageOutput, ModelKeywords) {
  ScratchDir scratch;
  WriteObservation(scratch.Path("in.fits"));
  ASSERT_EQ(RunTool({"model", scratch.Path("in.fits"), "--center", "11,8", "--radius", "6", "-o",
                     scratch.Path("m.fits")})
                .exit_code,
            0);
  const FitsPrimary model = DecodeFits(scratch.Path("m.fits"));
  EXPECT_EQ(model.keys.at("COMA_X"), "11");
  EXPECT_EQ(model.keys.at("COMA_Y"), "8");
  EXPECT_EQ(model.keys.at("COMA_R"), "6");
  EXPECT_EQ(std::stod(model.keys.at("COMAPEAK")), 0.0);
  EXPECT_EQ(model.keys.at("COMAIMG"), "model");
}

// Each real frame's outputs pass fitsverify (M51's header has the deprecated
// EPOCH, which the outputs carry as EQUINOX).
TEST(ImageOutput, RealFramesVerify) {
  if (DataDir().empty()) GTEST_SKIP() << "no ../shared/data";
  ScratchDir scratch;
  for (const char* name : {"wise_00805b089-w4.fits", "photutils_M51.fits"}) {
    const std::string model = scratch.Path(std::string(name) + ".model.fits.fz");
    const std::string ratio = scratch.Path(std::string(name) + ".ratio.fits");
    const RunResult run = RunTool({"model", DataDir() + "/" + name, "--center", "258,300",
                                   "--radius", "80", "-o", model, "--ratio", ratio});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    for (const std::string& path : {model, ratio}) {
      const std::string verdict = Fitsverify(path);
      EXPECT_NE(verdict.find("verification OK"), std::string::npos) << verdict;
    }
  }
}

}  // namespace

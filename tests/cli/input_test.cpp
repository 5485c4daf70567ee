// Reading FITS: every BITPIX with BSCALE, BZERO and BLANK applied, the choice
// of HDU, and the exact round trip FITS -> raw -> FITS.
#include <fitsio.h>

#include <cmath>
#include <limits>

#include "tool_support.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct BitpixCase {
  const char* name;
  HduSpec hdu;
  std::vector<float> expected;  // what convert must give, in order
};

std::vector<BitpixCase> BitpixCases() {
  const std::vector<long> axes = {3, 2};
  auto hdu = [&axes](int bitpix, std::vector<double> stored, std::optional<double> bscale,
                     std::optional<double> bzero, std::optional<long long> blank) {
    HduSpec h;
    h.bitpix = bitpix;
    h.axes = axes;
    h.stored = std::move(stored);
    h.bscale = bscale;
    h.bzero = bzero;
    h.blank = blank;
    return h;
  };
  return {
      {"bitpix8_blank",
       hdu(BYTE_IMG, {0, 1, 2, 255, 7, 254}, 2.0, -10.0, 7),
       {-10, -8, -6, 500, kNaN, 498}},
      {"bitpix16_unsigned",
       hdu(SHORT_IMG, {-32768, -1, 0, 1, 32767, -100}, std::nullopt, 32768.0, std::nullopt),
       {0, 32767, 32768, 32769, 65535, 32668}},
      {"bitpix16_scaled_blank",
       hdu(SHORT_IMG, {-5, 0, 5, -32768, 3, 1}, 0.25, 100.0, -32768),
       {98.75f, 100, 101.25f, kNaN, 100.75f, 100.25f}},
      // 16777217 has no float: the scaled value is rounded once, to even.
      {"bitpix32_rounding",
       hdu(LONG_IMG, {16777217, 16777219, -2147483647, 0, 2, 3}, 1.0, 0.0, std::nullopt),
       {16777216, 16777220, -2147483648.0f, 0, 2, 3}},
      {"bitpix64",
       hdu(LONGLONG_IMG, {-9, 8, 1LL << 40, 0, 5, 6}, 0.5, std::nullopt, 5),
       {-4.5f, 4, 549755813888.0f, 0, kNaN, 3}},
      {"bitpix_minus64",
       hdu(DOUBLE_IMG, {0.1, -2.5, 1e300, -1e300, std::nan(""), 1e-50}, std::nullopt, std::nullopt,
           std::nullopt),
       {0.1f, -2.5f, std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(), kNaN, 0}},
      {"bitpix_minus32_scaled",
       hdu(FLOAT_IMG, {1, 2, 3, -0.5, std::nan(""), 0}, 3.0, 1.0, std::nullopt),
       {4, 7, 10, -0.5f, kNaN, 1}},
  };
}

// gtest names a failing case by this instead of its bytes.
void PrintTo(const BitpixCase& c, std::ostream* os) { *os << c.name; }

class BitpixConversion : public ::testing::TestWithParam<BitpixCase> {};

TEST_P(BitpixConversion, ScaledSamplesAndBlanks) {
  const BitpixCase& c = GetParam();
  ScratchDir scratch;
  WriteFits(scratch.Path("in.fits"), {c.hdu});
  const RunResult run = RunTool({"convert", scratch.Path("in.fits"), scratch.Path("out.f32")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const Image raw = DecodeRaw(scratch.Path("out.f32"));
  EXPECT_EQ(raw.width, 3);
  EXPECT_EQ(raw.height, 2);
  EXPECT_TRUE(SameSamples(raw.samples, c.expected, true));
  for (std::size_t i = 0; i < c.expected.size(); ++i) {
    EXPECT_EQ(std::isnan(raw.samples[i]), std::isnan(c.expected[i])) << "sample " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(AllBitpix, BitpixConversion, ::testing::ValuesIn(BitpixCases()),
                         [](const auto& p) { return std::string(p.param.name); });

HduSpec Constant(float value, std::vector<long> axes) {
  HduSpec h;
  h.bitpix = FLOAT_IMG;
  h.axes = axes;
  std::size_t count = 1;
  for (long a : axes) count *= static_cast<std::size_t>(a);
  h.stored.assign(count, value);
  return h;
}

HduSpec Empty() {
  HduSpec h;
  h.bitpix = BYTE_IMG;
  return h;
}

HduSpec Table() {
  HduSpec h;
  h.table = true;
  return h;
}

// Which HDU is read: the first 2-D image unless --hdu names one; a plane of
// a cube whose further axes have length 1 counts as 2-D.
TEST(HduSelection, FirstTwoDimensionalImageOrTheOneNamed) {
  struct Case {
    const char* name;
    std::vector<HduSpec> hdus;
    std::vector<std::string> hdu_option;
    float expected;
  };
  const std::vector<Case> cases = {
      {"primary", {Constant(1, {4, 3}), Constant(2, {4, 3})}, {}, 1},
      {"extension_named", {Constant(1, {4, 3}), Constant(2, {4, 3})}, {"--hdu", "1"}, 2},
      {"primary_named", {Constant(1, {4, 3}), Constant(2, {4, 3})}, {"--hdu", "0"}, 1},
      {"past_empty_primary_and_table", {Empty(), Table(), Constant(3, {4, 3})}, {}, 3},
      {"past_one_dimensional", {Constant(9, {12}), Constant(4, {4, 3})}, {}, 4},
      {"past_cube", {Constant(9, {4, 3, 2}), Constant(5, {4, 3})}, {}, 5},
      {"single_plane_cube", {Constant(6, {4, 3, 1})}, {}, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir scratch;
    WriteFits(scratch.Path("in.fits"), c.hdus);
    std::vector<std::string> args = {"convert", scratch.Path("in.fits"), scratch.Path("out.f32")};
    args.insert(args.end(), c.hdu_option.begin(), c.hdu_option.end());
    const RunResult run = RunTool(args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const Image raw = DecodeRaw(scratch.Path("out.f32"));
    EXPECT_EQ(raw.width, 4);
    EXPECT_EQ(raw.height, 3);
    EXPECT_EQ(raw.samples, std::vector<float>(12, c.expected));
  }
}

// FITS -> raw -> FITS keeps every sample bit for bit, the special values
// included.
TEST(Convert, RoundTripIsExact) {
  const std::vector<std::uint32_t> bits = {
      0x00000000, 0x80000000,  // +0, -0
      0x7F800000, 0xFF800000,  // +inf, -inf
      0x7FC00000, 0x7FC12345,  // quiet NaNs, one with a payload
      0x00000001, 0x807FFFFF,  // smallest and largest-magnitude negative subnormal
      0x7F7FFFFF, 0x3F800001,  // largest float, 1 + ulp
      0x40ADB9D0, 0xC2F60000,
  };
  Image image{4, 3, {}};
  for (std::uint32_t b : bits) image.samples.push_back(FromBits(b));
  ScratchDir scratch;
  WriteFitsImage(scratch.Path("a.fits"), image);
  ASSERT_EQ(RunTool({"convert", scratch.Path("a.fits"), scratch.Path("b.f32")}).exit_code, 0);
  const RunResult back = RunTool({"convert", scratch.Path("b.f32"), scratch.Path("c.FITS")});
  ASSERT_EQ(back.exit_code, 0) << back.err;

  EXPECT_TRUE(SameSamples(DecodeRaw(scratch.Path("b.f32")).samples, image.samples));
  const FitsPrimary c = DecodeFits(scratch.Path("c.FITS"));
  EXPECT_EQ(c.bitpix, -32);
  EXPECT_EQ(c.image.width, 4);
  EXPECT_EQ(c.image.height, 3);
  EXPECT_TRUE(SameSamples(c.image.samples, image.samples));
}

// The galaxy's 16-bit integers arrive in the raw file as the same numbers.
TEST(RealImages, GalaxyConvertsToItsIntegers) {
  const std::string data = DataDir();
  if (data.empty()) GTEST_SKIP() << "no real images: " << COMA_DATA_DIR << " is absent";
  const std::string input = data + "/photutils_M51.fits";
  const FitsPrimary galaxy = DecodeFits(input);
  ScratchDir scratch;
  const RunResult run = RunTool({"convert", input, scratch.Path("g.f32")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const Image raw = DecodeRaw(scratch.Path("g.f32"));
  EXPECT_EQ(raw.width, 512);
  EXPECT_EQ(raw.height, 512);
  EXPECT_TRUE(SameSamples(raw.samples, galaxy.image.samples));
}

}  // namespace

// comamodel enhance against the enhancement library run directly, and its
// azimuthal median against comamodel model's own outputs.
#include <cmath>
#include <string>
#include <vector>

#include "enhance/azimuthal_model.h"
#include "enhance/larson_sekanina.h"
#include "enhance/radially_variable_filter.h"
#include "enhance/rho_normalisation.h"
#include "preview_png.h"
#include "tool_support.h"

namespace {

// A 1/rho coma around (40, 30) with a jet, a star and blank pixels.
Image Comet() {
  Image image{83, 61, {}};
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      const double rho = std::max(std::hypot(x - 40.0, y - 30.0), 1.0);
      const double jet = x > 40 ? 300 * std::exp(-(y - 30.0) * (y - 30.0) / 6) / rho : 0.0;
      const double star = 5000 * std::exp(-(std::pow(x - 20, 2) + std::pow(y - 50, 2)) / 2.0);
      image.samples.push_back(static_cast<float>(20 + 2000 / rho + jet + star));
    }
  }
  image.samples[5 + 7 * 83] = std::nanf("");
  image.samples[60 + 30 * 83] = std::nanf("");
  return image;
}

// The HISTORY cards of a FITS file, in order.
std::vector<std::string> HistoryCards(const std::string& path) {
  const std::string bytes = ReadBytes(path);
  std::vector<std::string> cards;
  for (std::size_t at = 0; at + 80 <= bytes.size(); at += 80) {
    const std::string card = bytes.substr(at, 80);
    if (card.compare(0, 3, "END") == 0 && card.find_first_not_of(' ', 3) == std::string::npos) {
      break;
    }
    if (card.compare(0, 8, "HISTORY ") == 0) {
      std::string text = card.substr(8);
      text.erase(text.find_last_not_of(' ') + 1);
      cards.push_back(text);
    }
  }
  return cards;
}

struct MethodCase {
  const char* name;
  std::vector<std::string> options;
  std::function<bool(FrameView, float*)> run;
  std::vector<std::string> history;  // lines the header must hold
  double cx, cy;                     // recorded centre
};

std::vector<MethodCase> MethodCases() {
  const ComaCentre at{40.25, 29.5};
  return {
      {"rho",
       {"--method", "rho", "--rho-min", "2"},
       [=](FrameView f, float* out) { return RhoNormalise(f, at, 2.0, out); },
       {"comamodel enhance method rho", "center 40.25,29.5 (0-based column, row)", "rho-min 2 px"},
       40.25,
       29.5},
      {"larson_sekanina",
       {"--method", "larson-sekanina", "--dtheta", "12.5", "--drho", "1"},
       [=](FrameView f, float* out) { return LarsonSekanina(f, at, 12.5, 1.0, out); },
       {"comamodel enhance method larson-sekanina", "dtheta 12.5 deg", "drho 1 px",
        "interpolation bilinear"},
       40.25,
       29.5},
      {"rvsf",
       {"--method", "rvsf", "--rvsf", "3,0.1,1"},
       [=](FrameView f, float* out) {
         return RadiallyVariableFilter(f, at, {3, 0.1, 1}, out);
       },
       {"comamodel enhance method rvsf", "rvsf A 3 px, B 0.1, N 1"},
       40.25,
       29.5},
      // Rings are centred on the nearest pixel, and the header says which.
      {"azimuthal_sigma_clip",
       {"--method", "azimuthal", "--radius", "25", "--statistic", "sigma-clip", "--sigma", "2.5",
        "--as", "residual"},
       [](FrameView f, float* out) {
         return AzimuthalEnhance(
             f, {40, 30, 25, RingStatistic::kSigmaClippedMean, 2.5, AzimuthalOutput::kResidual},
             out);
       },
       {"comamodel enhance method azimuthal", "center 40,30 (0-based column, row)",
        "rings centred on the nearest pixel to 40.25,29.5", "radius 25 px", "statistic sigma-clip",
        "output residual"},
       40,
       30},
  };
}

void PrintTo(const MethodCase& c, std::ostream* os) { *os << c.name; }

class EnhanceMethod : public ::testing::TestWithParam<MethodCase> {};

TEST_P(EnhanceMethod, WritesTheLibraryResultWithItsParameters) {
  const MethodCase& c = GetParam();
  ScratchDir scratch;
  const Image comet = Comet();
  WriteFitsImage(scratch.Path("in.fits"), comet);
  std::vector<std::string> args = {"enhance", scratch.Path("in.fits"), "--center", "40.25,29.5",
                                   "-o",      scratch.Path("out.fits")};
  args.insert(args.end(), c.options.begin(), c.options.end());
  const RunResult run = RunTool(args);
  ASSERT_EQ(run.exit_code, 0) << run.err;

  std::vector<float> expected(comet.samples.size());
  ASSERT_TRUE(c.run(FrameView{comet.samples.data(), comet.width, comet.height}, expected.data()));
  const FitsPrimary out = DecodeFits(scratch.Path("out.fits"));
  EXPECT_EQ(out.bitpix, -32);
  EXPECT_TRUE(SameSamples(out.image.samples, expected, true));
  EXPECT_DOUBLE_EQ(std::stod(out.keys.at("COMACENX")), c.cx);
  EXPECT_DOUBLE_EQ(std::stod(out.keys.at("COMACENY")), c.cy);
  const std::vector<std::string> history = HistoryCards(scratch.Path("out.fits"));
  for (const std::string& line : c.history) {
    EXPECT_NE(std::find(history.begin(), history.end(), line), history.end())
        << "no HISTORY " << line;
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, EnhanceMethod, ::testing::ValuesIn(MethodCases()),
                         [](const auto& p) { return std::string(p.param.name); });

// The azimuthal median is comamodel model, output for output, to the bit.
TEST(Enhance, AzimuthalMedianEqualsTheModelCommand) {
  ScratchDir scratch;
  WriteFitsImage(scratch.Path("in.fits"), Comet());
  ASSERT_EQ(RunTool({"model", scratch.Path("in.fits"), "--center", "40,30", "--radius", "35", "-o",
                     scratch.Path("m.fits"), "--ratio", scratch.Path("q.fits"), "--residual",
                     scratch.Path("r.fits")})
                .exit_code,
            0);
  const struct {
    const char* as;
    const char* model_output;
  } outputs[] = {{"ratio", "q.fits"}, {"residual", "r.fits"}, {"model", "m.fits"}};
  for (const auto& o : outputs) {
    SCOPED_TRACE(o.as);
    const RunResult run =
        RunTool({"enhance", scratch.Path("in.fits"), "--method", "azimuthal", "--center", "40,30",
                 "--radius", "35", "--as", o.as, "-o", scratch.Path("e.fits"), "--force"});
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_TRUE(SameSamples(DecodeFits(scratch.Path("e.fits")).image.samples,
                            DecodeFits(scratch.Path(o.model_output)).image.samples, true));
  }
}

TEST(Enhance, PreviewIsAPngOfTheResult) {
  ScratchDir scratch;
  WriteFitsImage(scratch.Path("in.fits"), Comet());
  const RunResult run =
      RunTool({"enhance", scratch.Path("in.fits"), "--method", "rho", "--center", "40,30", "-o",
               scratch.Path("e.fits"), "--preview", scratch.Path("e.png")});
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string png = ReadBytes(scratch.Path("e.png"));
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  // IHDR: width and height, big-endian: one labelled panel of the whole frame.
  const auto word = [&](std::size_t at) {
    return (std::uint32_t(std::uint8_t(png[at])) << 24) |
           (std::uint32_t(std::uint8_t(png[at + 1])) << 16) |
           (std::uint32_t(std::uint8_t(png[at + 2])) << 8) |
           std::uint32_t(std::uint8_t(png[at + 3]));
  };
  const PreviewLayout layout = LayOutPreview({0, 0, 83, 61});
  EXPECT_GT(word(16), static_cast<std::uint32_t>(layout.panel_width));
  EXPECT_LT(word(16), static_cast<std::uint32_t>(2 * layout.panel_width));
  EXPECT_EQ(word(20), static_cast<std::uint32_t>(layout.height));
}

TEST(Help, EnhanceNamesEveryMethodAndItsReference) {
  const RunResult run = RunTool({"enhance", "--help"});
  EXPECT_EQ(run.exit_code, 0);
  for (const char* text : {"rho", "Larson & Sekanina 1984", "Larson & Slaughter 1992",
                           "Samarasinha & Larson 2014", "sigma-clip", "stars are not masked"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
  }
}

}  // namespace

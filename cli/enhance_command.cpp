#include "enhance_command.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "coma_core.h"
#include "commands.h"
#include "enhance/azimuthal_model.h"
#include "enhance/huge_pages.h"
#include "enhance/larson_sekanina.h"
#include "enhance/radially_variable_filter.h"
#include "enhance/rho_normalisation.h"
#include "fits_image.h"
#include "fits_output.h"
#include "model_run.h"
#include "number_text.h"
#include "output_files.h"
#include "preview_png.h"
#include "tool_error.h"

const char* const kEnhanceMethodsHelp =
    "Methods (NaN pixels are left out or stay NaN; stars are not masked):\n"
    "  rho              1/rho normalisation: the image times rho, the distance from the centre\n"
    "                   (Samarasinha & Larson 2014, Icarus 239, 168). --rho-min PX (default 1)\n"
    "  larson-sekanina  rotational gradient 2B(r,t) - B(r-dr,t+dt) - B(r-dr,t-dt), bilinear\n"
    "                   samples (Larson & Sekanina 1984, AJ 89, 571). --dtheta DEG (required),\n"
    "                   --drho PX (default 0); NaN within drho of the centre\n"
    "  rvsf             radially variable spatial filter: ln B - ln(box mean), box side the odd\n"
    "                   number nearest A + B*rho^N (Larson & Slaughter 1992, Asteroids, Comets,\n"
    "                   Meteors 1991, 337). --rvsf A,B,N (required, B and N >= 0)\n"
    "  azimuthal        the coma model with another ring statistic, rings centred on the\n"
    "                   nearest pixel (Samarasinha & Larson 2014). --radius R (required),\n"
    "                   --statistic median|mean|sigma-clip (default median), --sigma K\n"
    "                   (default 3, iterated), --as ratio|residual|model (default ratio)";

namespace {

enum class Method { kRho, kLarsonSekanina, kRvsf, kAzimuthal };

struct MethodName {
  const char* name;
  Method method;
};
constexpr MethodName kMethods[] = {{"rho", Method::kRho},
                                   {"larson-sekanina", Method::kLarsonSekanina},
                                   {"rvsf", Method::kRvsf},
                                   {"azimuthal", Method::kAzimuthal}};

// A decimal real number, whole text, finite; no hexadecimal, "inf" or "nan".
std::optional<double> ParseReal(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  for (const char c : text) {
    if (std::strchr("0123456789+-.eE", c) == nullptr) return std::nullopt;
  }
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (ec != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

// Real numbers separated by commas, exactly `count` of them.
std::optional<std::vector<double>> ParseReals(std::string_view text, std::size_t count) {
  std::vector<double> values;
  for (;;) {
    const std::size_t comma = text.find(',');
    const auto value = ParseReal(text.substr(0, comma));
    if (!value) return std::nullopt;
    values.push_back(*value);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (values.size() != count) return std::nullopt;
  return values;
}

double RealOption(const char* option, const std::optional<std::string>& text, double fallback) {
  if (!text) return fallback;
  const auto value = ParseReal(*text);
  if (!value) throw UsageError(std::string(option) + ": '" + *text + "' is not a real number");
  return *value;
}

// The shortest text that reads back as the same double.
std::string RealText(double value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::string("?");
}

// What one run does, checked, and how its header describes it.
struct EnhanceRun {
  Method method = Method::kRho;
  std::string method_name;
  ComaCentre centre;
  double rho_min = 1;
  double dtheta = 0;
  double drho = 0;
  RvsfKernel kernel;
  AzimuthalParameters azimuthal;
  std::vector<std::string> history;  // every parameter, defaults included
};

// Refuses an option given for another method than the one chosen.
void RequireMethod(const EnhanceRun& run, Method owner, const char* option,
                   const std::optional<std::string>& value) {
  if (!value || run.method == owner) return;
  for (const MethodName& m : kMethods) {
    if (m.method == owner) {
      throw UsageError(std::string(option) + " applies to --method " + m.name + " only");
    }
  }
}

void PlanAzimuthal(const EnhanceOptions& options, EnhanceRun& run) {
  AzimuthalParameters& p = run.azimuthal;
  if (!options.radius) throw UsageError("--method azimuthal needs --radius R");
  const auto radius = ParseInt32(*options.radius);
  if (!radius || *radius < 1 || !RadiusFitsProfile(*radius)) {
    throw UsageError("--radius: '" + *options.radius + "' is not an integer from 1 to " +
                     std::to_string(MaxModelRadius));
  }
  p.radius = *radius;
  const std::string statistic = options.statistic.value_or("median");
  if (statistic == "median") {
    p.statistic = RingStatistic::kMedian;
  } else if (statistic == "mean") {
    p.statistic = RingStatistic::kMean;
  } else if (statistic == "sigma-clip") {
    p.statistic = RingStatistic::kSigmaClippedMean;
  } else {
    throw UsageError("--statistic: '" + statistic + "' is not median, mean or sigma-clip");
  }
  if (options.sigma && p.statistic != RingStatistic::kSigmaClippedMean) {
    throw UsageError("--sigma applies to --statistic sigma-clip only");
  }
  p.sigma = RealOption("--sigma", options.sigma, 3.0);
  if (!(p.sigma > 0)) throw UsageError("--sigma: '" + *options.sigma + "' is not positive");
  const std::string kind = options.output_kind.value_or("ratio");
  if (kind == "ratio") {
    p.output = AzimuthalOutput::kRatio;
  } else if (kind == "residual") {
    p.output = AzimuthalOutput::kResidual;
  } else if (kind == "model") {
    p.output = AzimuthalOutput::kModel;
  } else {
    throw UsageError("--as: '" + kind + "' is not ratio, residual or model");
  }
  // The rings are those of the coma model, around a pixel.
  const double limit = 2147483647.0;
  if (!(std::abs(run.centre.x) < limit && std::abs(run.centre.y) < limit)) {
    throw UsageError("the centre " + RealText(run.centre.x) + "," + RealText(run.centre.y) +
                     " is beyond the 32-bit pixel range");
  }
  p.cx = static_cast<std::int32_t>(std::lround(run.centre.x));
  p.cy = static_cast<std::int32_t>(std::lround(run.centre.y));
  const ComaCentre asked = run.centre;
  run.centre = {static_cast<double>(p.cx), static_cast<double>(p.cy)};
  if (asked.x != run.centre.x || asked.y != run.centre.y) {
    run.history.push_back("rings centred on the nearest pixel to " + RealText(asked.x) + "," +
                          RealText(asked.y));
  }
  run.history.push_back("radius " + std::to_string(p.radius) + " px");
  run.history.push_back("statistic " + statistic);
  if (p.statistic == RingStatistic::kSigmaClippedMean) {
    run.history.push_back("sigma " + RealText(p.sigma) + " (iterated, at most " +
                          std::to_string(kMaxClipPasses) + " passes)");
  }
  run.history.push_back("output " + kind);
}

// Checks the options and plans the run around `centre`.
EnhanceRun PlanRun(const EnhanceOptions& options, ComaCentre centre) {
  EnhanceRun run;
  bool known = false;
  for (const MethodName& m : kMethods) {
    if (options.method == m.name) {
      run.method = m.method;
      known = true;
    }
  }
  if (!known) {
    throw UsageError("--method: '" + options.method +
                     "' is not rho, larson-sekanina, rvsf or azimuthal");
  }
  run.method_name = options.method;
  run.centre = centre;
  RequireMethod(run, Method::kRho, "--rho-min", options.rho_min);
  RequireMethod(run, Method::kLarsonSekanina, "--dtheta", options.dtheta);
  RequireMethod(run, Method::kLarsonSekanina, "--drho", options.drho);
  RequireMethod(run, Method::kRvsf, "--rvsf", options.rvsf);
  RequireMethod(run, Method::kAzimuthal, "--radius", options.radius);
  RequireMethod(run, Method::kAzimuthal, "--statistic", options.statistic);
  RequireMethod(run, Method::kAzimuthal, "--sigma", options.sigma);
  RequireMethod(run, Method::kAzimuthal, "--as", options.output_kind);

  switch (run.method) {
    case Method::kRho:
      run.rho_min = RealOption("--rho-min", options.rho_min, 1.0);
      if (run.rho_min < 0) throw UsageError("--rho-min: '" + *options.rho_min + "' is negative");
      run.history.push_back("rho-min " + RealText(run.rho_min) + " px");
      break;
    case Method::kLarsonSekanina:
      if (!options.dtheta) throw UsageError("--method larson-sekanina needs --dtheta DEG");
      run.dtheta = RealOption("--dtheta", options.dtheta, 0.0);
      run.drho = RealOption("--drho", options.drho, 0.0);
      if (run.drho < 0) throw UsageError("--drho: '" + *options.drho + "' is negative");
      run.history.push_back("dtheta " + RealText(run.dtheta) + " deg");
      run.history.push_back("drho " + RealText(run.drho) + " px");
      run.history.push_back("interpolation bilinear");
      break;
    case Method::kRvsf: {
      if (!options.rvsf) throw UsageError("--method rvsf needs --rvsf A,B,N");
      const auto abn = ParseReals(*options.rvsf, 3);
      if (!abn) throw UsageError("--rvsf: '" + *options.rvsf + "' is not A,B,N (real numbers)");
      run.kernel = {(*abn)[0], (*abn)[1], (*abn)[2]};
      if (run.kernel.b < 0 || run.kernel.n < 0) {
        throw UsageError("--rvsf: '" + *options.rvsf +
                         "' has a negative B or N (the kernel grows with distance)");
      }
      run.history.push_back("rvsf A " + RealText(run.kernel.a) + " px, B " +
                            RealText(run.kernel.b) + ", N " + RealText(run.kernel.n));
      run.history.push_back("box mean of finite pixels, output ln B - ln mean");
      break;
    }
    case Method::kAzimuthal:
      PlanAzimuthal(options, run);
      break;
  }
  run.history.insert(run.history.begin(), {"comamodel enhance method " + run.method_name,
                                           "center " + RealText(run.centre.x) + "," +
                                               RealText(run.centre.y) + " (0-based column, row)"});
  return run;
}

// The result of the method on `image`, which it consumes: the pointwise
// methods write over the samples they have read, the others into a second
// buffer.
RawImage Enhance(const EnhanceRun& run, RawImage image) {
  const FrameView frame{image.samples.data(), image.width, image.height};
  const bool in_place = run.method == Method::kRho || run.method == Method::kRvsf;
  std::vector<float> separate;
  if (!in_place) separate = LargeVector<float>(frame.Count());
  float* out = in_place ? image.samples.data() : separate.data();
  bool done = false;
  switch (run.method) {
    case Method::kRho:
      done = RhoNormalise(frame, run.centre, run.rho_min, out);
      break;
    case Method::kLarsonSekanina:
      done = LarsonSekanina(frame, run.centre, run.dtheta, run.drho, out);
      break;
    case Method::kRvsf:
      if (frame.Count() >= (std::size_t{1} << 32)) {
        throw DataError("the image is too large for rvsf (2^32 pixels or more)");
      }
      done = RadiallyVariableFilter(frame, run.centre, run.kernel, out);
      break;
    case Method::kAzimuthal:
      done = AzimuthalEnhance(frame, run.azimuthal, out);
      break;
  }
  if (!done) throw UsageError("--method " + run.method_name + ": the parameters are not accepted");
  if (!in_place) image.samples = std::move(separate);
  return image;
}

// The result as BITPIX -32 with the input's header, the centre, and the
// method and every parameter in HISTORY.
FitsHeader ResultHeader(const EnhanceRun& run, const InputImage& input, const std::string& name) {
  std::vector<std::string> history = {MadeFrom(name, input)};
  history.insert(history.end(), run.history.begin(), run.history.end());
  return HeaderFromInput(
      input.header,
      {Text("CREATOR", ToolVersion(), "program that made this file"),
       Text("COMAIMG", "enhancement " + run.method_name, "what this image holds"),
       Real("COMACENX", run.centre.x, "coma centre column, 0-based"),
       Real("COMACENY", run.centre.y, "coma centre row, 0-based")},
      std::move(history));
}

// The centre the options give before the frame is read: --center, or a
// placeholder for --center-sky until the frame's WCS gives it.
ComaCentre GivenCentre(const EnhanceOptions& options) {
  if (options.center && options.center_sky) {
    throw UsageError("--center and --center-sky both give the centre; use one");
  }
  if (!options.center && !options.center_sky) {
    throw UsageError("--center or --center-sky is required");
  }
  if (options.center_sky && !ParseSkyPosition(*options.center_sky)) {
    throw UsageError("--center-sky: '" + *options.center_sky +
                     "' is not RA,DEC (degrees, or hours and degrees as h:m:s,d:m:s)");
  }
  if (!options.center) return {};
  const auto centre = ParseReals(*options.center, 2);
  if (!centre) {
    throw UsageError("--center: '" + *options.center +
                     "' is not X,Y (two real numbers, 0-based column and row)");
  }
  return {(*centre)[0], (*centre)[1]};
}

// The centre in the frame: the sky position's pixel, then the refined
// centroid when asked; otherwise the given centre as it is.
ComaCentre FrameCentreOf(const EnhanceOptions& options, const InputImage& input, ComaCentre given) {
  CentreRequest request;
  if (options.center_sky) request.sky = ParseSkyPosition(*options.center_sky);
  if (options.refine) request.refine_box = CentroidBoxOption(*options.refine);
  if (!request.sky && request.refine_box == 0) return given;
  if (!request.sky) request.pixel = NearestPixel(given.x, given.y, "the centre");
  const FrameCentre found = FindFrameCentre(input, options.input, request);
  if (found.centroid) return {found.centroid->first, found.centroid->second};
  return {found.sky_pixel->first, found.sky_pixel->second};
}

}  // namespace

void RunEnhance(const EnhanceOptions& options) {
  const ComaCentre given = GivenCentre(options);
  if (options.refine) CentroidBoxOption(*options.refine);
  PlanRun(options, given);  // refuses bad options before any file is touched
  std::optional<std::int32_t> hdu;
  if (options.hdu) {
    hdu = ParseInt32(*options.hdu);
    if (!hdu || *hdu < 0) {
      throw UsageError("--hdu: '" + *options.hdu + "' is not an HDU number (0 = primary)");
    }
  }
  RequireInputFile(options.input);
  RunOutputs outputs(options.input, options.force);
  files::Output& result_out = outputs.Add("-o", options.output);
  files::Output* const preview_out = outputs.AddIf("--preview", options.preview);

  InputImage input = ReadInputImage(options.input, hdu);
  const EnhanceRun run = PlanRun(options, FrameCentreOf(options, input, given));
  const FitsHeader header = ResultHeader(run, input, options.input);
  const RawImage result = Enhance(run, std::move(input.image));
  WriteFits(result_out, result.width, result.height, result.samples.data(), header);
  if (preview_out) preview_out->Write(EncodeImagePng(result, run.method_name));
  outputs.Commit();
}

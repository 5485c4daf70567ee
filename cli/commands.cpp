#include "commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "centroid.h"
#include "coma_engine.h"
#include "fits_image.h"
#include "header_cards.h"
#include "number_text.h"
#include "output_files.h"
#include "preview_png.h"
#include "profile_csv.h"
#include "profile_plot.h"
#include "run_summary.h"
#include "sample_comet.h"
#include "sky_center.h"
#include "tool_error.h"

namespace {

constexpr std::int32_t kMaxSampleSide = 16384;

std::int32_t Int32Option(const std::string& option, const std::string& text) {
  const auto value = ParseInt32(text);
  if (!value) throw UsageError(option + ": '" + text + "' is not a 32-bit integer");
  return *value;
}

std::optional<std::int32_t> HduOption(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  const std::int32_t hdu = Int32Option("--hdu", *text);
  if (hdu < 0) throw UsageError("--hdu: '" + *text + "' is negative (the primary HDU is 0)");
  return hdu;
}

void RequireReadable(const std::string& path) {
  std::ifstream probe(path, std::ios::binary);
  if (!probe) throw DataError("cannot open " + path + ": " + std::strerror(errno));
  if (std::filesystem::is_directory(path)) throw DataError(path + " is a folder, not an image");
}

std::vector<unsigned char> ToBytes(const std::string& text) {
  return std::vector<unsigned char>(text.begin(), text.end());
}

FitsKeyword Number(const char* name, long long value, const char* comment) {
  return FitsKeyword{name, value, std::nullopt, {}, comment};
}

FitsKeyword Real(const char* name, double value, const char* comment) {
  return FitsKeyword{name, std::nullopt, value, {}, comment};
}

FitsKeyword Text(const char* name, std::string value, const char* comment) {
  return FitsKeyword{name, std::nullopt, std::nullopt, std::move(value), comment};
}

constexpr std::int32_t kDefaultCentroidBox = 11;

std::int32_t CentroidBox(const std::string& text) {
  if (text.empty()) return kDefaultCentroidBox;
  const auto side = ParseInt32(text);
  if (!side || *side < kMinCentroidBox || *side > kMaxCentroidBox || *side % 2 == 0) {
    throw UsageError("--refine: '" + text + "' is not a box side (an odd number of pixels, " +
                     std::to_string(kMinCentroidBox) + " to " + std::to_string(kMaxCentroidBox) +
                     ")");
  }
  return *side;
}

// The nearest pixel to a sub-pixel position; refused when it is beyond any
// 32-bit coordinate.
std::pair<std::int32_t, std::int32_t> NearestPixel(double x, double y, const std::string& what) {
  constexpr double kLimit = 1e9;
  if (!(std::abs(x) < kLimit && std::abs(y) < kLimit)) {
    throw DataError(what + " is far outside the frame");
  }
  return {static_cast<std::int32_t>(std::floor(x + 0.5)),
          static_cast<std::int32_t>(std::floor(y + 0.5))};
}

// Median and member count of rings 1 .. R of the last render.
std::vector<ProfileRing> ProfileRings(const RawImage& image, std::int32_t cx, std::int32_t cy,
                                      std::int32_t radius) {
  // RingMemberCount reads the same module state as the render did.
  ImageWidth = image.width;
  ImageHeight = image.height;
  SourceCopy = image.samples.data();
  std::vector<ProfileRing> rings;
  for (std::int32_t r = 1; r <= radius; ++r) {
    rings.push_back({RadialProfile[static_cast<std::size_t>(r)], RingMemberCount(cx, cy, r)});
  }
  SourceCopy = nullptr;
  return rings;
}

// Runs the engine over `image` and returns the model; RadialProfile holds
// the profile afterwards.
std::vector<float> RenderModel(const RawImage& image, std::int32_t cx, std::int32_t cy,
                               std::int32_t radius, float peak) {
  std::vector<float> model(image.samples.size(), 0.0f);
  ImageWidth = image.width;
  ImageHeight = image.height;
  SourceCopy = image.samples.data();
  ModelPixels = model.data();
  PeakValue = peak;
  const bool rendered = RenderComaModel(cx, cy, radius);
  SourceCopy = nullptr;
  ModelPixels = nullptr;
  if (!rendered) throw UsageError("--radius " + std::to_string(radius) + " is not accepted");
  return model;
}

enum class Format { kFits, kRaw };

Format OutputFormat(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".fits" || ext == ".fit" || ext == ".fts") return Format::kFits;
  if (ext == ".f32") return Format::kRaw;
  throw UsageError("cannot tell the format of " + path +
                   " from its extension (use .fits, .fit, .fts or .f32)");
}

}  // namespace

const char* ToolVersion() { return "comamodel " COMAMODEL_VERSION; }

void RunModel(const ModelOptions& options, std::ostream& out, std::ostream& err) {
  if (options.center && options.center_sky) {
    throw UsageError("--center and --center-sky both give the centre; use one");
  }
  if (!options.center && !options.center_sky) {
    throw UsageError("--center or --center-sky is required");
  }
  std::optional<std::pair<std::int32_t, std::int32_t>> center;
  if (options.center) {
    center = ParseInt32Pair(*options.center, ',');
    if (!center) {
      throw UsageError("--center: '" + *options.center +
                       "' is not X,Y (two 32-bit integers, 0-based column and row)");
    }
  }
  std::optional<SkyPosition> sky;
  if (options.center_sky) {
    sky = ParseSkyPosition(*options.center_sky);
    if (!sky) {
      throw UsageError("--center-sky: '" + *options.center_sky +
                       "' is not RA,DEC (degrees, or hours and degrees as h:m:s,d:m:s)");
    }
  }
  std::int32_t box = 0;  // 0: no refinement
  if (options.refine) box = CentroidBox(*options.refine);
  const std::int32_t radius = Int32Option("--radius", options.radius);
  if (!RadiusFitsProfile(radius)) {
    throw UsageError("--radius " + options.radius + " is beyond the largest radius, " +
                     std::to_string(MaxModelRadius));
  }
  const auto peak = ParseFiniteFloat(options.peak);
  if (!peak) throw UsageError("--peak: '" + options.peak + "' is not a finite number");
  const std::optional<std::int32_t> hdu = HduOption(options.hdu);

  // Every output's path is checked before the work, and all are written
  // together at the end, so a refused or failed output leaves no file.
  std::vector<OutputFile> outputs = {{"-o", options.output, {}}};
  const auto add = [&outputs](const char* option, const std::optional<std::string>& path) {
    if (path) outputs.push_back({option, *path, {}});
  };
  add("--residual", options.residual);
  add("--ratio", options.ratio);
  add("--profile", options.profile);
  add("--preview", options.preview);
  add("--plot", options.plot);
  RequireReadable(options.input);
  CheckOutputPaths(outputs, options.input, options.force);

  const RawImage source = ReadInputImage(options.input, hdu);
  // The header gives the sky position's pixel and the plot's object name.
  const std::string cards =
      sky || options.plot ? ReadHeaderCards(options.input, hdu) : std::string();
  RunSummary summary;
  if (sky) {
    const PixelPosition pixel = SkyToPixel(cards, *sky, options.input);
    summary.sky_pixel = {pixel.x, pixel.y};
    center = NearestPixel(pixel.x, pixel.y, "the sky position");
  }
  if (box > 0) {
    const auto found = RefineCentroid(source, center->first, center->second, box);
    if (!found) {
      throw DataError("--refine: nothing stands above the background in the " +
                      std::to_string(box) + "x" + std::to_string(box) + " box around " +
                      std::to_string(center->first) + "," + std::to_string(center->second));
    }
    summary.centroid = {found->x, found->y};
    // The model is centred on a pixel, as the plug-in's is.
    center = NearestPixel(found->x, found->y, "the centroid");
  }
  const auto [cx, cy] = *center;
  const std::vector<float> model = RenderModel(source, cx, cy, radius, *peak);
  const std::vector<ProfileRing> rings = ProfileRings(source, cx, cy, radius);

  const auto keywords = [&](const char* kind) {
    std::vector<FitsKeyword> keys{
        Text("CREATOR", ToolVersion(), "program that made this file"),
        Text("COMAIMG", kind, "what this image holds"),
        Number("COMA_X", cx, "coma centre column, 0-based"),
        Number("COMA_Y", cy, "coma centre row, 0-based"),
        Number("COMA_R", radius, "model radius in pixels"),
        Real("COMAPEAK", static_cast<double>(*peak), "value given to the centre pixel"),
    };
    if (summary.centroid) {
      keys.push_back(Real("COMACENX", summary.centroid->first, "refined centroid column, 0-based"));
      keys.push_back(Real("COMACENY", summary.centroid->second, "refined centroid row, 0-based"));
    }
    return keys;
  };
  RawImage image{source.width, source.height, model};
  std::size_t next = 0;
  outputs[next++].bytes = EncodeFitsImage(image, keywords("model"));
  if (options.residual) {
    for (std::size_t i = 0; i < model.size(); ++i) image.samples[i] = source.samples[i] - model[i];
    outputs[next++].bytes = EncodeFitsImage(image, keywords("source - model"));
  }
  if (options.ratio) {
    // Outside the disc the model is 0; a ratio there means nothing.
    for (std::size_t i = 0; i < model.size(); ++i) {
      image.samples[i] =
          model[i] == 0.0f ? std::numeric_limits<float>::quiet_NaN() : source.samples[i] / model[i];
    }
    outputs[next++].bytes = EncodeFitsImage(image, keywords("source / model"));
  }
  if (options.profile) {
    outputs[next++].bytes = ToBytes(FormatProfileCsv(options.input, cx, cy, radius, rings));
  }
  if (options.preview) {
    const PreviewRegion region =
        PreviewCrop(source.width, source.height, cx, cy, radius, options.preview_full);
    outputs[next++].bytes = EncodePreviewPng(source, model, region);
  }
  if (options.plot) {
    const std::string object = HeaderValue(cards, "OBJECT").value_or("");
    const std::string title = (object.empty() ? std::string("profile") : object) + ", centre " +
                              std::to_string(cx) + "," + std::to_string(cy) + " (DS9 " +
                              std::to_string(std::int64_t{cx} + 1) + "," +
                              std::to_string(std::int64_t{cy} + 1) + ")";
    outputs[next++].bytes = EncodeProfilePlot(rings, title);
  }
  WriteOutputs(outputs, options.force);

  summary.center_x = cx;
  summary.center_y = cy;
  if (cx >= 0 && cy >= 0 && cx < source.width && cy < source.height) {
    summary.center_value =
        source.samples[static_cast<std::size_t>(cx) +
                       static_cast<std::size_t>(cy) * static_cast<std::size_t>(source.width)];
  }
  summary.radius = radius;
  for (std::size_t i = 0; i < rings.size(); ++i) {
    if (rings[i].members == 0) summary.empty_rings.push_back(static_cast<std::int32_t>(i + 1));
  }
  for (const OutputFile& output : outputs) summary.files.push_back(output.path);
  for (const std::string& warning : RunWarnings(summary)) err << "comamodel: " << warning << '\n';
  out << FormatSummary(summary);
}

void RunSample(const SampleOptions& options, std::ostream& out) {
  const auto size = ParseInt32Pair(options.size, 'x');
  if (!size || size->first < 1 || size->second < 1 || size->first > kMaxSampleSide ||
      size->second > kMaxSampleSide) {
    throw UsageError("--size: '" + options.size + "' is not WxH with sides 1 to " +
                     std::to_string(kMaxSampleSide));
  }
  const auto seed = ParseUint64(options.seed);
  if (!seed) throw UsageError("--seed: '" + options.seed + "' is not an unsigned 64-bit integer");

  std::vector<OutputFile> outputs = {{"OUTPUT", options.output, {}}};
  CheckOutputPaths(outputs, "", options.force);
  const SampleComet comet = MakeSampleComet(size->first, size->second, *seed);
  outputs[0].bytes =
      EncodeFitsImage(comet.image, {Text("CREATOR", ToolVersion(), "program that made this file"),
                                    Text("COMAIMG", "synthetic comet", "what this image holds"),
                                    Number("COMA_X", comet.center_x, "coma centre column, 0-based"),
                                    Number("COMA_Y", comet.center_y, "coma centre row, 0-based"),
                                    Text("SEED", options.seed, "seed of the noise and stars")});
  WriteOutputs(outputs, options.force);
  out << "center " << comet.center_x << ',' << comet.center_y << '\n';
}

void RunConvert(const ConvertOptions& options) {
  const std::optional<std::int32_t> hdu = HduOption(options.hdu);
  const Format format = OutputFormat(options.output);
  RequireReadable(options.input);
  std::vector<OutputFile> outputs = {{"OUTPUT", options.output, {}}};
  CheckOutputPaths(outputs, options.input, options.force);
  const RawImage image = ReadInputImage(options.input, hdu);
  if (format == Format::kRaw) {
    std::string error;
    if (!WriteRawImage(options.output, image, &error)) throw DataError(error);
    return;
  }
  outputs[0].bytes =
      EncodeFitsImage(image, {Text("CREATOR", ToolVersion(), "program that made this file")});
  WriteOutputs(outputs, options.force);
}

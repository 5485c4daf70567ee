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
#include <memory>
#include <vector>

#include "coma_core.h"
#include "fits_image.h"
#include "number_text.h"
#include "output_files.h"
#include "preview_png.h"
#include "sample_comet.h"
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
  return FitsKeyword{name, value, {}, comment};
}

FitsKeyword Text(const char* name, std::string value, const char* comment) {
  return FitsKeyword{name, std::nullopt, std::move(value), comment};
}

// What one run of the engine gives: the model, and for r = 1 .. R the ring
// medians and member counts (entry 0 unused).
struct EngineRun {
  std::vector<float> model;
  std::vector<float> profile;
  std::vector<std::int32_t> members;
};

// Runs the engine's core over `image`; touches no module state.
EngineRun RenderModel(const RawImage& image, std::int32_t cx, std::int32_t cy, std::int32_t radius,
                      std::int32_t peak) {
  EngineRun run;
  run.model.assign(image.samples.size(), 0.0f);
  const std::size_t entries = radius >= 1 ? static_cast<std::size_t>(radius) + 1 : 0;
  run.members.assign(entries, 0);
  // Large and fully overwritten where read: left uninitialised.
  const auto work = std::make_unique_for_overwrite<EngineWorkspace>();
  const SourceImage source{image.samples.data(), image.width, image.height};
  // The plug-in converts its integer field the same way: to the nearest float.
  if (!RenderComaModel(source, run.model.data(), cx, cy, radius, static_cast<float>(peak), *work,
                       run.members)) {
    throw UsageError("--radius " + std::to_string(radius) + " is not accepted");
  }
  run.profile.assign(work->profile.begin(),
                     work->profile.begin() + static_cast<std::ptrdiff_t>(entries));
  return run;
}

std::string ProfileCsv(const EngineRun& run) {
  std::string csv = "radius,median,members\n";
  char line[64];
  for (std::size_t r = 1; r < run.profile.size(); ++r) {
    // %.9g prints every float so that it reads back to the same value.
    std::snprintf(line, sizeof line, "%zu,%.9g,%d\n", r, static_cast<double>(run.profile[r]),
                  run.members[r]);
    csv += line;
  }
  return csv;
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

void RunModel(const ModelOptions& options) {
  const auto center = ParseInt32Pair(options.center, ',');
  if (!center) {
    throw UsageError("--center: '" + options.center +
                     "' is not X,Y (two 32-bit integers, 0-based column and row)");
  }
  const std::int32_t radius = Int32Option("--radius", options.radius);
  if (!RadiusFitsProfile(radius)) {
    throw UsageError("--radius " + options.radius + " is beyond the largest radius, " +
                     std::to_string(MaxModelRadius));
  }
  const std::int32_t peak = Int32Option("--peak", options.peak);
  const std::optional<std::int32_t> hdu = HduOption(options.hdu);
  const auto [cx, cy] = *center;

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
  RequireReadable(options.input);
  CheckOutputPaths(outputs, options.input, options.force);

  const RawImage source = ReadInputImage(options.input, hdu);
  const EngineRun run = RenderModel(source, cx, cy, radius, peak);
  const std::vector<float>& model = run.model;

  const auto keywords = [&](const char* kind) {
    return std::vector<FitsKeyword>{
        Text("CREATOR", ToolVersion(), "program that made this file"),
        Text("COMAIMG", kind, "what this image holds"),
        Number("COMA_X", cx, "coma centre column, 0-based"),
        Number("COMA_Y", cy, "coma centre row, 0-based"),
        Number("COMA_R", radius, "model radius in pixels"),
        Number("COMAPEAK", peak, "value given to the centre pixel"),
    };
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
  if (options.profile) outputs[next++].bytes = ToBytes(ProfileCsv(run));
  if (options.preview) {
    std::vector<float> residual(model.size());
    for (std::size_t i = 0; i < model.size(); ++i) residual[i] = source.samples[i] - model[i];
    outputs[next++].bytes =
        EncodePreviewPng(source.width, source.height, source.samples, model, residual);
  }
  WriteOutputs(outputs, options.force);
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

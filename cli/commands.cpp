#include "commands.h"

#include <sys/stat.h>
#include <unistd.h>

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
#include "fits_output.h"
#include "model_run.h"
#include "number_text.h"
#include "output_files.h"
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

// True when one of the paths names the file standard output writes to.
bool AnyIsStandardOutput(const std::vector<std::string>& paths) {
  struct stat standard_output {};
  if (::fstat(STDOUT_FILENO, &standard_output) != 0) return false;
  for (const std::string& path : paths) {
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && named.st_dev == standard_output.st_dev &&
        named.st_ino == standard_output.st_ino) {
      return true;
    }
  }
  return false;
}

enum class Format { kFits, kRaw };

Format OutputFormat(const std::string& path) {
  std::filesystem::path name(path);
  if (FitsEncodingFor(path) != FitsEncoding::kPlain) name = name.stem();
  std::string ext = name.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".fits" || ext == ".fit" || ext == ".fts") return Format::kFits;
  if (ext == ".f32") return Format::kRaw;
  throw UsageError("cannot tell the format of " + path +
                   " from its extension (use .fits, .fit, .fts or .f32; .gz or .fz after a FITS "
                   "extension compresses)");
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
  const CentreRequest request =
      CentreRequestOptions(options.center, options.center_sky, options.refine);
  const ModelSettings settings =
      ModelSettingsOptions(options.radius, options.peak, options.preview_full);
  const std::optional<std::int32_t> hdu = HduOption(options.hdu);

  const ModelPaths paths{options.output,  options.residual, options.ratio,
                         options.profile, options.preview,  options.plot};

  // Every output is checked and opened before the work, and all are put in
  // place together at the end, so a refused or failed output leaves no file.
  RequireInputFile(options.input);
  RunOutputs outputs(options.input, options.force);
  const OpenedOutputs opened = OpenModelOutputs(outputs, paths);
  const InputImage input = ReadInputImage(options.input, hdu);
  const FrameCentre centre = FindFrameCentre(input, options.input, request);
  const RunSummary summary = WriteModelFiles(input, options.input, centre, settings, opened);
  outputs.Commit();

  for (const std::string& warning : RunWarnings(summary)) err << "comamodel: " << warning << '\n';
  // An output written to standard output is not mixed with the summary.
  if (!AnyIsStandardOutput(opened.files)) out << FormatSummary(summary);
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

  RunOutputs outputs("", options.force);
  files::Output& output = outputs.Add("OUTPUT", options.output);
  const SampleComet comet = MakeSampleComet(size->first, size->second, *seed);
  // Without DATE, one seed always gives the same file.
  FitsHeader header =
      HeaderFromInput("",
                      {Text("CREATOR", ToolVersion(), "program that made this file"),
                       Text("COMAIMG", "synthetic comet", "what this image holds"),
                       Number("COMA_X", comet.center_x, "coma centre column, 0-based"),
                       Number("COMA_Y", comet.center_y, "coma centre row, 0-based"),
                       Text("SEED", options.seed, "seed of the noise and stars")},
                      {std::string(ToolVersion()) + ": synthetic comet, seed " + options.seed});
  header.dated = false;
  WriteFits(output, comet.image.width, comet.image.height, comet.image.samples.data(), header);
  outputs.Commit();
  out << "center " << comet.center_x << ',' << comet.center_y << '\n';
}

void RunConvert(const ConvertOptions& options) {
  const std::optional<std::int32_t> hdu = HduOption(options.hdu);
  const Format format = OutputFormat(options.output);
  RequireInputFile(options.input);
  RunOutputs outputs(options.input, options.force);
  files::Output& output = outputs.Add("OUTPUT", options.output);
  const InputImage input = ReadInputImage(options.input, hdu);
  const RawImage& image = input.image;
  if (format == Format::kRaw) {
    WriteRawImage(output, image);
  } else {
    WriteFits(output, image.width, image.height, image.samples.data(),
              HeaderFromInput(
                  input.header, {Text("CREATOR", ToolVersion(), "program that made this file")},
                  {MadeFrom(options.input, input), "this image: a copy of its samples"}));
  }
  outputs.Commit();
}

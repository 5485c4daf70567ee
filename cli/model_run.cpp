#include "model_run.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "centroid.h"
#include "coma_core.h"
#include "commands.h"
#include "fits_output.h"
#include "header_cards.h"
#include "number_text.h"
#include "preview_png.h"
#include "profile_csv.h"
#include "profile_plot.h"
#include "sample_buffer.h"
#include "tool_error.h"

namespace {

constexpr std::int32_t kDefaultCentroidBox = 11;

// What one run of the engine gives: the model, and for r = 1 .. R the ring
// medians and member counts.
struct EngineRun {
  std::vector<float> model;
  std::vector<ProfileRing> rings;
};

// Runs the engine's core over `image`; touches no module state, so frames
// can be rendered on several threads at once.
EngineRun RenderModel(const RawImage& image, std::int32_t cx, std::int32_t cy, std::int32_t radius,
                      float peak) {
  EngineRun run;
  run.model = SampleBuffer(image.samples.size());
  const std::size_t entries = radius >= 1 ? static_cast<std::size_t>(radius) + 1 : 0;
  std::vector<std::int32_t> members(entries, 0);
  // Large and fully overwritten where read: left uninitialised.
  const auto work = std::make_unique_for_overwrite<EngineWorkspace>();
  const SourceImage source{image.samples.data(), image.width, image.height};
  if (!RenderComaModel(source, run.model.data(), cx, cy, radius, peak, *work, members)) {
    throw UsageError("--radius " + std::to_string(radius) + " is not accepted");
  }
  for (std::size_t r = 1; r < entries; ++r) run.rings.push_back({work->profile[r], members[r]});
  return run;
}

std::string PeakText(float peak) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(peak));
  return text;
}

}  // namespace

std::pair<std::int32_t, std::int32_t> NearestPixel(double x, double y, const std::string& what) {
  constexpr double kLimit = 1e9;
  if (!(std::abs(x) < kLimit && std::abs(y) < kLimit)) {
    throw DataError(what + " is far outside the frame");
  }
  return {static_cast<std::int32_t>(std::floor(x + 0.5)),
          static_cast<std::int32_t>(std::floor(y + 0.5))};
}

std::int32_t CentroidBoxOption(const std::string& text) {
  if (text.empty()) return kDefaultCentroidBox;
  const auto side = ParseInt32(text);
  if (!side || *side < kMinCentroidBox || *side > kMaxCentroidBox || *side % 2 == 0) {
    throw UsageError("--refine: '" + text + "' is not a box side (an odd number of pixels, " +
                     std::to_string(kMinCentroidBox) + " to " + std::to_string(kMaxCentroidBox) +
                     ")");
  }
  return *side;
}

CentreRequest CentreRequestOptions(const std::optional<std::string>& center,
                                   const std::optional<std::string>& center_sky,
                                   const std::optional<std::string>& refine) {
  CentreRequest request;
  if (center) {
    request.pixel = ParseInt32Pair(*center, ',');
    if (!request.pixel) {
      throw UsageError("--center: '" + *center +
                       "' is not X,Y (two 32-bit integers, 0-based column and row)");
    }
  }
  if (center_sky) {
    request.sky = ParseSkyPosition(*center_sky);
    if (!request.sky) {
      throw UsageError("--center-sky: '" + *center_sky +
                       "' is not RA,DEC (degrees, or hours and degrees as h:m:s,d:m:s)");
    }
  }
  if (refine) request.refine_box = CentroidBoxOption(*refine);
  return request;
}

ModelSettings ModelSettingsOptions(const std::string& radius, const std::string& peak,
                                   bool preview_full) {
  const auto r = ParseInt32(radius);
  if (!r) throw UsageError("--radius: '" + radius + "' is not a 32-bit integer");
  if (!RadiusFitsProfile(*r)) {
    throw UsageError("--radius " + radius + " is beyond the largest radius, " +
                     std::to_string(MaxModelRadius));
  }
  const auto p = ParseFiniteFloat(peak);
  if (!p) throw UsageError("--peak: '" + peak + "' is not a finite number");
  return ModelSettings{*r, *p, preview_full};
}

FrameCentre FindFrameCentre(const InputImage& input, const std::string& name,
                            const CentreRequest& request) {
  FrameCentre centre;
  std::pair<std::int32_t, std::int32_t> pixel{0, 0};
  if (request.pixel) pixel = *request.pixel;
  if (request.sky) {
    const PixelPosition found = SkyToPixel(input.header, *request.sky, name);
    centre.sky_pixel = {found.x, found.y};
    pixel = NearestPixel(found.x, found.y, "the sky position");
  }
  if (request.refine_box > 0) {
    const auto found = RefineCentroid(input.image, pixel.first, pixel.second, request.refine_box);
    if (!found) {
      const std::string box = std::to_string(request.refine_box);
      throw DataError("--refine: nothing stands above the background in the " + box + "x" + box +
                      " box around " + std::to_string(pixel.first) + "," +
                      std::to_string(pixel.second));
    }
    centre.centroid = {found->x, found->y};
    // The model is centred on a pixel, as the plug-in's is.
    pixel = NearestPixel(found->x, found->y, "the centroid");
  }
  centre.x = pixel.first;
  centre.y = pixel.second;
  return centre;
}

OpenedOutputs OpenModelOutputs(RunOutputs& outputs, const ModelPaths& paths) {
  OpenedOutputs opened;
  const auto open = [&](const char* option, const std::optional<std::string>& path) {
    files::Output* const out = outputs.AddIf(option, path);
    if (out) opened.files.push_back(*path);
    return out;
  };
  opened.model = open("-o", paths.model);
  opened.residual = open("--residual", paths.residual);
  opened.ratio = open("--ratio", paths.ratio);
  opened.profile = open("--profile", paths.profile);
  opened.preview = open("--preview", paths.preview);
  opened.plot = open("--plot", paths.plot);
  return opened;
}

RunSummary WriteModelFiles(const InputImage& input, const std::string& name,
                           const FrameCentre& centre, const ModelSettings& settings,
                           const OpenedOutputs& opened) {
  const RawImage& source = input.image;
  const std::int32_t cx = centre.x;
  const std::int32_t cy = centre.y;
  const std::int32_t radius = settings.radius;
  const EngineRun run = RenderModel(source, cx, cy, radius, settings.peak);
  const std::vector<float>& model = run.model;

  // Each image output carries the input's header, these keywords and the
  // HISTORY of how it was made.
  const auto header = [&](const char* kind) {
    std::vector<FitsKeyword> keys{
        Text("CREATOR", ToolVersion(), "program that made this file"),
        Text("COMAIMG", kind, "what this image holds"),
        Number("COMA_X", cx, "coma centre column, 0-based"),
        Number("COMA_Y", cy, "coma centre row, 0-based"),
        Number("COMA_R", radius, "model radius in pixels"),
        Real("COMAPEAK", static_cast<double>(settings.peak), "value given to the centre pixel"),
    };
    if (centre.centroid) {
      keys.push_back(Real("COMACENX", centre.centroid->first, "refined centroid column, 0-based"));
      keys.push_back(Real("COMACENY", centre.centroid->second, "refined centroid row, 0-based"));
    }
    return HeaderFromInput(
        input.header, std::move(keys),
        {MadeFrom(name, input),
         "coma model centred on column " + std::to_string(cx) + ", row " + std::to_string(cy) +
             " (0-based), radius " + std::to_string(radius) + ", peak " + PeakText(settings.peak),
         std::string("this image: ") + kind});
  };
  const auto fits = [&](files::Output& out, const std::vector<float>& samples, const char* kind) {
    WriteFits(out, source.width, source.height, samples.data(), header(kind));
  };
  if (opened.model) fits(*opened.model, model, "model");
  // One scratch image serves the residual and then the ratio.
  std::vector<float> scratch;
  if (opened.residual) {
    scratch = SampleBuffer(model.size());
    for (std::size_t i = 0; i < model.size(); ++i) scratch[i] = source.samples[i] - model[i];
    fits(*opened.residual, scratch, "source - model");
  }
  if (opened.ratio) {
    if (scratch.empty()) scratch = SampleBuffer(model.size());
    // Outside the disc the model is 0; a ratio there means nothing.
    for (std::size_t i = 0; i < model.size(); ++i) {
      scratch[i] =
          model[i] == 0.0f ? std::numeric_limits<float>::quiet_NaN() : source.samples[i] / model[i];
    }
    fits(*opened.ratio, scratch, "source / model");
  }
  if (opened.profile) {
    const std::string csv = FormatProfileCsv(name, cx, cy, radius, run.rings);
    opened.profile->Write(std::vector<unsigned char>(csv.begin(), csv.end()));
  }
  if (opened.preview) {
    const PreviewRegion region =
        PreviewCrop(source.width, source.height, cx, cy, radius, settings.preview_full);
    opened.preview->Write(EncodePreviewPng(source, model, region));
  }
  if (opened.plot) {
    const std::string object = HeaderValue(input.header, "OBJECT").value_or("");
    const std::string title = (object.empty() ? std::string("profile") : object) + ", centre " +
                              std::to_string(cx) + "," + std::to_string(cy) + " (DS9 " +
                              std::to_string(std::int64_t{cx} + 1) + "," +
                              std::to_string(std::int64_t{cy} + 1) + ")";
    opened.plot->Write(EncodeProfilePlot(run.rings, title));
  }

  RunSummary summary;
  summary.center_x = cx;
  summary.center_y = cy;
  summary.sky_pixel = centre.sky_pixel;
  summary.centroid = centre.centroid;
  if (cx >= 0 && cy >= 0 && cx < source.width && cy < source.height) {
    summary.center_value =
        source.samples[static_cast<std::size_t>(cx) +
                       static_cast<std::size_t>(cy) * static_cast<std::size_t>(source.width)];
  }
  summary.radius = radius;
  for (std::size_t i = 0; i < run.rings.size(); ++i) {
    if (run.rings[i].members == 0) summary.empty_rings.push_back(static_cast<std::int32_t>(i + 1));
  }
  summary.files = opened.files;
  return summary;
}

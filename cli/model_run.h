// One frame's coma model run, in the two steps a sequence needs apart: find
// the frame's centre (which may start from the previous frame's centroid),
// then render the model and write the outputs. `comamodel model` runs both
// on one frame; `comamodel sequence` runs them on many.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fits_image.h"
#include "output_files.h"
#include "run_summary.h"
#include "sky_center.h"

// How a frame's centre is given: a pixel or a sky position, then optionally
// refined to the nucleus in a box of `refine_box` pixels (0: no refinement).
struct CentreRequest {
  std::optional<std::pair<std::int32_t, std::int32_t>> pixel;
  std::optional<SkyPosition> sky;
  std::int32_t refine_box = 0;
};

// The centre found in a frame: the model's integer centre and how it came.
struct FrameCentre {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::optional<std::pair<double, double>> sky_pixel;  // the sky position's pixel
  std::optional<std::pair<double, double>> centroid;   // the refined centroid
};

// Settings shared by every frame of a run.
struct ModelSettings {
  std::int32_t radius = 0;
  float peak = 0.0f;
  bool preview_full = false;
};

// Where one frame's outputs go, each when asked.
struct ModelPaths {
  std::optional<std::string> model, residual, ratio, profile, preview, plot;
};

// The nearest pixel to a sub-pixel position; refused (ToolError) when it is
// beyond any 32-bit coordinate. `what` names the position in the message.
std::pair<std::int32_t, std::int32_t> NearestPixel(double x, double y, const std::string& what);

// The box side of --refine ("" for the default). Throws UsageError.
std::int32_t CentroidBoxOption(const std::string& text);

// The centre options as typed (--center X,Y, --center-sky RA,DEC, --refine
// [=BOX]), each optional; the caller decides which are required. Throws
// UsageError.
CentreRequest CentreRequestOptions(const std::optional<std::string>& center,
                                   const std::optional<std::string>& center_sky,
                                   const std::optional<std::string>& refine);

// --radius and --peak as typed. Throws UsageError.
ModelSettings ModelSettingsOptions(const std::string& radius, const std::string& peak,
                                   bool preview_full);

// The centre of `input` (read from the file `name`). Throws ToolError when
// the sky position has no pixel or no nucleus stands out in the box.
FrameCentre FindFrameCentre(const InputImage& input, const std::string& name,
                            const CentreRequest& request);

// Checks and opens every output of `paths` in `outputs`, before any work.
struct OpenedOutputs {
  files::Output* model = nullptr;
  files::Output *residual = nullptr, *ratio = nullptr, *profile = nullptr, *preview = nullptr,
                *plot = nullptr;
  std::vector<std::string> files;  // the paths, in the order opened
};
OpenedOutputs OpenModelOutputs(RunOutputs& outputs, const ModelPaths& paths);

// Renders the model of `input` around `centre` and writes every opened
// output; the caller commits `outputs`. Returns what the summary reports.
RunSummary WriteModelFiles(const InputImage& input, const std::string& name,
                           const FrameCentre& centre, const ModelSettings& settings,
                           const OpenedOutputs& opened);

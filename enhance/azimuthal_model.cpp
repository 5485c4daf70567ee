#include "enhance/azimuthal_model.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include "coma_engine.h"

namespace {

// The coma model of the frame into out, from the engine's module state.
bool RenderModel(FrameView frame, const AzimuthalParameters& p, float* out) {
  if (p.statistic != RingStatistic::kMedian) return false;
  for (std::size_t i = 0; i < frame.Count(); ++i) out[i] = 0.0f;
  ImageWidth = frame.width;
  ImageHeight = frame.height;
  SourceCopy = frame.pixels;
  ModelPixels = out;
  PeakValue = 0.0f;
  const bool rendered = RenderComaModel(p.cx, p.cy, p.radius);
  SourceCopy = nullptr;
  ModelPixels = nullptr;
  return rendered;
}

}  // namespace

bool AzimuthalEnhance(FrameView frame, const AzimuthalParameters& p, float* out) {
  if (!frame.Valid() || out == nullptr) return false;
  if (p.radius < 0 || !RadiusFitsProfile(p.radius)) return false;
  if (p.statistic == RingStatistic::kSigmaClippedMean && !(p.sigma > 0)) return false;
  if (!RenderModel(frame, p, out)) return false;
  // The same arithmetic as the coma model's residual and ratio images.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (std::size_t i = 0; i < frame.Count(); ++i) {
    const float source = frame.pixels[i];
    const float model = out[i];
    switch (p.output) {
      case AzimuthalOutput::kModel:
        break;
      case AzimuthalOutput::kResidual:
        out[i] = source - model;
        break;
      case AzimuthalOutput::kRatio:
        out[i] = model == 0.0f ? nan : source / model;
        break;
    }
  }
  return true;
}

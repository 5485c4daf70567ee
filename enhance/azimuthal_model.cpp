#include "enhance/azimuthal_model.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>

#include "engine/coma_core.h"

namespace {

// The profile value of one ring's gathered members; an abandoned ring (the
// member cap reached) gives 0, as its median does.
float RingValue(SampleArray& members, std::int32_t n, const AzimuthalParameters& p) {
  if (n >= MaxRingSamples) return 0.0f;
  const auto count = static_cast<std::size_t>(std::max(n, 0));
  if (p.statistic == RingStatistic::kMean) return MeanOfSamples(members.data(), count);
  return SigmaClippedMean(members.data(), count, p.sigma);
}

// Paints the disc as the coma model does: every in-frame pixel whose
// distance t (from the exact squared distance, rounded once to float) is
// below R gets the profile interpolated at t. Only the rows and columns the
// disc can reach are visited.
void PaintDisc(FrameView frame, const AzimuthalParameters& p, const SampleArray& profile,
               float* model) {
  const std::int64_t reach = p.radius;
  const std::int64_t y0 = std::max<std::int64_t>(std::int64_t{p.cy} - reach, 0);
  const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{p.cy} + reach, frame.height - 1);
  const std::int64_t x0 = std::max<std::int64_t>(std::int64_t{p.cx} - reach, 0);
  const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{p.cx} + reach, frame.width - 1);
  const auto limit = static_cast<float>(p.radius);
  for (std::int64_t y = y0; y <= y1; ++y) {
    const std::int64_t dy = y - p.cy;
    float* line = model + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.width);
    for (std::int64_t x = x0; x <= x1; ++x) {
      const std::int64_t dx = x - p.cx;
      const auto t = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
      if (t < limit) line[x] = InterpolateProfile(profile, t);
    }
  }
}

// The model of the chosen statistic into model (zeroed by the caller).
bool RenderModel(FrameView frame, const AzimuthalParameters& p, float* model) {
  const SourceImage source{frame.pixels, frame.width, frame.height};
  // About 500 KB: on the heap, not the stack.
  const auto work = std::make_unique<EngineWorkspace>();
  if (p.statistic == RingStatistic::kMedian) {
    return RenderComaModel(source, model, p.cx, p.cy, p.radius, 0.0f, *work);
  }
  // The same rings as the median's, gathered by the engine.
  SampleArray& profile = work->profile;
  if (p.radius >= 1) {
    for (std::int32_t r = 1; r <= p.radius; ++r) {
      const std::int32_t n = GatherRingSamples(source, p.cx, p.cy, r, work->ringSamples);
      profile[static_cast<std::size_t>(r)] = RingValue(work->ringSamples, n, p);
    }
    profile[0] = profile[1];
    profile[static_cast<std::size_t>(p.radius) + 1] = profile[static_cast<std::size_t>(p.radius)];
    PaintDisc(frame, p, profile, model);
  }
  if (p.cx >= 0 && p.cy >= 0 && p.cx < frame.width && p.cy < frame.height) {
    model[static_cast<std::size_t>(p.cx) +
          static_cast<std::size_t>(p.cy) * static_cast<std::size_t>(frame.width)] = 0.0f;
  }
  return true;
}

}  // namespace

bool AzimuthalEnhance(FrameView frame, const AzimuthalParameters& p, float* out) {
  if (!frame.Valid() || out == nullptr) return false;
  if (p.radius < 0 || !RadiusFitsProfile(p.radius)) return false;
  if (p.statistic == RingStatistic::kSigmaClippedMean && !(p.sigma > 0 && std::isfinite(p.sigma))) {
    return false;
  }
  std::fill_n(out, frame.Count(), 0.0f);
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

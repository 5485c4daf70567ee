// The azimuthal model with a choice of ring statistic: the profile of the
// coma model taken as the median, the mean or the sigma-clipped mean of each
// ring's members (the same members as the coma model's rings), painted into
// the same circular disc, and given back as the model itself or the frame
// against it.
#pragma once

#include <cstdint>

#include "enhance/frame_view.h"
#include "enhance/ring_statistics.h"

enum class AzimuthalOutput {
  kRatio,     // frame / model, NaN where the model is 0
  kResidual,  // frame - model
  kModel,
};

struct AzimuthalParameters {
  std::int32_t cx = 0;  // rings are centred on a pixel
  std::int32_t cy = 0;
  std::int32_t radius = 0;  // 0 .. MaxModelRadius
  RingStatistic statistic = RingStatistic::kMedian;
  double sigma = 3;  // for the sigma-clipped mean, > 0
  AzimuthalOutput output = AzimuthalOutput::kRatio;
};

// Writes the chosen output into out (frame.Count() samples). The model is 0
// outside the disc of the radius and at the centre pixel, as the coma model
// with its default centre value. With the median it is the coma model to the
// bit. Refuses (returns false, writes nothing) an invalid frame, output or
// parameter.
bool AzimuthalEnhance(FrameView frame, const AzimuthalParameters& parameters, float* out);

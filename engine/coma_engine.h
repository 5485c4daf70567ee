// The engine over the module state: the plug-in's commands prepare the state
// below and call RenderComaModel(cx, cy, R), which runs the core of
// coma_core.h on it. Not re-entrant: every call shares one workspace.
#pragma once

#include <cstdint>

#include "coma_core.h"

// Module state, zero at load. The caller sets the first five before
// RenderComaModel; the engine reads SourceCopy and writes only ModelPixels.
extern std::int32_t ImageWidth;
extern std::int32_t ImageHeight;
extern const float* SourceCopy;  // ImageWidth x ImageHeight samples, row-major
extern float* ModelPixels;       // the target image, same size
extern float PeakValue;          // written into the centre pixel

// The workspace of the calls below: module-level, never on the host's stack,
// which may be small.
extern EngineWorkspace ModuleWorkspace;

// The profile of the last RenderComaModel call (ModuleWorkspace.profile):
// entry k is the model's value at distance k from the centre, entries
// 0 .. R + 1 valid.
extern SampleArray& RadialProfile;

// The SourceCopy sample at (x, y), the position clamped into the image.
float ReadSourcePixel(std::int32_t x, std::int32_t y);

// SortSamples with the module workspace's pending ranges.
void SortSamples(SampleArray& samples, std::int32_t lo, std::int32_t hi);

// Median of the samples whose distance from (cx, cy) rounds to r; 0 for a ring
// with no in-image member or one that reaches MaxRingSamples members. NaN
// samples (blank pixels) are not members.
float RingMedian(std::int32_t cx, std::int32_t cy, std::int32_t r);

// Number of samples RingMedian(cx, cy, r) gathers (in-image, not NaN), capped
// at MaxRingSamples.
std::int32_t RingMemberCount(std::int32_t cx, std::int32_t cy, std::int32_t r);

// ModelPixels[x + y * ImageWidth] = value when (x, y) lies inside the image.
void WriteModelPixel(std::int32_t x, std::int32_t y, float value);

// Measures rings 1 .. R into RadialProfile, paints every in-image pixel closer
// than R to the centre from it and writes PeakValue into the centre pixel.
// Refuses (returns false, writes nothing) a radius that does not fit.
bool RenderComaModel(std::int32_t cx, std::int32_t cy, std::int32_t R);

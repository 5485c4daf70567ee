// The coma model engine: ring medians around a centre, the radial profile they
// form, and the circular model painted from it. Procedural code over the
// module state below, which the caller prepares before RenderComaModel.
// Nothing here knows the host or any window system.
#pragma once

#include <array>
#include <cstdint>

// Number of in-image samples at which the measurement of one ring is
// abandoned with the result 0.
inline constexpr std::int32_t MaxRingSamples = 40000;

// 40,001 single-precision entries, indices 0 to 40,000.
using SampleArray = std::array<float, 40001>;

// The largest radius whose profile (entries 0 .. R + 1) fits a SampleArray.
inline constexpr std::int32_t MaxModelRadius = 39999;

// Module state, zero at load. The caller sets the first four before
// RenderComaModel; the engine reads SourceCopy and writes only ModelPixels.
extern std::int32_t ImageWidth;
extern std::int32_t ImageHeight;
extern const float* SourceCopy;  // ImageWidth x ImageHeight samples, row-major
extern float* ModelPixels;       // the target image, same size
extern float PeakValue;          // written into the centre pixel

// The profile of the last RenderComaModel call: entry k is the model's value at
// distance k from the centre, entries 0 .. R + 1 valid.
extern SampleArray RadialProfile;

// The SourceCopy sample at (x, y), the position clamped into the image.
float ReadSourcePixel(std::int32_t x, std::int32_t y);

// In-place quicksort of samples[lo .. hi] (middle pivot, two-sided partition).
void SortSamples(SampleArray& samples, std::int32_t lo, std::int32_t hi);

// Median of samples[0 .. n-1], which are ascending; 0 for n <= 0.
float MedianOfSorted(const SampleArray& samples, std::int32_t n);

// Median of the samples whose distance from (cx, cy) rounds to r; 0 for a ring
// with no in-image member or one that reaches MaxRingSamples members. NaN
// samples (blank pixels) are not members.
float RingMedian(std::int32_t cx, std::int32_t cy, std::int32_t r);

// Number of samples RingMedian(cx, cy, r) gathers (in-image, not NaN), capped
// at MaxRingSamples.
std::int32_t RingMemberCount(std::int32_t cx, std::int32_t cy, std::int32_t r);

// The profile's value at distance t, 0 <= t <= R, interpolated linearly.
float InterpolateProfile(const SampleArray& profile, float t);

// ModelPixels[x + y * ImageWidth] = value when (x, y) lies inside the image.
void WriteModelPixel(std::int32_t x, std::int32_t y, float value);

// True when RenderComaModel accepts the radius: R <= MaxModelRadius.
constexpr bool RadiusFitsProfile(std::int32_t R) { return R <= MaxModelRadius; }

// Measures rings 1 .. R into RadialProfile, paints every in-image pixel closer
// than R to the centre from it and writes PeakValue into the centre pixel.
// Refuses (returns false, writes nothing) a radius that does not fit.
bool RenderComaModel(std::int32_t cx, std::int32_t cy, std::int32_t R);

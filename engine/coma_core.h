// The coma model engine with explicit inputs: ring medians around a centre,
// the radial profile they form, and the circular model painted from it. Every
// function here reads only its arguments and writes only what they point to,
// so calls on different workspaces may run on different threads at once.
// Nothing here knows the host or any window system.
#pragma once

#include <array>
#include <cstdint>
#include <span>

// Number of in-image samples at which the measurement of one ring is
// abandoned with the result 0.
inline constexpr std::int32_t MaxRingSamples = 40000;

// 40,001 single-precision entries, indices 0 to 40,000.
using SampleArray = std::array<float, 40001>;

// The largest radius whose profile (entries 0 .. R + 1) fits a SampleArray.
inline constexpr std::int32_t MaxModelRadius = 39999;

// True when RenderComaModel accepts the radius: R <= MaxModelRadius.
constexpr bool RadiusFitsProfile(std::int32_t R) { return R <= MaxModelRadius; }

// The frame the engine reads, never changes: width x height samples,
// row-major, sample (x, y) at x + y * width. A null pointer or a size below 1
// is a frame without pixels.
struct SourceImage {
  const float* samples = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// A range of samples the quicksort has still to sort.
struct SortRange {
  std::int32_t lo;
  std::int32_t hi;
};

// Everything an engine call writes apart from the model: about 500 KB, so
// keep it off small stacks. One per thread; its contents need no clearing.
struct EngineWorkspace {
  // The members of the ring being measured; the disc's row values afterwards.
  SampleArray ringSamples;
  // The profile of the last RenderComaModel: entry k is the model's value at
  // distance k from the centre, entries 0 .. R + 1 valid.
  SampleArray profile;
  // The quicksort's pending ranges: disjoint, at least two entries each, so
  // half the buffer size bounds their number.
  std::array<SortRange, SampleArray{}.size() / 2 + 1> pendingRanges;
  // Counts per bucket of one pass of the median selection.
  std::array<std::int32_t, 2048> bucketCounts;
};

// Gathers the members of ring r around (cx, cy) into samples[0 .. n-1] and
// returns n. Members are the in-frame, non-NaN samples whose distance from the
// centre rounds to r, i.e. r(r-1) < dx^2 + dy^2 <= r(r+1) (ring 0: the centre),
// gathered rows ascending and columns ascending within a row. Gathering stops
// at the MaxRingSamples-th member: n == MaxRingSamples marks a ring that is
// abandoned, whose median is 0.
std::int32_t GatherRingSamples(const SourceImage& source, std::int32_t cx, std::int32_t cy,
                               std::int32_t r, SampleArray& samples);

// The number of members GatherRingSamples finds (capped at MaxRingSamples),
// without storing them.
std::int32_t RingMemberCount(const SourceImage& source, std::int32_t cx, std::int32_t cy,
                             std::int32_t r);

// The median RingMedian gives for samples[0 .. n-1] in gathering order: bit
// for bit that of the quicksort in that order, 0 when no sample remains or
// the ring was abandoned (n >= MaxRingSamples). NaN entries are left out.
// Reorders samples[0 .. n-1]; of `work` it uses the sort's and the
// selection's scratch only, so `samples` may be work.ringSamples.
float MedianOfGathered(SampleArray& samples, std::int32_t n, EngineWorkspace& work);

// The median of ring r (gathered into work.ringSamples); *members, when given,
// receives the ring's member count as GatherRingSamples returns it.
float RingMedian(const SourceImage& source, std::int32_t cx, std::int32_t cy, std::int32_t r,
                 EngineWorkspace& work, std::int32_t* members = nullptr);

// In-place quicksort of samples[lo .. hi] (middle pivot, two-sided partition);
// indices outside the array are not touched.
void SortSamples(SampleArray& samples, std::int32_t lo, std::int32_t hi, EngineWorkspace& work);

// Median of samples[0 .. n-1], which are ascending; 0 for n <= 0.
float MedianOfSorted(const SampleArray& samples, std::int32_t n);

// The profile's value at distance t, 0 <= t <= R, interpolated linearly.
float InterpolateProfile(const SampleArray& profile, float t);

// Measures rings 1 .. R around (cx, cy) into work.profile, paints every
// in-frame pixel of `model` (source.width x source.height, may be null)
// closer than R to the centre from it, and writes `peak` into the centre
// pixel. ringMembers[r], for the 1 <= r <= R that it holds, receives ring r's
// member count. Refuses (returns false, writes nothing) a radius that does
// not fit the profile.
bool RenderComaModel(const SourceImage& source, float* model, std::int32_t cx, std::int32_t cy,
                     std::int32_t R, float peak, EngineWorkspace& work,
                     std::span<std::int32_t> ringMembers = {});

// Statistics of one ring's members for the azimuthal model: the value its
// profile takes at that radius.
#pragma once

#include <cstddef>

// How a ring's members become one profile value.
enum class RingStatistic { kMean, kMedian, kSigmaClippedMean };

// The mean of values[0 .. n-1], summed in double and rounded once; 0 for n == 0
// (as the median of an empty ring).
float MeanOfSamples(const float* values, std::size_t n);

// The sigma-clipped mean: the mean and the standard deviation (population, of
// the samples kept) are computed, samples farther than sigma standard
// deviations from the mean are set aside, and this is repeated on the rest
// until nothing more is set aside, at most kMaxClipPasses times. A bright star
// covering part of a ring is set aside this way while the mean alone would be
// pulled up by it. 0 for n == 0. The values (no NaN) are not reordered;
// sigma > 0.
inline constexpr int kMaxClipPasses = 10;
float SigmaClippedMean(const float* values, std::size_t n, double sigma);

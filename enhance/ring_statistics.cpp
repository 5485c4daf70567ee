#include "ring_statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

float MeanOfSamples(const float* values, std::size_t n) {
  if (n == 0) return 0.0f;
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += static_cast<double>(values[i]);
  return static_cast<float>(sum / static_cast<double>(n));
}

float SigmaClippedMean(const float* values, std::size_t n, double sigma) {
  if (n == 0) return 0.0f;
  // The samples kept are those within [lo, hi]; each pass narrows the bounds.
  double lo = -std::numeric_limits<double>::infinity();
  double hi = std::numeric_limits<double>::infinity();
  std::size_t kept = n;
  double mean = 0;
  for (int pass = 0; pass < kMaxClipPasses; ++pass) {
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double v = values[i];
      if (v >= lo && v <= hi) {
        sum += v;
        ++count;
      }
    }
    mean = sum / static_cast<double>(count);
    // Deviations from the mean in a second pass: no cancellation of sums of
    // squares for a ring far brighter than its scatter.
    double squares = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double v = values[i];
      if (v >= lo && v <= hi) squares += (v - mean) * (v - mean);
    }
    const double spread = sigma * std::sqrt(squares / static_cast<double>(count));
    // Set aside for good: the bounds only narrow, as the kept set only shrinks.
    lo = std::max(lo, mean - spread);
    hi = std::min(hi, mean + spread);
    std::size_t within = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double v = values[i];
      within += v >= lo && v <= hi ? 1 : 0;
    }
    // Bounds around the mean keep at least one sample unless rounding puts
    // them all outside: then this mean stands.
    if (within == kept || within == 0) break;
    kept = within;
  }
  return static_cast<float>(mean);
}

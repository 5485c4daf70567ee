// The coma model computed the plain way, kept as the reference the engine is
// checked and timed against: every ring scans its whole (2r+1)^2 square and is
// sorted with the recursive quicksort; the disc scans its whole square.
// Beyond the plain algorithm it has the engine's mends only: 64-bit
// coordinates, NaN samples left out of rings, radii above 39,999 refused.
#pragma once

#include <cstdint>
#include <vector>

namespace literal {

struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;
  const float* samples = nullptr;  // width x height, row-major
};

// The in-place quicksort of a[lo .. hi]: middle pivot value, two-sided
// partition with strict comparisons, left part before right part.
void Quicksort(float* a, std::int32_t lo, std::int32_t hi);

// Median of a[0 .. n-1], ascending; 0 for n <= 0.
float Median(const float* a, std::int32_t n);

// The ring's members, in gathering order (at most 40,000; abandoned sets
// *abandoned).
std::vector<float> RingMembers(const Image& image, std::int32_t cx, std::int32_t cy, std::int32_t r,
                               bool* abandoned);

float RingMedian(const Image& image, std::int32_t cx, std::int32_t cy, std::int32_t r);

float Interpolate(const float* profile, float t);

// Renders into model (width x height); profile receives entries 0 .. R + 1
// (resized). Returns false, touching nothing, when R > 39,999.
bool Render(const Image& image, float* model, std::int32_t cx, std::int32_t cy, std::int32_t R,
            float peak, std::vector<float>* profile);

}  // namespace literal

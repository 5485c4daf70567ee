// The module state shared by the commands and the engine, zero at load, and
// the engine's operations over it.
#include "coma_engine.h"

#include <cstddef>

std::int32_t ImageWidth = 0;
std::int32_t ImageHeight = 0;
const float* SourceCopy = nullptr;
float* ModelPixels = nullptr;
float PeakValue = 0.0f;

EngineWorkspace ModuleWorkspace{};
SampleArray& RadialProfile = ModuleWorkspace.profile;

namespace {

SourceImage ModuleSource() { return {SourceCopy, ImageWidth, ImageHeight}; }

}  // namespace

float ReadSourcePixel(std::int32_t x, std::int32_t y) {
  if (SourceCopy == nullptr || ImageWidth <= 0 || ImageHeight <= 0) return 0.0f;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  if (x >= ImageWidth) x = ImageWidth - 1;
  if (y >= ImageHeight) y = ImageHeight - 1;
  return SourceCopy[static_cast<std::size_t>(x) +
                    static_cast<std::size_t>(y) * static_cast<std::size_t>(ImageWidth)];
}

void SortSamples(SampleArray& samples, std::int32_t lo, std::int32_t hi) {
  SortSamples(samples, lo, hi, ModuleWorkspace);
}

float RingMedian(std::int32_t cx, std::int32_t cy, std::int32_t r) {
  return RingMedian(ModuleSource(), cx, cy, r, ModuleWorkspace);
}

std::int32_t RingMemberCount(std::int32_t cx, std::int32_t cy, std::int32_t r) {
  return RingMemberCount(ModuleSource(), cx, cy, r);
}

void WriteModelPixel(std::int32_t x, std::int32_t y, float value) {
  if (ModelPixels == nullptr) return;
  if (x < 0 || y < 0 || x >= ImageWidth || y >= ImageHeight) return;
  ModelPixels[static_cast<std::size_t>(x) +
              static_cast<std::size_t>(y) * static_cast<std::size_t>(ImageWidth)] = value;
}

bool RenderComaModel(std::int32_t cx, std::int32_t cy, std::int32_t R) {
  return RenderComaModel(ModuleSource(), ModelPixels, cx, cy, R, PeakValue, ModuleWorkspace);
}

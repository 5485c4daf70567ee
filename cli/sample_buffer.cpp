#include "sample_buffer.h"

#include <sys/mman.h>

#include <cstdint>

std::vector<float> SampleBuffer(std::size_t count) {
  std::vector<float> samples;
  // Reserving allocates without touching the memory, so the advice applies
  // before the first page is faulted in by the zero fill.
  samples.reserve(count);
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(samples.data());
  const std::uintptr_t end = start + count * sizeof(float);
  const std::uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = end & ~(kHugePage - 1);
  // Only advice: where the kernel refuses, the buffer just uses small pages.
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  samples.resize(count);
  return samples;
}

// Large work buffers with fewer page faults. A 4096 x 4096 frame touches tens
// of thousands of fresh 4 KiB pages per buffer, and on a virtual machine each
// first touch is a costly fault; backed by 2 MiB pages where the kernel
// allows, the same buffer faults 512 times less.
#pragma once

#include <cstddef>
#include <vector>

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes)
// with huge pages. Only a hint: nothing changes when it is refused, and
// memory already touched keeps its pages.
void PreferHugePages(void* data, std::size_t bytes);

// A vector of n value-initialised elements whose block was given the hint
// before its first touch.
template <class T>
std::vector<T> LargeVector(std::size_t n) {
  std::vector<T> v;
  v.reserve(n);
  PreferHugePages(v.data(), n * sizeof(T));
  v.resize(n);
  return v;
}

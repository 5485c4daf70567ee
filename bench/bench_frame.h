// The synthetic frame and the timing the engine benchmarks share.
#pragma once

#include <time.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

// A size x size 1/rho coma around (centre, centre) on a sky level with
// Gaussian noise.
inline std::vector<float> MakeComet(std::int32_t size, std::int32_t centre) {
  std::vector<float> image(static_cast<std::size_t>(size) * static_cast<std::size_t>(size));
  std::mt19937 rng(42u);
  std::normal_distribution<float> noise(0.0f, 3.0f);
  for (std::int32_t y = 0; y < size; ++y) {
    for (std::int32_t x = 0; x < size; ++x) {
      const double rho = std::hypot(x - centre + 0.3, y - centre - 0.2);
      image[static_cast<std::size_t>(x) +
            static_cast<std::size_t>(y) * static_cast<std::size_t>(size)] =
          static_cast<float>(100.0 + 5000.0 / (1.0 + rho)) + noise(rng);
    }
  }
  return image;
}

template <class F>
double TimeOnce(F f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The processor time the calling thread spends in f: unlike the wall clock,
// it leaves out the time other processes on a shared machine take.
template <class F>
double ThreadSeconds(F f) {
  timespec start{};
  timespec end{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
  f();
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
  return static_cast<double>(end.tv_sec - start.tv_sec) +
         static_cast<double>(end.tv_nsec - start.tv_nsec) * 1e-9;
}

// Best of a few runs: the machine is shared, the minimum is the least disturbed.
template <class F>
double TimeBest(F f, int runs) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) best = std::min(best, TimeOnce(f));
  return best;
}

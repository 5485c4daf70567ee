// The engine's core run from two threads at once, each on its own frame and
// workspace, must give exactly what the same calls give one after the other.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "engine/coma_core.h"

namespace {

struct Job {
  std::int32_t width, height, cx, cy, R;
  std::uint32_t seed;
};

struct Result {
  std::vector<float> model;
  std::vector<float> profile;
  std::vector<std::int32_t> members;
};

// A frame whose rings need both median paths: signed zeros (the full sort)
// in some places and spread values (the counting selection) elsewhere.
std::vector<float> MakeFrame(const Job& job) {
  std::vector<float> frame(static_cast<std::size_t>(job.width) *
                           static_cast<std::size_t>(job.height));
  std::mt19937 rng(job.seed);
  std::uniform_real_distribution<float> value(-10.0f, 500.0f);
  for (std::size_t i = 0; i < frame.size(); ++i) {
    const auto u = static_cast<std::uint32_t>(rng() % 100u);
    frame[i] = u < 15 ? (u % 2 ? 0.0f : -0.0f) : value(rng);
  }
  return frame;
}

Result RenderJob(const Job& job, const std::vector<float>& frame, EngineWorkspace& work) {
  Result result;
  result.model.assign(frame.size(), 0.0f);
  result.members.assign(static_cast<std::size_t>(job.R) + 1, 0);
  EXPECT_TRUE(RenderComaModel({frame.data(), job.width, job.height}, result.model.data(), job.cx,
                              job.cy, job.R, 7.0f, work, result.members));
  result.profile.assign(work.profile.begin(),
                        work.profile.begin() + static_cast<std::ptrdiff_t>(job.R) + 2);
  return result;
}

bool Same(const Result& a, const Result& b) {
  return a.model.size() == b.model.size() &&
         std::memcmp(a.model.data(), b.model.data(), a.model.size() * sizeof(float)) == 0 &&
         a.profile.size() == b.profile.size() &&
         std::memcmp(a.profile.data(), b.profile.data(), a.profile.size() * sizeof(float)) == 0 &&
         a.members == b.members;
}

TEST(EngineReentrancy, TwoThreadsGiveTheSequentialResults) {
  // Per thread, frames of different sizes and centres inside and outside.
  const std::vector<Job> jobs[2] = {
      {{320, 240, 150, 110, 260, 1u}, {97, 131, -20, 60, 180, 2u}, {200, 200, 199, 0, 120, 3u}},
      {{256, 300, 40, 280, 240, 4u}, {150, 90, 75, 45, 400, 5u}, {64, 64, 100, 100, 90, 6u}}};
  std::vector<std::vector<float>> frames[2];
  std::vector<Result> sequential[2];
  auto work = std::make_unique_for_overwrite<EngineWorkspace>();
  for (int t = 0; t < 2; ++t) {
    for (const Job& job : jobs[t]) {
      frames[t].push_back(MakeFrame(job));
      sequential[t].push_back(RenderJob(job, frames[t].back(), *work));
    }
  }

  constexpr int kRounds = 3;
  std::vector<Result> parallel[2];
  {
    std::jthread threads[2];
    for (int t = 0; t < 2; ++t) {
      threads[t] = std::jthread([&, t] {
        const auto own = std::make_unique_for_overwrite<EngineWorkspace>();
        for (int round = 0; round < kRounds; ++round) {
          for (std::size_t i = 0; i < jobs[t].size(); ++i) {
            parallel[t].push_back(RenderJob(jobs[t][i], frames[t][i], *own));
          }
        }
      });
    }
  }
  for (int t = 0; t < 2; ++t) {
    ASSERT_EQ(parallel[t].size(), jobs[t].size() * kRounds);
    for (std::size_t k = 0; k < parallel[t].size(); ++k) {
      EXPECT_TRUE(Same(parallel[t][k], sequential[t][k % jobs[t].size()]))
          << "thread " << t << ", call " << k;
    }
  }
}

}  // namespace

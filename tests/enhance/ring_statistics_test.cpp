#include "enhance/ring_statistics.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct ClipCase {
  const char* name;
  std::vector<float> values;
  double sigma;
  float mean;
  float clipped;
};

TEST(RingStatistics, WorkedMeansAndClipping) {
  const ClipCase cases[] = {
      // mean 22, sd sqrt(7610 / 5) = 39.01: 1.5 sd = 58.5 sets 100 aside; then
      // {1,2,3,4}: mean 2.5, 1.5 sd = 1.68 keeps all.
      {"one outlier, 1.5 sigma", {1, 2, 3, 4, 100}, 1.5, 22.0f, 2.5f},
      // 3 sd = 117 keeps 100.
      {"one outlier, 3 sigma", {1, 2, 3, 4, 100}, 3.0, 22.0f, 22.0f},
      // mean 2.75, 2 sd = 16.5 sets 30 aside; then mean 3/11, 2 sd = 1.72
      // sets 3 aside; then ten zeros with sd 0 keep all.
      {"two passes", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 30}, 2.0, 2.75f, 0.0f},
      {"all equal", {5, 5, 5}, 3.0, 5.0f, 5.0f},
      {"one member", {-7.5f}, 3.0, -7.5f, -7.5f},
      {"empty ring", {}, 3.0, 0.0f, 0.0f},
  };
  for (const ClipCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MeanOfSamples(c.values.data(), c.values.size()), c.mean);
    EXPECT_EQ(SigmaClippedMean(c.values.data(), c.values.size(), c.sigma), c.clipped);
  }
}

}  // namespace

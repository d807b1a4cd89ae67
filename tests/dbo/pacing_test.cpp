// How long loops spread their progress-bar steps.
#include <gtest/gtest.h>

#include "dbo/dbo.h"
#include "dbo_test_support.h"

namespace tessaline::testing {
namespace {

TEST(Pacing, ComputesStepAndThresholdFromItemsTimesFactor) {
  struct Case {
    uint64_t n;
    double factor;
    int step;
    uint64_t threshold;
  };
  const Case cases[] = {
      {450, 2.0 / 45.0, 1, 20},  // x = 20
      {10, 2.0 / 45.0, 2, 1},    // x = 0.44: step 1 / x = 2.25 truncated
      {100, 0.0125, 1, 1},       // x = 1.25
      {1, 0.05, 20, 1},          // x = 0.05
      {23, 2.0 / 45.0, 1, 1},    // x = 1.02
      {22, 2.0 / 45.0, 1, 1},    // x = 0.98: step 1.02 truncated
      {0, 2.0 / 45.0, 0, 1},     // no items: the bar never moves
      {1000000, 2.0 / 45.0, 1, 44444},
  };
  for (const Case& c : cases) {
    const Pacing pacing = Pacing::For(c.n, c.factor);
    EXPECT_EQ(pacing.step, c.step) << c.n;
    EXPECT_EQ(pacing.threshold, c.threshold) << c.n;
  }
}

// The items after which a loop over n items steps the bar.
std::vector<uint64_t> SteppedAfter(uint64_t n, double factor) {
  Pacing pacing = Pacing::For(n, factor);
  RecordingProgress progress;
  std::vector<uint64_t> items;
  for (uint64_t i = 0; i < n; ++i) {
    const int before = progress.stepCount;
    pacing.After(i, progress);
    if (progress.stepCount != before) items.push_back(i);
  }
  return items;
}

TEST(Pacing, StepsAtDoublingThresholds) {
  EXPECT_EQ(SteppedAfter(450, 2.0 / 45.0), (std::vector<uint64_t>{20, 40, 80, 160, 320}));
  EXPECT_EQ(SteppedAfter(10, 2.0 / 45.0), (std::vector<uint64_t>{1, 2, 4, 8}));
  EXPECT_EQ(SteppedAfter(100, 0.0125), (std::vector<uint64_t>{1, 2, 4, 8, 16, 32, 64}));
  EXPECT_EQ(SteppedAfter(23, 2.0 / 45.0), (std::vector<uint64_t>{1, 2, 4, 8, 16}));
  EXPECT_TRUE(SteppedAfter(1, 0.05).empty());
}

}  // namespace
}  // namespace tessaline::testing

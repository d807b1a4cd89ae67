// How long loops spread their progress-bar steps.
#include <gtest/gtest.h>

#include <tuple>

#include "dbo/dbo.h"
#include "dbo_test_support.h"

namespace tessaline::testing {
namespace {

TEST(Pacing, StepsAtDoublingThresholdsFromItemsTimesFactor) {
  const std::tuple<uint64_t, double, int, std::vector<uint64_t>> cases[] = {
      // n, factor, step, stepped after
      {450, 2.0 / 45.0, 1, {20, 40, 80, 160, 320}},                // x = 20
      {10, 2.0 / 45.0, 2, {1, 2, 4, 8}},                           // x = 0.44: step 1 / x = 2.25 truncated
      {100, 0.0125, 1, {1, 2, 4, 8, 16, 32, 64}},                  // x = 1.25
      {6, 2.0 / 45.0, 3, {1, 2, 4}},                               // x = 0.27: step 3.75 truncated
      {22, 2.0 / 45.0, 1, {1, 2, 4, 8, 16}},                       // x = 0.98: step 1.02 truncated
      {1, 0.05, 20, {}},                                           // x = 0.05
      {0, 2.0 / 45.0, 0, {}},                                      // no items: the bar never moves
      {100010, 2.0 / 45.0, 1, {4444, 8888, 17776, 35552, 71104}},  // x = 4444.9
  };
  for (const auto& [n, factor, step, steppedAfter] : cases) {
    Pacing pacing = Pacing::For(n, factor);
    EXPECT_EQ(pacing.step, step) << n;
    StepCounter progress;
    std::vector<uint64_t> stepped;
    for (uint64_t i = 0; i < n; ++i) {
      const int before = progress.steps;
      pacing.After(i, progress);
      if (progress.steps != before) stepped.push_back(i);
    }
    EXPECT_EQ(stepped, steppedAfter) << n;
  }
}

}  // namespace
}  // namespace tessaline::testing

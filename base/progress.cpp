#include "base/base.h"

namespace tessaline {

Pacing Pacing::For(uint64_t n, double factor) {
  Pacing pacing;
  const double x = static_cast<double>(n) * factor;
  if (!(x > 0.0)) {
    // No items (or no factor): 1 / x has no value, so the bar does not move at all.
    pacing.threshold = 1;
    pacing.step = 0;
  } else if (x < 1.0) {
    pacing.threshold = 1;
    const double step = 1.0 / x;
    // The bar's range is 0..100, so anything from 100 on behaves the same; clamp before converting.
    pacing.step = step >= 1e9 ? 1000000000 : static_cast<int>(step);
  } else {
    pacing.threshold = x >= 1.8e19 ? UINT64_MAX : static_cast<uint64_t>(x);
    pacing.step = 1;
  }
  return pacing;
}

}  // namespace tessaline

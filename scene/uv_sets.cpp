// A corner's texture-coordinate slots: the first present one inline, the others in a small array.
#include <algorithm>

#include "scene/scene.h"

namespace tessaline {

UvSets& UvSets::operator=(const UvSets& other) {
  if (this == &other) return *this;
  mask_ = other.mask_;
  first_[0] = other.first_[0];
  first_[1] = other.first_[1];
  const uint32_t more = other.Count() > 1 ? other.Count() - 1 : 0;
  if (more == 0) {
    more_.reset();
  } else {
    more_ = std::make_unique<float[]>(2 * more);
    std::copy(other.more_.get(), other.more_.get() + 2 * more, more_.get());
  }
  return *this;
}

uint32_t UvSets::Count() const {
  return static_cast<uint32_t>(__builtin_popcount(mask_));
}

UvSet UvSets::Get(int slot) const {
  if (slot < 0 || slot > 3 || (mask_ & (1u << slot)) == 0) return {};
  // The position of the slot among the present ones.
  const int rank = __builtin_popcount(mask_ & ((1u << slot) - 1));
  if (rank == 0) return {true, first_[0], first_[1]};
  return {true, more_[2 * (rank - 1)], more_[2 * (rank - 1) + 1]};
}

void UvSets::Set(int slot, float u, float v) {
  if (slot < 0 || slot > 3) return;
  if (mask_ == 0 || mask_ == (1u << slot)) {  // the only slot: the usual corner
    mask_ = static_cast<uint8_t>(1u << slot);
    first_[0] = u;
    first_[1] = v;
    return;
  }
  UvSet all[4];
  for (int k = 0; k < 4; ++k)
    all[k] = Get(k);
  all[slot] = {true, u, v};
  mask_ = static_cast<uint8_t>(mask_ | (1u << slot));
  const uint32_t count = Count();
  std::unique_ptr<float[]> more = count > 1 ? std::make_unique<float[]>(2 * (count - 1)) : nullptr;
  int rank = 0;
  for (const UvSet& set : all) {
    if (!set.present) continue;
    float* pair = rank == 0 ? first_ : more.get() + 2 * (rank - 1);
    pair[0] = set.u;
    pair[1] = set.v;
    ++rank;
  }
  more_ = std::move(more);
}

void UvSets::Clear() {
  mask_ = 0;
  first_[0] = first_[1] = 0.0f;
  more_.reset();
}

}  // namespace tessaline

#include "extract_phone_numbers/number_key_set.h"

bool NumberKeySet::insert(std::uint64_t key) {
  // Linear probing stays short up to 7/8 full with keys spread by the hash.
  if (8 * (size_ + 1) > 7 * slots_.size()) {
    grow();
  }
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = home_of(key);; slot = (slot + 1) & mask) {
    if (slots_[slot] == key) {
      return false;
    }
    if (slots_[slot] == 0) {
      slots_[slot] = key;
      ++size_;
      return true;
    }
  }
}

// Takes the key out and moves later keys of its run back into the hole where their probe
// would pass it, so that every key stays reachable from its home slot without gaps.
void NumberKeySet::erase(std::uint64_t key) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t hole = home_of(key);
  while (slots_[hole] != key) {
    if (slots_[hole] == 0) {
      return;
    }
    hole = (hole + 1) & mask;
  }
  for (std::size_t next = (hole + 1) & mask; slots_[next] != 0; next = (next + 1) & mask) {
    if (((next - home_of(slots_[next])) & mask) >= ((next - hole) & mask)) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = 0;
  --size_;
}

// Fibonacci hashing spreads keys that differ only in their last digits.
std::size_t NumberKeySet::home_of(std::uint64_t key) const {
  return (key * 0x9E3779B97F4A7C15ULL) >> 20 & (slots_.size() - 1);
}

void NumberKeySet::grow() {
  std::vector<std::uint64_t> old_slots(2 * slots_.size());
  old_slots.swap(slots_);
  size_ = 0;
  for (const std::uint64_t key : old_slots) {
    if (key != 0) {
      insert(key);
    }
  }
}

#include "extract_phone_numbers/number_key_set.h"

bool NumberKeySet::insert(std::uint64_t key, bool held) {
  // Linear probing stays short up to 7/8 full with keys spread by the hash.
  if (8 * (size_ + 1) > 7 * slots_.size()) {
    grow();
  }
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = home_of(key);; slot = (slot + 1) & mask) {
    if ((slots_[slot] & ~kHeld) == key) {
      return false;
    }
    if (slots_[slot] == 0) {
      slots_[slot] = held ? key | kHeld : key;
      ++size_;
      held_ += held ? 1 : 0;
      return true;
    }
  }
}

// Takes the key out and moves later keys of its run back into the hole where their probe
// would pass it, so that every key stays reachable from its home slot without gaps.
void NumberKeySet::erase(std::uint64_t key) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t hole = home_of(key);
  while ((slots_[hole] & ~kHeld) != key) {
    if (slots_[hole] == 0) {
      return;
    }
    hole = (hole + 1) & mask;
  }
  held_ -= (slots_[hole] & kHeld) != 0 ? 1 : 0;
  for (std::size_t next = (hole + 1) & mask; slots_[next] != 0; next = (next + 1) & mask) {
    if (((next - home_of(slots_[next] & ~kHeld)) & mask) >= ((next - hole) & mask)) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = 0;
  --size_;
}

void NumberKeySet::keep_held() {
  if (held_ == 0) {
    return;
  }
  for (std::uint64_t& slot : slots_) {
    slot &= ~kHeld;
  }
  held_ = 0;
}

// An erase moves only keys of the slots after the hole (in the order of probing) back into it,
// and the keys of the slots passed are none held: so each slot is looked at again after an
// erase there, and every key held is found.
std::size_t NumberKeySet::drop_held() {
  const std::size_t dropped = held_;
  for (std::size_t slot = 0; slot < slots_.size() && held_ > 0;) {
    if ((slots_[slot] & kHeld) != 0) {
      erase(slots_[slot] & ~kHeld);
    } else {
      ++slot;
    }
  }
  return dropped;
}

// Fibonacci hashing spreads keys that differ only in their last digits.
std::size_t NumberKeySet::home_of(std::uint64_t key) const {
  return (key * 0x9E3779B97F4A7C15ULL) >> 20 & (slots_.size() - 1);
}

void NumberKeySet::grow() {
  std::vector<std::uint64_t> old_slots(2 * slots_.size());
  old_slots.swap(slots_);
  size_ = 0;
  held_ = 0;
  for (const std::uint64_t slot : old_slots) {
    if (slot != 0) {
      insert(slot & ~kHeld, (slot & kHeld) != 0);
    }
  }
}

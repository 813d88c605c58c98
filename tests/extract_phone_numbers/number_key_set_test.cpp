#include "extract_phone_numbers/number_key_set.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr int kKeys = 5000;  // the set grows from 1,024 slots to 8,192

// The key of Taiwanese mobile number `index`, each index its own number, spread over the
// range as a list's numbers are (consecutive keys would rarely share a run of slots).
std::uint64_t key_of(int index) {
  return 886900000000 + static_cast<std::uint64_t>(index) * 2654435761 % 100000000;
}

TEST(NumberKeySetTest, KeepsEachKeyOnceWhileGrowingAndAfterErasing) {
  NumberKeySet set;
  for (int index = 0; index < kKeys; ++index) {
    EXPECT_TRUE(set.insert(key_of(index))) << index;
  }
  for (int index = 0; index < kKeys; ++index) {
    EXPECT_FALSE(set.insert(key_of(index))) << index;
  }
  for (int index = 1; index < kKeys; index += 2) {
    set.erase(key_of(index));
  }
  set.erase(key_of(kKeys));  // never there
  // Every key left stays reachable past the holes the erased ones left.
  for (int index = 0; index < kKeys; ++index) {
    EXPECT_EQ(set.insert(key_of(index)), index % 2 == 1) << index;
  }
}

// Keys held are dropped or kept together, however the erases and the growth moved them, and
// the keys not held stay; a key held after the others were kept is dropped alone.
TEST(NumberKeySetTest, DropsOrKeepsTheKeysHeldTogether) {
  const auto held = [](int index) { return index % 3 != 0; };
  for (const bool keep : {false, true}) {
    NumberKeySet set;
    for (int index = 0; index < kKeys; ++index) {
      EXPECT_TRUE(set.insert(key_of(index), held(index))) << index;
    }
    EXPECT_FALSE(set.insert(key_of(1)));  // held, stays held
    if (keep) {
      set.keep_held();
      set.insert(key_of(kKeys), true);
    }
    EXPECT_EQ(set.drop_held(), keep ? std::size_t{1} : std::size_t{kKeys * 2 / 3});
    EXPECT_EQ(set.drop_held(), 0U);
    for (int index = 0; index <= kKeys; ++index) {
      EXPECT_EQ(set.insert(key_of(index)), index == kKeys || (!keep && held(index))) << index;
    }
  }
}

}  // namespace

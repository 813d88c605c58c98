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

}  // namespace

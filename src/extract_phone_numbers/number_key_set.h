#ifndef CHANGE_UTF8_NUMBER_KEY_SET_H_
#define CHANGE_UTF8_NUMBER_KEY_SET_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// A set of number keys (FoundNumber::key, never 0) in one array, open addressing: 9 to 18
// bytes a key, a third of what a node-based set takes. A key may be added held: the keys held
// are then kept or dropped together, as the numbers of a spreadsheet are once it has been read
// whole or has failed, without a list of them beside the set.
class NumberKeySet {
 public:
  // Adds `key`, held or not; false when it was there already (then it stays as it was).
  // REQUIRES: key != 0, key < 2^63 (an E.164 number has at most 15 digits).
  bool insert(std::uint64_t key, bool held = false);
  // Removes `key`, if it is there.
  void erase(std::uint64_t key);
  // Keeps every key held as any other.
  void keep_held();
  // Removes every key held; returns how many.
  std::size_t drop_held();

 private:
  // A slot holds a key and, in its top bit, whether the key is held.
  static constexpr std::uint64_t kHeld = std::uint64_t{1} << 63;

  [[nodiscard]] std::size_t home_of(std::uint64_t key) const;
  void grow();

  std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(1024);  // 0: empty
  std::size_t size_ = 0;
  std::size_t held_ = 0;
};

#endif  // CHANGE_UTF8_NUMBER_KEY_SET_H_

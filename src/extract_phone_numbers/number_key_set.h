#ifndef CHANGE_UTF8_NUMBER_KEY_SET_H_
#define CHANGE_UTF8_NUMBER_KEY_SET_H_

#include <cstddef>
#include <cstdint>
#include <vector>

// A set of number keys (FoundNumber::key, never 0) in one array, open addressing: 9 to 18
// bytes a key, a third of what a node-based set takes.
class NumberKeySet {
 public:
  // Adds `key`; false when it was there already. REQUIRES: key != 0.
  bool insert(std::uint64_t key);
  // Removes `key`, if it is there.
  void erase(std::uint64_t key);

 private:
  [[nodiscard]] std::size_t home_of(std::uint64_t key) const;
  void grow();

  std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(1024);  // 0: empty
  std::size_t size_ = 0;
};

#endif  // CHANGE_UTF8_NUMBER_KEY_SET_H_

#ifndef CHANGE_UTF8_STRING_TABLE_H_
#define CHANGE_UTF8_STRING_TABLE_H_

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

// A table of texts numbered from 0, held compactly: the texts one after the other in one
// buffer, and where each ends. Each costs its bytes and 4 more, whatever its size; a table of
// millions of empty texts (an .xlsx's shared strings made to exhaust memory) takes less than
// the part that lists them, 5 bytes or more each.
class StringTable {
 public:
  // Adds `text` as the next one.
  // REQUIRES: the texts together stay below 4 GiB (a part unpacks to at most 1 GiB).
  void add(std::string_view text) {
    assert(text.size() < std::size_t{UINT32_MAX} - texts_.size());
    texts_.append(text);
    ends_.push_back(static_cast<std::uint32_t>(texts_.size()));
  }

  // Gives back the room kept for texts to come.
  void shrink_to_fit() {
    texts_.shrink_to_fit();
    ends_.shrink_to_fit();
  }

  // The number of texts.
  [[nodiscard]] std::size_t size() const { return ends_.size(); }

  // The text numbered `index`, valid while the table lives.
  // REQUIRES: index < size().
  [[nodiscard]] std::string_view operator[](std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(texts_).substr(begin, ends_[index] - begin);
  }

 private:
  std::string texts_;
  std::deque<std::uint32_t> ends_;  // grows block by block, never copied whole
};

#endif  // CHANGE_UTF8_STRING_TABLE_H_

#include "change_utf8/entry_splitter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::int64_t, std::string>>;  // line, entry

// The entries of `text` given in two pieces, split after `split` bytes.
Entries split_entries(std::string_view text, std::size_t split) {
  EntrySplitter splitter;
  Entries entries;
  bool open = false;
  const auto take = [&](const EntryPiece& piece) {
    EXPECT_EQ(piece.begins_entry, !open);
    if (piece.begins_entry) {
      entries.emplace_back(piece.line, "");
    }
    entries.back().second += piece.bytes;
    open = !piece.ends_entry;
  };
  for (const std::string_view piece : {text.substr(0, split), text.substr(split)}) {
    splitter.give(piece);
    while (const std::optional<EntryPiece> next = splitter.next()) {
      take(*next);
    }
  }
  if (const std::optional<EntryPiece> last = splitter.end()) {
    take(*last);
  }
  EXPECT_FALSE(open);
  return entries;
}

TEST(EntrySplitterTest, SplitsAtWhiteSpaceAndCountsLineEndsHoweverTheTextIsCut) {
  const struct {
    std::string text;
    Entries entries;
  } rows[] = {
      {"", {}},
      {" \t\r\n\v\f", {}},
      {"0912", {{1, "0912"}}},
      {"a b\tc", {{1, "a"}, {1, "b"}, {1, "c"}}},
      {"a\r\n\r\nb\n", {{1, "a"}, {3, "b"}}},
      {"\n\n  x\vy\fz\rw", {{3, "x"}, {3, "y"}, {3, "z"}, {4, "w"}}},
      {"a\rb\n\r\rc\r", {{1, "a"}, {2, "b"}, {5, "c"}}},  // CR, LF and CR LF each end a line
      {"a\n\rb\r\n\nc\r \nd", {{1, "a"}, {3, "b"}, {5, "c"}, {7, "d"}}},
      {std::string("\0\x85\xE7\x8E\x8B\n+1", 8),
       {{1, std::string("\0\x85\xE7\x8E\x8B", 5)}, {2, "+1"}}},
  };
  for (const auto& row : rows) {
    for (std::size_t split = 0; split <= row.text.size(); ++split) {
      EXPECT_EQ(split_entries(row.text, split), row.entries) << row.text << " split " << split;
    }
  }
}

}  // namespace

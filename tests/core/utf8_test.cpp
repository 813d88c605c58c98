#include "core/utf8.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace {

TEST(Utf8Test, GivesTheLengthOfAWellFormedCharacterAndZeroForIllFormedBytes) {
  const struct {
    std::string text;
    std::size_t length;
  } rows[] = {
      {"a,", 1},
      {"\xC3\xA9,", 2},
      {"\xE7\x8E\x8B,", 3},
      {"\xF0\x9F\x93\xB1,", 4},
      {"\xE4,912", 0},          // a lead byte, and no byte that continues it
      {"\xE7\x8E", 0},          // cut short by the end of the text
      {"\x8E\x8B", 0},          // a continuation byte
      {"\xC0\xAF", 0},          // an overlong form
      {"\xED\xA0\x80", 0},      // a surrogate
      {"\xF4\x90\x80\x80", 0},  // beyond U+10FFFF
  };
  for (const auto& row : rows) {
    EXPECT_EQ(utf8::character_length(row.text), row.length) << row.text;
  }
}

}  // namespace

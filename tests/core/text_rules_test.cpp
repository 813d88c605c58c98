#include "core/text_rules.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "core/utf8.h"

namespace {

// Each row: one character, or bytes that are none, and how many bytes each rule takes of it.
TEST(TextRulesTest, TellsCharactersWhiteSpaceCellSeparatorsAndDigitsByTheirBytes) {
  const struct {
    std::string text;
    std::size_t whitespace;
    std::size_t cell_separator;
    std::size_t digit;
    bool ill_formed = false;  // utf8::character_length gives 0, else the row's whole size
  } rows[] = {
      {" ", 1, 1, 0},
      {"\t", 1, 1, 0},
      {"\v", 1, 1, 0},
      {"\f", 1, 1, 0},
      {"\n", 0, 0, 0},  // line ends end lines before cells are looked at
      {"\r", 0, 0, 0},
      {"\xC2\xA0", 2, 2, 0},      // no-break space
      {"\xE1\x9A\x80", 3, 3, 0},  // ogham space mark
      {"\xE2\x80\x83", 3, 3, 0},  // em space
      {"\xE2\x80\x8B", 0, 0, 0},  // zero-width space: no white space
      {"\xE2\x80\xA9", 3, 3, 0},  // paragraph separator
      {"\xE2\x80\xAF", 3, 3, 0},  // narrow no-break space
      {"\xE2\x81\x9F", 3, 3, 0},  // medium mathematical space
      {"\xE3\x80\x80", 3, 3, 0},  // ideographic space
      {",", 0, 1, 0},
      {";", 0, 1, 0},
      {"|", 0, 1, 0},
      {"\xE3\x80\x81", 0, 3, 0},  // 、
      {"\xEF\xBC\x8C", 0, 3, 0},  // ，
      {"\xEF\xBC\x9B", 0, 3, 0},  // ；
      {"0", 0, 0, 1},
      {"9", 0, 0, 1},
      {"\xEF\xBC\x90", 0, 0, 3},  // full-width 0
      {"\xEF\xBC\x99", 0, 0, 3},  // full-width 9
      {"\xEF\xBC\x9A", 0, 0, 0},  // full-width colon
      {"a", 0, 0, 0},
      {"\xF0\x9F\x93\xB1", 0, 0, 0},        // U+1F4F1
      {"\xEF\xBC", 0, 0, 0, true},          // cut short by the end of the text
      {"\xE4,912", 0, 0, 0, true},          // a lead byte, and no byte that continues it
      {"\x8E\x8B", 0, 0, 0, true},          // a continuation byte
      {"\xC0\xAF", 0, 0, 0, true},          // an overlong form
      {"\xED\xA0\x80", 0, 0, 0, true},      // a surrogate
      {"\xF4\x90\x80\x80", 0, 0, 0, true},  // beyond U+10FFFF
  };
  for (const auto& row : rows) {
    EXPECT_EQ(whitespace_length(row.text), row.whitespace) << row.text;
    EXPECT_EQ(cell_separator_length(row.text), row.cell_separator) << row.text;
    EXPECT_EQ(digit_length(row.text), row.digit) << row.text;
    EXPECT_EQ(utf8::character_length(row.text), row.ill_formed ? 0 : row.text.size()) << row.text;
  }
}

}  // namespace

#include "core/text_rules.h"

#include <algorithm>
#include <initializer_list>

namespace {

bool starts_with_any(std::string_view text, std::initializer_list<std::string_view> prefixes) {
  return std::ranges::any_of(prefixes,
                             [text](std::string_view prefix) { return text.starts_with(prefix); });
}

}  // namespace

std::size_t whitespace_length(std::string_view text) {
  if (is_space_within_line(text[0])) {
    return 1;
  }
  if (text.starts_with("\xC2\xA0")) {
    return 2;
  }
  const bool typographic_space = text.size() >= 3 && text.starts_with("\xE2\x80") &&
                                 (static_cast<unsigned char>(text[2]) <= 0x8A ||
                                  starts_with_any(text.substr(2), {"\xA8", "\xA9", "\xAF"}));
  return typographic_space ||
                 starts_with_any(text, {"\xE1\x9A\x80", "\xE2\x81\x9F", "\xE3\x80\x80"})
             ? 3
             : 0;
}

std::size_t cell_punctuation_length(std::string_view text) {
  if (text[0] == ',' || text[0] == ';' || text[0] == '|') {
    return 1;
  }
  return starts_with_any(text, {"\xE3\x80\x81", "\xEF\xBC\x8C", "\xEF\xBC\x9B"}) ? 3 : 0;
}

std::size_t cell_separator_length(std::string_view text) {
  const std::size_t punctuation = cell_punctuation_length(text);
  return punctuation > 0 ? punctuation : whitespace_length(text);
}

std::size_t full_width_digit_length(std::string_view text) {
  const bool full_width = text.size() >= 3 && text.starts_with("\xEF\xBC") &&
                          static_cast<unsigned char>(text[2]) >= 0x90 &&
                          static_cast<unsigned char>(text[2]) <= 0x99;
  return full_width ? 3 : 0;
}

std::size_t digit_length(std::string_view text) {
  return is_ascii_digit(text[0]) ? 1 : full_width_digit_length(text);
}

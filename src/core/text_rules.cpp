#include "core/text_rules.h"

#include <algorithm>
#include <initializer_list>

#include "core/utf8.h"

namespace {

bool starts_with_any(std::string_view text, std::initializer_list<std::string_view> prefixes) {
  return std::ranges::any_of(prefixes,
                             [text](std::string_view prefix) { return text.starts_with(prefix); });
}

// Whether `text` starts with an ASCII character. The tests below run on every character
// searched, most of them ASCII: they rule those out before comparing longer sequences.
bool starts_with_ascii(std::string_view text) {
  return static_cast<unsigned char>(text[0]) < 0x80;
}

}  // namespace

std::size_t whitespace_length(std::string_view text) {
  if (is_space_within_line(text[0])) {
    return 1;
  }
  if (starts_with_ascii(text)) {
    return 0;
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
  if (starts_with_ascii(text)) {
    return text[0] == ',' || text[0] == ';' || text[0] == '|' ? 1 : 0;
  }
  return starts_with_any(text, {"\xE3\x80\x81", "\xEF\xBC\x8C", "\xEF\xBC\x9B"}) ? 3 : 0;
}

std::size_t number_parting_length(std::string_view text) {
  if (const std::size_t punctuation = cell_punctuation_length(text);
      punctuation > 0 || starts_with_ascii(text)) {
    return punctuation;
  }
  const bool chinese = utf8::character_length(text) == 3 &&
                       utf8::code_point(text.substr(0, 3)) >= U'\u4E00' &&
                       utf8::code_point(text.substr(0, 3)) <= U'\u9FFF';
  return chinese ? 3 : 0;
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

std::size_t group_dot_length(std::string_view text) {
  if (starts_with_ascii(text)) {
    return 0;
  }
  if (text.starts_with("\xC2\xB7")) {
    return 2;
  }
  return starts_with_any(text, {"\xE2\x80\xA7", "\xE3\x83\xBB", "\xEF\xBD\xA5", "\xE2\x80\xA2"})
             ? 3
             : 0;
}

std::size_t stray_character_length(std::string_view text) {
  const auto byte = static_cast<unsigned char>(text[0]);
  if (byte < 0x80) {
    return (byte < 0x20 && text[0] != '\t') || byte == 0x7F ? 1 : 0;
  }
  const std::size_t length = utf8::character_length(text);
  if (length == 0) {
    return 0;
  }
  const char32_t point = utf8::code_point(text.substr(0, length));
  const bool control = point <= 0x9F;
  const bool non_character = (point >= 0xFDD0 && point <= 0xFDEF) || (point & 0xFFFE) == 0xFFFE;
  return control || non_character ? length : 0;
}

#ifndef CHANGE_UTF8_TEXT_RULES_H_
#define CHANGE_UTF8_TEXT_RULES_H_

#include <cstddef>
#include <string_view>

// What the characters of a list or an answer are to both programs: white space, line ends,
// separators of cells, digits, and how many digits a phone number has. Each rule has its one
// home here, so that no copy of it drifts.

// ASCII white space: space, tab, line feed, vertical tab, form feed, carriage return. It ends
// an entry of a phone list and an answer, as it ends a word read from a stream in the classic
// locale.
inline bool is_ascii_space(char byte) {
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// The bytes that end lines: carriage return and line feed.
inline constexpr std::string_view kLineEndBytes = "\r\n";

inline bool is_line_end(char byte) {
  return byte == '\r' || byte == '\n';
}

// Whether `byte` ends a line as any editor counts lines, `after_carriage_return` telling
// whether the byte before it was CR: a CR (old Mac line ends) and an LF each end one, but the
// LF of CR LF (Windows line ends) ends none of its own.
inline bool ends_line(char byte, bool after_carriage_return) {
  return byte == '\r' || (byte == '\n' && !after_carriage_return);
}

// ASCII white space that stays within a line: space, tab, vertical tab, form feed.
inline bool is_space_within_line(char byte) {
  return is_ascii_space(byte) && !is_line_end(byte);
}

inline constexpr std::string_view kAsciiDigits = "0123456789";

inline bool is_ascii_digit(char byte) {
  return byte >= '0' && byte <= '9';
}

// A phone number has at least this many digits (a number without its area code) and at most
// this many (as E.164 allows): a run of digits outside these bounds is no number.
inline constexpr int kFewestDigitsOfANumber = 7;
inline constexpr int kMostDigitsOfANumber = 15;

// The functions below look at the character at the start of `text` and give how many bytes
// it takes when it is of the kind asked about, 0 when it is not. REQUIRES: `text` is not empty.

// White space of any kind but the line ends: is_space_within_line, the no-break space, the
// typographic spaces (U+1680, U+2000 to U+200A, U+202F, U+205F), the line and paragraph
// separators (U+2028, U+2029), the ideographic space.
std::size_t whitespace_length(std::string_view text);

// Punctuation that lists put between cells: , ; | and 、 ， ；.
std::size_t cell_punctuation_length(std::string_view text);

// A character that parts two numbers: punctuation between cells, or a Chinese character (U+4E00
// to U+9FFF). libphonenumber's matcher joins no two runs of digits across one, nor refuses a
// number for standing beside one, so a text may be cut there without cutting a number.
std::size_t number_parting_length(std::string_view text);

// A character that ends a cell: white space or punctuation between cells.
std::size_t cell_separator_length(std::string_view text);

// A full-width digit, U+FF10 to U+FF19, as a Chinese input method types digits.
std::size_t full_width_digit_length(std::string_view text);

// An ASCII digit (1) or a full-width one (3).
std::size_t digit_length(std::string_view text);

// A dot that people write between the groups of a number as they write `.`: the middle dot
// U+00B7, the hyphenation point U+2027 (Big5's dot), the katakana middle dot U+30FB and its
// half-width form U+FF65, the bullet U+2022.
std::size_t group_dot_length(std::string_view text);

// A character that stands in a list only by mistake: a control (C0 but tab, DEL, C1) or a
// non-character (U+FDD0 to U+FDEF, and the last two code points of every plane, U+FFFE,
// U+FFFF, U+1FFFE, ...). A search takes it as a space.
std::size_t stray_character_length(std::string_view text);

#endif  // CHANGE_UTF8_TEXT_RULES_H_

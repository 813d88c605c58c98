#ifndef CHANGE_UTF8_TEXT_RULES_H_
#define CHANGE_UTF8_TEXT_RULES_H_

#include <cstddef>
#include <string_view>

// What the characters of a list are to the programs: white space, separators of cells,
// digits. Each function looks at the start of a text and says how many bytes the character
// there takes when it is of the kind asked about, 0 when it is not.
// REQUIRES (of each): `text` is not empty.

// White space of any kind: ASCII space, tab, vertical tab and form feed, the no-break space,
// the typographic spaces, the ideographic space.
std::size_t whitespace_length(std::string_view text);

// A character that ends a cell: white space, or one of , ; | 、 ， ；.
std::size_t cell_separator_length(std::string_view text);

// An ASCII digit (1) or a full-width one (3).
std::size_t digit_length(std::string_view text);

// The bytes of the character at the start of `text`; an ill-formed byte counts as one.
std::size_t character_bytes(std::string_view text);

#endif  // CHANGE_UTF8_TEXT_RULES_H_

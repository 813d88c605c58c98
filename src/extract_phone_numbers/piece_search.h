#ifndef CHANGE_UTF8_PIECE_SEARCH_H_
#define CHANGE_UTF8_PIECE_SEARCH_H_

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "extract_phone_numbers/extraction_notes.h"
#include "extract_phone_numbers/phone_number_finder.h"

// A line is searched in pieces, so that memory stays bounded however long the line is. A
// piece ends only where no number can go on across its end: after a character that parts
// numbers (the punctuation between cells, a Chinese character), or at white space between two
// words (runs of other characters) that no number spans: two that hold no digit, or two numbers
// alone (as many digits as a number has, perhaps a + before them and dashes among them). It
// ends at the last such place among its first kLongestPiece characters, else the first after.
inline constexpr std::size_t kLongestPiece = 4096;

// A stretch of this many characters with no such place, which no list of names and numbers
// holds, is cut at its last white space, or else after its last character.
inline constexpr std::size_t kLongestUncutPiece = std::size_t{64} * 1024;

// The bytes of the first piece of `text`, the part of a line not yet searched, `line_ended`
// telling whether the line ends with `text`. Nullopt when the piece may go on past `text`, or
// (`line_ended`) when `text` is one piece.
std::optional<std::size_t> first_piece_length(std::string_view text, bool line_ended);

// What searching a piece of a line gives.
struct PieceYield {
  // The numbers PhoneNumberFinder found in the piece, in order, and after them each cell taken
  // as a number read alone, in order, its begin and end being the cell's place in the piece.
  std::vector<FoundNumber> numbers;
  std::size_t cells_taken = 0;  // how many of `numbers`, at their end, are such cells
  // Whether a cell of the piece is a number in E notation as a spreadsheet writes it.
  bool holds_e_notation = false;
  // Whether it holds digits that look like a number missed (digits_missed).
  DigitsMissed digits_missed = DigitsMissed::None;
};

// Searches `piece`, the text of a line or a part of it, with `finder`: in parts, each of two
// numbers alone with white space between them searched apart (as fast as on lines of their
// own, and as the matcher, which would search them together, finds them). A cell is the text
// between cell separators (cell_separator_length); one made of as many ASCII or full-width
// digits as a number has (kFewestDigitsOfANumber to kMostDigitsOfANumber) that overlaps none of
// the finder's numbers is taken when it is a number read alone (PhoneNumberFinder::cell_number):
// written whole, or a mobile number that lost its national prefix, as a column does.
[[nodiscard]] PieceYield search_piece(const PhoneNumberFinder& finder, std::string_view piece);

// Searches `value`, the exact value of a spreadsheet's number cell (SpreadsheetCell), without
// the matcher: an integral value of kFewestDigitsOfANumber to kMostDigitsOfANumber digits is
// taken, as the one cell of the yield, when it is a number read alone
// (PhoneNumberFinder::cell_number). Its digits_missed says whether a value of digits not taken
// looks like a number missed (digits_missed).
[[nodiscard]] PieceYield search_number_cell(const PhoneNumberFinder& finder,
                                            std::string_view value);

#endif  // CHANGE_UTF8_PIECE_SEARCH_H_

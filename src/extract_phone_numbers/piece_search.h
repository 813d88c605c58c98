#ifndef CHANGE_UTF8_PIECE_SEARCH_H_
#define CHANGE_UTF8_PIECE_SEARCH_H_

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "extract_phone_numbers/extraction_notes.h"
#include "extract_phone_numbers/phone_number_finder.h"

// A line is searched in pieces of at most this many characters, each ending at whitespace or
// another cell separator where the line has some, so that memory stays bounded however long
// the line is.
inline constexpr std::size_t kLongestPiece = 4096;

// The bytes of the first piece of `text`, the part of a line not yet searched: its first
// kLongestPiece characters, up to and with the last cell separator among them when there is
// one. Nullopt when `text` is no longer than a piece: the line may go on after it.
std::optional<std::size_t> first_piece_length(std::string_view text);

// What searching a piece of a line gives.
struct PieceYield {
  // The numbers PhoneNumberFinder found in the piece, in order, and after them each cell taken
  // as a number that lost its leading 0, in order, its begin and end being the cell's place in
  // the piece.
  std::vector<FoundNumber> numbers;
  std::size_t cells_taken = 0;  // how many of `numbers`, at their end, are such cells
  // Whether a cell of the piece is a number in E notation as a spreadsheet writes it.
  bool holds_e_notation = false;
  // Whether it holds digits that look like a number missed (digits_missed).
  DigitsMissed digits_missed = DigitsMissed::None;
};

// Searches `piece`, the text of a line or a part of it, with `finder`. A cell is the text
// between cell separators (cell_separator_length); one made of as many ASCII or full-width
// digits as a number has (kFewestDigitsOfANumber to kMostDigitsOfANumber) that overlaps none of
// the finder's numbers and is a valid mobile number for the region (FoundNumber::mobile) is
// taken as a column that lost its leading 0.
[[nodiscard]] PieceYield search_piece(const PhoneNumberFinder& finder, std::string_view piece);

#endif  // CHANGE_UTF8_PIECE_SEARCH_H_

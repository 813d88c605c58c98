#ifndef CHANGE_UTF8_PIECE_SEARCH_H_
#define CHANGE_UTF8_PIECE_SEARCH_H_

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

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
  // as a number read alone, in order, its begin and end being the cell's place in the piece.
  std::vector<FoundNumber> numbers;
  std::size_t cells_taken = 0;  // how many of `numbers`, at their end, are such cells
  // Whether a cell of the piece is a number in E notation as a spreadsheet writes it.
  bool holds_e_notation = false;
};

// Searches `piece`, the text of a line or a part of it, with `finder`. A cell is the text
// between cell separators (cell_separator_length); one made of as many ASCII or full-width
// digits as a number has (kFewestDigitsOfANumber to kMostDigitsOfANumber) that overlaps none of
// the finder's numbers is taken when it is a number read alone (PhoneNumberFinder::cell_number):
// written whole, or a mobile number that lost its national prefix, as a column does.
[[nodiscard]] PieceYield search_piece(const PhoneNumberFinder& finder, std::string_view piece);

// Searches `value`, the exact value of a spreadsheet's number cell (SpreadsheetCell), without
// the matcher: an integral value of kFewestDigitsOfANumber to kMostDigitsOfANumber digits is
// taken, as the one cell of the yield, when it is a number read alone
// (PhoneNumberFinder::cell_number); any other value gives nothing.
[[nodiscard]] PieceYield search_number_cell(const PhoneNumberFinder& finder,
                                            std::string_view value);

#endif  // CHANGE_UTF8_PIECE_SEARCH_H_

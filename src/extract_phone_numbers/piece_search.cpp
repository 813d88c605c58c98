#include "extract_phone_numbers/piece_search.h"

#include <algorithm>
#include <utility>

#include "core/text_rules.h"
#include "core/utf8.h"

namespace {

// The number of ASCII or full-width digits `cell` is made of; 0 when it holds anything else.
int digits_only(std::string_view cell) {
  int digits = 0;
  for (std::size_t next = 0; next < cell.size(); ++digits) {
    const std::size_t length = digit_length(cell.substr(next));
    if (length == 0) {
      return 0;
    }
    next += length;
  }
  return digits;
}

// Skips the ASCII digits at the start of `text`; false when there are none.
bool skip_ascii_digits(std::string_view& text) {
  const std::size_t digits = text.find_first_not_of(kAsciiDigits);
  if (digits == 0) {
    return false;
  }
  text.remove_prefix(digits == std::string_view::npos ? text.size() : digits);
  return true;
}

// Skips `prefix` at the start of `text`; false when `text` does not start with it.
bool skip(std::string_view& text, std::string_view prefix) {
  if (!text.starts_with(prefix)) {
    return false;
  }
  text.remove_prefix(prefix.size());
  return true;
}

// Whether `cell` is a number in E notation as a spreadsheet writes it: 9.16796E+08.
bool is_e_notation(std::string_view cell) {
  return skip_ascii_digits(cell) && skip(cell, ".") && skip_ascii_digits(cell) &&
         skip(cell, "E+") && skip_ascii_digits(cell) && cell.empty();
}

}  // namespace

std::optional<std::size_t> first_piece_length(std::string_view text) {
  std::size_t characters = 0;
  std::size_t next = 0;
  std::size_t after_separator = 0;
  while (next < text.size() && characters < kLongestPiece) {
    const std::size_t separator = cell_separator_length(text.substr(next));
    next += separator > 0 ? separator : utf8::step_length(text.substr(next));
    after_separator = separator > 0 ? next : after_separator;
    ++characters;
  }
  if (next == text.size()) {
    return std::nullopt;
  }
  return after_separator > 0 ? after_separator : next;
}

PieceYield search_piece(const PhoneNumberFinder& finder, std::string_view piece) {
  NumbersInText in_text = finder.find_in_text(piece);
  PieceYield yield{.numbers = std::move(in_text.found)};
  const std::size_t found = yield.numbers.size();
  std::size_t next = 0;
  while (next < piece.size()) {
    if (const std::size_t separator = cell_separator_length(piece.substr(next)); separator > 0) {
      next += separator;
      continue;
    }
    const std::size_t start = next;
    while (next < piece.size() && cell_separator_length(piece.substr(next)) == 0) {
      next += utf8::step_length(piece.substr(next));
    }
    const std::string_view cell = piece.substr(start, next - start);
    yield.holds_e_notation = yield.holds_e_notation || is_e_notation(cell);
    const int digits = digits_only(cell);
    if (digits < kFewestDigitsOfANumber || digits > kMostDigitsOfANumber) {
      continue;
    }
    const bool overlaps = std::any_of(
        yield.numbers.begin(), yield.numbers.begin() + static_cast<std::ptrdiff_t>(found),
        [&](const FoundNumber& number) { return number.begin < next && start < number.end; });
    if (overlaps) {
      continue;
    }
    std::optional<FoundNumber> number = finder.cell_number(cell, in_text.left_to_matcher);
    if (number) {
      number->begin = start;
      number->end = next;
      yield.numbers.push_back(std::move(*number));
      ++yield.cells_taken;
    }
  }
  return yield;
}

PieceYield search_number_cell(const PhoneNumberFinder& finder, std::string_view value) {
  PieceYield yield;
  const bool digits_only = value.find_first_not_of(kAsciiDigits) == std::string_view::npos;
  if (!digits_only || value.size() < std::size_t{kFewestDigitsOfANumber} ||
      value.size() > std::size_t{kMostDigitsOfANumber}) {
    return yield;
  }
  if (std::optional<FoundNumber> number = finder.cell_number(value)) {
    yield.numbers.push_back(std::move(*number));
    yield.cells_taken = 1;
  }
  return yield;
}

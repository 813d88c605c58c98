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

// What a word is made of, for the cuts.
struct Word {
  int digits = 0;  // ASCII and full-width ones
  // Whether it holds a digit of any script: a character outside ASCII may be one.
  bool may_hold_digits = false;
  // Whether it is as many digits as a number has and nothing else, but perhaps a + before
  // them and dashes among them.
  bool number_alone = true;
};

// A walk over a text, the part of a line not yet searched, for where its first piece or part
// ends. The text is taken as words: the runs of characters between white space and characters
// that part numbers. Two words written as numbers alone (number_alone), with white space alone
// between them, are two numbers: a part always ends between them; a piece may.
class CutSearch {
 public:
  explicit CutSearch(bool parts_end_between_numbers)
      : parts_end_between_numbers_(parts_end_between_numbers) {}

  std::optional<std::size_t> first_part_length(std::string_view text, bool line_ended) {
    std::size_t characters = 0;
    for (std::size_t next = 0; next < text.size(); ++characters) {
      if (characters >= kLongestPiece && last_cut_ > 0) {
        return last_cut_;
      }
      if (characters >= kLongestUncutPiece) {
        return last_space_end_ > 0 ? last_space_end_ : next;
      }
      const std::string_view rest = text.substr(next);
      if (const std::size_t parting = number_parting_length(rest); parting > 0) {
        if (end_word()) {
          return word_start_;
        }
        word_before_space_.reset();
        next += parting;
        last_cut_ = next;
      } else if (const std::size_t space = whitespace_length(rest); space > 0) {
        if (end_word()) {
          return word_start_;
        }
        next += space;
        last_space_end_ = next;
      } else {
        next += add_to_word(rest, next);
      }
    }
    if (line_ended && end_word()) {
      return word_start_;
    }
    return std::nullopt;
  }

 private:
  // Adds the character at the start of `rest`, at `position` in the text, to the current
  // word; returns its length.
  std::size_t add_to_word(std::string_view rest, std::size_t position) {
    if (!word_) {
      word_start_ = position;
      word_to_the_left_ = std::exchange(word_before_space_, std::nullopt);
      word_.emplace();
    }
    const std::size_t digit = digit_length(rest);
    const bool ascii = static_cast<unsigned char>(rest[0]) < 0x80;
    const bool leading_plus = rest[0] == '+' && position == word_start_;
    const bool dash_among_digits = rest[0] == '-' && word_->digits > 0;
    word_->digits += digit > 0 ? 1 : 0;
    word_->may_hold_digits = word_->may_hold_digits || digit > 0 || !ascii;
    word_->number_alone = word_->number_alone && (digit > 0 || leading_plus || dash_among_digits);
    return digit > 0 ? digit : utf8::step_length(rest);
  }

  // Ends the current word, if any: true when a part must end at its start, as it and the word
  // before it are numbers alone. Else, where the two may both end a piece between them, or
  // neither may hold a digit, its start is a place to cut.
  bool end_word() {
    if (!word_) {
      return false;
    }
    Word word = *std::exchange(word_, std::nullopt);
    word.number_alone = word.number_alone && word.digits >= kFewestDigitsOfANumber &&
                        word.digits <= kMostDigitsOfANumber;
    if (word_to_the_left_) {
      const bool two_numbers = word_to_the_left_->number_alone && word.number_alone;
      if (two_numbers && parts_end_between_numbers_) {
        return true;
      }
      if (two_numbers || (!word_to_the_left_->may_hold_digits && !word.may_hold_digits)) {
        last_cut_ = word_start_;
      }
    }
    word_before_space_ = word;
    return false;
  }

  const bool parts_end_between_numbers_;
  std::size_t last_cut_ = 0;        // where a piece may end, 0 when nowhere yet
  std::size_t last_space_end_ = 0;  // after the last white space, 0 when none yet
  // The current word (nullopt when none is) and where it starts, and the word before it when
  // only white space stands between them.
  std::optional<Word> word_;
  std::size_t word_start_ = 0;
  std::optional<Word> word_to_the_left_;
  // The last word when only white space has come after it.
  std::optional<Word> word_before_space_;
};

// The numbers the finder finds in `piece`, searched in parts that end between two numbers
// alone (CutSearch), each number's place being its place in the piece; and what the finder
// left to the matcher in the last part that left one.
NumbersInText find_in_parts(const PhoneNumberFinder& finder, std::string_view piece) {
  NumbersInText in_piece;
  for (std::size_t part_start = 0; part_start < piece.size();) {
    const std::string_view rest = piece.substr(part_start);
    const std::size_t part_length =
        CutSearch(true).first_part_length(rest, true).value_or(rest.size());
    NumbersInText in_part = finder.find_in_text(rest.substr(0, part_length));
    for (FoundNumber& number : in_part.found) {
      number.begin += part_start;
      number.end += part_start;
      in_piece.found.push_back(std::move(number));
    }
    if (in_part.left_to_matcher) {
      in_piece.left_to_matcher = std::move(in_part.left_to_matcher);
    }
    part_start += part_length;
  }
  return in_piece;
}

}  // namespace

std::optional<std::size_t> first_piece_length(std::string_view text, bool line_ended) {
  if (text.size() <= kLongestPiece) {
    return std::nullopt;  // fewer characters than a piece may hold, as most lines
  }
  return CutSearch(false).first_part_length(text, line_ended);
}

PieceYield search_piece(const PhoneNumberFinder& finder, std::string_view piece) {
  NumbersInText in_text = find_in_parts(finder, piece);
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
  yield.digits_missed = digits_missed(finder, piece, yield.numbers);
  return yield;
}

PieceYield search_number_cell(const PhoneNumberFinder& finder, std::string_view value) {
  PieceYield yield;
  const bool digits_only = value.find_first_not_of(kAsciiDigits) == std::string_view::npos;
  if (digits_only && value.size() >= std::size_t{kFewestDigitsOfANumber} &&
      value.size() <= std::size_t{kMostDigitsOfANumber}) {
    if (std::optional<FoundNumber> number = finder.cell_number(value)) {
      yield.numbers.push_back(std::move(*number));
      yield.cells_taken = 1;
    }
  }
  yield.digits_missed = digits_missed(finder, value, yield.numbers);
  return yield;
}

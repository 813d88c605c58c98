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

// The length of the character at the start of `text` when it parts numbers, 0 otherwise: the
// punctuation between cells (, ; | and 、 ， ；) or a Chinese character (U+4E00 to U+9FFF). The
// matcher joins no two runs of digits across one, nor refuses a number for standing beside one.
std::size_t parting_length(std::string_view text) {
  if (const std::size_t punctuation = cell_punctuation_length(text); punctuation > 0) {
    return punctuation;
  }
  const bool chinese = utf8::character_length(text) == 3 &&
                       utf8::code_point(text.substr(0, 3)) >= U'\u4E00' &&
                       utf8::code_point(text.substr(0, 3)) <= U'\u9FFF';
  return chinese ? 3 : 0;
}

// A walk over a line's text, from the start of its first piece, for the place where the piece
// ends (first_piece_length). The text is taken as words: the runs of characters between white
// space and characters that part numbers.
class CutSearch {
 public:
  std::optional<std::size_t> first_piece_length(std::string_view text, bool line_ended) {
    std::size_t characters = 0;
    for (std::size_t next = 0; next < text.size(); ++characters) {
      if (characters >= kLongestPiece && last_cut_ > 0) {
        return last_cut_;
      }
      if (characters >= kLongestUncutPiece) {
        return last_space_end_ > 0 ? last_space_end_ : next;
      }
      const std::string_view rest = text.substr(next);
      if (const std::size_t parting = parting_length(rest); parting > 0) {
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
  // The digits of a word: ASCII and full-width ones, and whether it may hold some of any
  // script (a character outside ASCII may be one).
  struct WordDigits {
    int digits = 0;
    bool may_hold_digits = false;
  };

  // Adds the character at the start of `rest`, at `position` in the text, to the current
  // word; returns its length.
  std::size_t add_to_word(std::string_view rest, std::size_t position) {
    if (!word_) {
      word_start_ = position;
      word_to_the_left_ = std::exchange(word_before_space_, std::nullopt);
      word_.emplace();
    }
    const std::size_t digit = digit_length(rest);
    word_->digits += digit > 0 ? 1 : 0;
    const bool ascii = static_cast<unsigned char>(rest[0]) < 0x80;
    word_->may_hold_digits = word_->may_hold_digits || digit > 0 || !ascii;
    return digit > 0 ? digit : utf8::step_length(rest);
  }

  // Ends the current word, if any: true when a piece must end at its start, as it and the word
  // before it, with only white space between them, each hold as many digits as a number. Where
  // neither may hold a digit, its start is a place to cut.
  bool end_word() {
    if (!word_) {
      return false;
    }
    const WordDigits word = *std::exchange(word_, std::nullopt);
    if (word_to_the_left_ && word_to_the_left_->digits >= kFewestDigitsOfANumber &&
        word.digits >= kFewestDigitsOfANumber) {
      return true;
    }
    if (word_to_the_left_ && !word_to_the_left_->may_hold_digits && !word.may_hold_digits) {
      last_cut_ = word_start_;
    }
    word_before_space_ = word;
    return false;
  }

  std::size_t last_cut_ = 0;        // where a piece may end, 0 when nowhere yet
  std::size_t last_space_end_ = 0;  // after the last white space, 0 when none yet
  // The current word (nullopt when none is) and where it starts, and the word before it when
  // only white space stands between them.
  std::optional<WordDigits> word_;
  std::size_t word_start_ = 0;
  std::optional<WordDigits> word_to_the_left_;
  // The last word when only white space has come after it.
  std::optional<WordDigits> word_before_space_;
};

}  // namespace

std::optional<std::size_t> first_piece_length(std::string_view text, bool line_ended) {
  return CutSearch().first_piece_length(text, line_ended);
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
    std::optional<FoundNumber> number = finder.valid_number(cell, in_text.left_to_matcher);
    // Only a mobile: a landline's digits without the 0 are as often an ID (a company's tax ID).
    if (number && number->mobile) {
      number->begin = start;
      number->end = next;
      yield.numbers.push_back(std::move(*number));
      ++yield.cells_taken;
    }
  }
  return yield;
}

#include "number_extraction.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <system_error>
#include <thread>
#include <utility>

#include "message_catalog.h"
#include "utf8.h"

namespace {

constexpr std::string_view kProgramName = "extract_phone_numbers";

// A cell of this many digits may be a number that lost its leading 0.
constexpr int kFewestCellDigits = 7;
constexpr int kMostCellDigits = 15;
// A run of this many digits looks like a phone number.
constexpr int kDigitsOfAMissedNumber = 7;

// Pieces wait to be searched until there are this many (or this many line ends), or this many
// bytes of them: enough to keep two threads busy for milliseconds, few enough to hold little
// memory.
constexpr std::size_t kPiecesPerBatch = 1024;
constexpr std::size_t kBytesPerBatch = std::size_t{256} * 1024;

bool starts_with_any(std::string_view text, std::initializer_list<std::string_view> prefixes) {
  return std::ranges::any_of(prefixes,
                             [text](std::string_view prefix) { return text.starts_with(prefix); });
}

// The length of the whitespace character at the start of `text`, of any kind: ASCII, no-break,
// the typographic spaces, the ideographic space; 0 when there is none.
std::size_t whitespace_length(std::string_view text) {
  if (text[0] == ' ' || text[0] == '\t' || text[0] == '\v' || text[0] == '\f') {
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

// The length of the character that ends a cell at the start of `text`: whitespace, or one of
// , ; | 、 ， ；; 0 when there is none.
std::size_t cell_separator_length(std::string_view text) {
  if (text[0] == ',' || text[0] == ';' || text[0] == '|') {
    return 1;
  }
  if (starts_with_any(text, {"\xE3\x80\x81", "\xEF\xBC\x8C", "\xEF\xBC\x9B"})) {
    return 3;
  }
  return whitespace_length(text);
}

// The length of the ASCII (1) or full-width (3) digit at the start of `text`; 0 when none.
std::size_t digit_length(std::string_view text) {
  if (text[0] >= '0' && text[0] <= '9') {
    return 1;
  }
  const bool full_width = text.size() >= 3 && text.starts_with("\xEF\xBC") &&
                          static_cast<unsigned char>(text[2]) >= 0x90 &&
                          static_cast<unsigned char>(text[2]) <= 0x99;
  return full_width ? 3 : 0;
}

// Whether the character at the start of `text` may stand between the digits of a number
// written out: + - . ( ), a space, a no-break or an ideographic space.
bool joins_digits(std::string_view text) {
  return std::string_view("+-.() ").find(text[0]) != std::string_view::npos ||
         starts_with_any(text, {"\xC2\xA0", "\xE3\x80\x80"});
}

// The bytes of the character at the start of `text`; an ill-formed byte counts as one.
std::size_t character_bytes(std::string_view text) {
  const std::size_t length = utf8::multibyte_length(text[0]);
  return length == 0 ? 1 : std::min(length, text.size());
}

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
  const std::size_t digits = text.find_first_not_of("0123456789");
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

// `text` from the message catalog with each %s, in turn, replaced by the next of `values`.
std::string filled(std::string_view text, std::initializer_list<std::string_view> values) {
  std::string result(text);
  std::size_t from = 0;
  for (const std::string_view value : values) {
    const std::size_t place = result.find("%s", from);
    if (place == std::string::npos) {
      break;
    }
    result.replace(place, 2, value);
    from = place + value.size();
  }
  return result;
}

// The count as ngettext takes it, to choose a plural form.
unsigned long plural_of(std::int64_t count) {
  return static_cast<unsigned long>(count);
}

// Searches `piece`, the text of a line or a part of it, with `finder`.
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
      next += character_bytes(piece.substr(next));
    }
    const std::string_view cell = piece.substr(start, next - start);
    yield.holds_e_notation = yield.holds_e_notation || is_e_notation(cell);
    const int digits = digits_only(cell);
    if (digits < kFewestCellDigits || digits > kMostCellDigits) {
      continue;
    }
    const bool overlaps = std::any_of(
        yield.numbers.begin(), yield.numbers.begin() + static_cast<std::ptrdiff_t>(found),
        [&](const FoundNumber& number) { return number.begin < next && start < number.end; });
    if (overlaps) {
      continue;
    }
    if (std::optional<FoundNumber> number = finder.valid_number(cell, in_text.left_to_matcher)) {
      number->begin = start;
      number->end = next;
      yield.numbers.push_back(std::move(*number));
      ++yield.cells_taken;
    }
  }
  return yield;
}

// Searches each of `pieces` into its yield with `finder`: on this thread and on a second one,
// where one can be started, each thread taking the next piece not yet taken. An exception on
// either thread is thrown here once both have stopped.
std::vector<PieceYield> search_on_two_threads(const std::vector<std::string_view>& pieces,
                                              const PhoneNumberFinder& finder) {
  std::vector<PieceYield> yields(pieces.size());
  std::atomic<std::size_t> next_to_search = 0;
  const auto search = [&] {
    for (std::size_t piece = next_to_search++; piece < pieces.size(); piece = next_to_search++) {
      yields[piece] = search_piece(finder, pieces[piece]);
    }
  };
  std::exception_ptr second_failure;
  std::optional<std::thread> second;
  if (pieces.size() > 1) {
    try {
      second.emplace([&] {
        try {
          search();
        } catch (...) {
          second_failure = std::current_exception();
          next_to_search = pieces.size();  // this thread searches no more either
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: this one searches all.
    }
  }
  try {
    search();
  } catch (...) {
    next_to_search = pieces.size();
    if (second) {
      second->join();
    }
    throw;
  }
  if (second) {
    second->join();
  }
  if (second_failure) {
    std::rethrow_exception(second_failure);
  }
  return yields;
}

}  // namespace

bool NumberKeySet::insert(std::uint64_t key) {
  // Linear probing stays short up to 7/8 full with keys spread by the hash.
  if (8 * (size_ + 1) > 7 * slots_.size()) {
    grow();
  }
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = home_of(key);; slot = (slot + 1) & mask) {
    if (slots_[slot] == key) {
      return false;
    }
    if (slots_[slot] == 0) {
      slots_[slot] = key;
      ++size_;
      return true;
    }
  }
}

// Takes the key out and moves later keys of its run back into the hole where their probe
// would pass it, so that every key stays reachable from its home slot without gaps.
void NumberKeySet::erase(std::uint64_t key) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t hole = home_of(key);
  while (slots_[hole] != key) {
    if (slots_[hole] == 0) {
      return;
    }
    hole = (hole + 1) & mask;
  }
  for (std::size_t next = (hole + 1) & mask; slots_[next] != 0; next = (next + 1) & mask) {
    if (((next - home_of(slots_[next])) & mask) >= ((next - hole) & mask)) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole] = 0;
  --size_;
}

// Fibonacci hashing spreads keys that differ only in their last digits.
std::size_t NumberKeySet::home_of(std::uint64_t key) const {
  return (key * 0x9E3779B97F4A7C15ULL) >> 20 & (slots_.size() - 1);
}

void NumberKeySet::grow() {
  std::vector<std::uint64_t> old_slots(2 * slots_.size());
  old_slots.swap(slots_);
  size_ = 0;
  for (const std::uint64_t key : old_slots) {
    if (key != 0) {
      insert(key);
    }
  }
}

void write_note(std::ostream& notes, const Failure& note) {
  notes << kProgramName << ": ";
  if (!note.subject.empty()) {
    notes << note.subject << ": ";
  }
  notes << note.reason << '\n';
}

NumberExtraction::NumberExtraction(const PhoneNumberFinder& finder, std::ostream& notes)
    : finder_(finder), notes_(notes) {}

void NumberExtraction::begin_source(std::string_view name) {
  name_ = name;
  counts_ = {};
  after_cr_ = false;
}

void NumberExtraction::add_text(std::string_view text) {
  if (text.empty()) {
    return;
  }
  line_open_ = true;
  shown_text_.append(text, shown_line_);
  scan_digit_runs(text);
  unsearched_ += text;
  queue_pieces(false);
}

void NumberExtraction::end_line(std::string_view label) {
  queue_pieces(true);
  shown_text_.finish(shown_line_);
  pending_line_ends_.push_back({.pieces_before = pending_pieces_.size(),
                                .label = std::string(label),
                                .shown = std::move(shown_line_),
                                .holds_digit_run = line_holds_digit_run_});
  line_open_ = false;
  shown_line_.clear();
  line_holds_digit_run_ = false;
  digits_in_run_ = 0;
  search_if_batch_full();
}

void NumberExtraction::add_lines(std::string_view text) {
  while (!text.empty()) {
    const std::size_t line_end = text.find_first_of("\r\n");
    if (line_end == std::string_view::npos) {
      after_cr_ = false;
      add_text(text);
      return;
    }
    const bool lf_of_cr_lf = line_end == 0 && after_cr_ && text[0] == '\n';
    if (!lf_of_cr_lf) {
      add_text(text.substr(0, line_end));
      end_line(std::to_string(++counts_.lines));
    }
    after_cr_ = text[line_end] == '\r';
    text.remove_prefix(line_end + 1);
  }
}

void NumberExtraction::end_source() {
  if (line_open_) {
    end_line(std::to_string(++counts_.lines));
  }
  search_pending();
  if (counts_.lines_not_noted > 0) {
    note(name_, filled(catalog::ngettext("%s more line holds digits but no phone number",
                                         "%s more lines hold digits but no phone number",
                                         plural_of(counts_.lines_not_noted)),
                       {std::to_string(counts_.lines_not_noted)}));
  }
  if (counts_.cells_not_noted > 0) {
    note(name_, filled(catalog::ngettext("%s more cell taken with the leading 0 it lacked",
                                         "%s more cells taken with the leading 0 they lacked",
                                         plural_of(counts_.cells_not_noted)),
                       {std::to_string(counts_.cells_not_noted)}));
  }
  if (counts_.numbers_found_before == 0) {
    note(name_, filled(catalog::ngettext("%s phone number", "%s phone numbers",
                                         plural_of(counts_.numbers)),
                       {std::to_string(counts_.numbers)}));
  } else {
    note(name_,
         filled(catalog::ngettext("%s phone number, %s of them found before",
                                  "%s phone numbers, %s of them found before",
                                  static_cast<unsigned long>(counts_.numbers)),
                {std::to_string(counts_.numbers), std::to_string(counts_.numbers_found_before)}));
  }
}

void NumberExtraction::abandon_source() {
  search_pending();
  for (const std::uint64_t key : new_keys_) {
    seen_.erase(key);
  }
  numbers_found_ -= static_cast<std::int64_t>(new_keys_.size());
  new_keys_.clear();
  new_numbers_.clear();
}

std::string NumberExtraction::take_new_numbers() {
  search_pending();
  new_keys_.clear();
  std::string numbers;
  numbers.swap(new_numbers_);
  return numbers;
}

// Queues the text of the line not yet queued in pieces of at most kLongestPiece characters
// that end after whitespace or another cell separator (or at that bound, where there is
// none); when the line has ended, also the rest.
void NumberExtraction::queue_pieces(bool line_ended) {
  const auto queue = [this](std::string_view piece) {
    pending_pieces_.emplace_back(pending_text_.size(), pending_text_.size() + piece.size());
    pending_text_ += piece;
    search_if_batch_full();  // a long line waits no more than a batch of it
  };
  std::size_t start = 0;
  while (true) {
    std::size_t characters = 0;
    std::size_t next = start;
    std::size_t after_separator = 0;
    while (next < unsearched_.size() && characters < kLongestPiece) {
      const std::string_view rest = std::string_view(unsearched_).substr(next);
      const std::size_t separator = cell_separator_length(rest);
      next += separator > 0 ? separator : character_bytes(rest);
      after_separator = separator > 0 ? next : after_separator;
      ++characters;
    }
    if (next == unsearched_.size()) {
      break;  // no more than a piece is left
    }
    const std::size_t end = after_separator > start ? after_separator : next;
    queue(std::string_view(unsearched_).substr(start, end - start));
    start = end;
  }
  if (line_ended && start < unsearched_.size()) {
    queue(std::string_view(unsearched_).substr(start));
    start = unsearched_.size();
  }
  unsearched_.erase(0, start);
}

void NumberExtraction::search_if_batch_full() {
  if (pending_pieces_.size() >= kPiecesPerBatch || pending_text_.size() >= kBytesPerBatch ||
      pending_line_ends_.size() >= kPiecesPerBatch) {
    search_pending();
  }
}

// Searches the pending pieces on two threads, then takes their numbers and notes their lines,
// in order.
void NumberExtraction::search_pending() {
  std::vector<std::string_view> pieces;
  pieces.reserve(pending_pieces_.size());
  for (const auto& [begin, end] : pending_pieces_) {
    pieces.push_back(std::string_view(pending_text_).substr(begin, end - begin));
  }
  const std::vector<PieceYield> yields = search_on_two_threads(pieces, finder_);

  std::size_t next_piece = 0;
  for (const PendingLineEnd& line_end : pending_line_ends_) {
    for (; next_piece < line_end.pieces_before; ++next_piece) {
      take_yield(pieces[next_piece], yields[next_piece]);
    }
    note_line(line_end);
  }
  for (; next_piece < pieces.size(); ++next_piece) {  // of the line not ended yet
    take_yield(pieces[next_piece], yields[next_piece]);
  }
  pending_text_.clear();
  pending_pieces_.clear();
  pending_line_ends_.clear();
}

// Takes the numbers of `piece`, and keeps the cells taken for the notes of its line.
void NumberExtraction::take_yield(std::string_view piece, const PieceYield& yield) {
  line_holds_e_notation_ = line_holds_e_notation_ || yield.holds_e_notation;
  const std::size_t cells_from = yield.numbers.size() - yield.cells_taken;
  for (std::size_t index = 0; index < yield.numbers.size(); ++index) {
    const FoundNumber& number = yield.numbers[index];
    take(number);
    if (index < cells_from) {
      continue;
    }
    if (counts_.cells_noted + static_cast<std::int64_t>(taken_cells_.size()) < kNotesPerSource) {
      taken_cells_.push_back(
          {shown_in_a_note(piece.substr(number.begin, number.end - number.begin)), number.dialled});
    } else {
      ++counts_.cells_not_noted;
    }
  }
}

void NumberExtraction::take(const FoundNumber& number) {
  line_gave_number_ = true;
  ++counts_.numbers;
  if (!seen_.insert(number.key)) {
    ++counts_.numbers_found_before;
    return;
  }
  ++numbers_found_;
  new_keys_.push_back(number.key);
  new_numbers_ += number.dialled;
  new_numbers_ += '\n';
}

// Notes whether `text`, the next text of the line, completes a run of digits joined only by
// the characters a number written out has between its digits.
void NumberExtraction::scan_digit_runs(std::string_view text) {
  for (std::size_t next = 0; next < text.size();) {
    const std::string_view rest = text.substr(next);
    if (const std::size_t digit = digit_length(rest); digit > 0) {
      line_holds_digit_run_ = line_holds_digit_run_ || ++digits_in_run_ >= kDigitsOfAMissedNumber;
      next += digit;
      continue;
    }
    if (!joins_digits(rest)) {
      digits_in_run_ = 0;
    }
    next += character_bytes(rest);
  }
}

// The notes on a line: the cells taken, or why it looks like a number was missed.
void NumberExtraction::note_line(const PendingLineEnd& line_end) {
  const std::string line = name_ + ":" + line_end.label;
  for (const TakenCell& cell : taken_cells_) {
    note(line + ": " + cell.shown,
         filled(catalog::gettext("taken as %s, with the leading 0 it lacked"), {cell.dialled}));
    ++counts_.cells_noted;
  }
  taken_cells_.clear();
  const bool gave_number = line_gave_number_;
  const bool holds_e_notation = line_holds_e_notation_;
  line_gave_number_ = false;
  line_holds_e_notation_ = false;
  if (gave_number || (!holds_e_notation && !line_end.holds_digit_run)) {
    return;
  }
  if (counts_.lines_noted == kNotesPerSource) {
    ++counts_.lines_not_noted;
    return;
  }
  ++counts_.lines_noted;
  note(line + ": " + line_end.shown,
       holds_e_notation
           ? catalog::gettext(
                 "holds a number in E notation, whose digits are lost; save the column as "
                 "text")
           : catalog::gettext("holds digits but no phone number"));
}

void NumberExtraction::note(std::string subject, std::string reason) {
  write_note(notes_, {std::move(subject), std::move(reason)});
}

#include "extract_phone_numbers/number_extraction.h"

#include <optional>
#include <utility>

#include "core/text_rules.h"

NumberExtraction::NumberExtraction(const PhoneNumberFinder& finder, std::ostream& notes,
                                   NumbersWritten written)
    : finder_(finder), notes_(notes), written_(written) {}

void NumberExtraction::begin_source(std::string_view name, SourceNumbers numbers) {
  notes_.begin_source(name);
  numbers_held_ = numbers == SourceNumbers::HeldUntilItEnds;
  left_out_ = NumberKeySet();
  lines_ = 0;
  after_cr_ = false;
}

void NumberExtraction::add_text(std::string_view text) {
  if (text.empty()) {
    return;
  }
  line_open_ = true;
  line_sketch_.add(text);
  unsearched_ += text;
  queue_pieces(false);
}

void NumberExtraction::add_number_cell(std::string_view value) {
  line_open_ = true;
  line_sketch_.add(value);
  batch_.add_piece(value, true);
  search_if_batch_full();
}

void NumberExtraction::end_line(std::string_view label) {
  queue_pieces(true);
  batch_.add_line_end(line_sketch_.finish(label));
  line_open_ = false;
  search_if_batch_full();
}

void NumberExtraction::add_lines(std::string_view text) {
  while (!text.empty()) {
    const std::size_t line_end = text.find_first_of(kLineEndBytes);
    if (line_end == std::string_view::npos) {
      after_cr_ = false;
      add_text(text);
      return;
    }
    if (ends_line(text[line_end], after_cr_ && line_end == 0)) {
      add_text(text.substr(0, line_end));
      end_line(std::to_string(++lines_));
    }
    after_cr_ = text[line_end] == '\r';
    text.remove_prefix(line_end + 1);
  }
}

void NumberExtraction::note_hidden(const HiddenInSheet& hidden) {
  search_all();  // the notes of the lines before come first
  if (hidden.whole_sheet) {
    notes_.sheet_hidden(hidden.sheet);
  } else if (hidden.rows > 0 || hidden.columns > 0) {
    notes_.hidden_rows_and_columns(hidden.sheet, hidden.rows, hidden.columns);
  }
}

void NumberExtraction::note_bytes_not_utf8(std::optional<std::int64_t> line) {
  search_all();
  notes_.bytes_not_utf8(std::to_string(line.value_or(lines_ + 1)));
}

void NumberExtraction::end_lines() {
  if (line_open_) {
    end_line(std::to_string(++lines_));
  }
  search_all();
}

void NumberExtraction::end_source() {
  end_lines();
  seen_.keep_held();
  notes_.end_source();
}

void NumberExtraction::abandon_source() {
  search_all();
  numbers_found_ -= static_cast<std::int64_t>(seen_.drop_held());
  new_numbers_.clear();
}

std::vector<std::string> NumberExtraction::take_new_numbers() {
  return std::exchange(new_numbers_, {});
}

// Queues the text of the line not yet queued in pieces (first_piece_length); when the line
// has ended, also the rest.
void NumberExtraction::queue_pieces(bool line_ended) {
  std::string_view rest(unsearched_);
  while (const std::optional<std::size_t> length = first_piece_length(rest, line_ended)) {
    queue(rest.substr(0, *length));
    rest.remove_prefix(*length);
  }
  if (line_ended && !rest.empty()) {
    queue(rest);
    rest = {};
  }
  unsearched_.erase(0, unsearched_.size() - rest.size());
}

void NumberExtraction::queue(std::string_view piece) {
  batch_.add_piece(piece);
  search_if_batch_full();  // a long line waits no more than a batch of it
}

void NumberExtraction::search_if_batch_full() {
  if (batch_.full()) {
    search_batch();
  }
}

// Waits for the search of the batch before, helping it; starts searching the batch filled;
// then takes the batch before while the new search runs.
void NumberExtraction::search_batch() {
  const std::unique_ptr<BatchSearch> searched = std::move(searching_);
  std::vector<PieceYield> yields;
  if (searched) {
    yields = searched->wait();
  }
  if (!batch_.empty()) {
    searching_ = std::make_unique<BatchSearch>(std::exchange(batch_, {}), finder_);
  }
  if (searched) {
    take_batch(searched->batch(), yields);
  }
}

// Searches and takes every batch not taken yet, in order.
void NumberExtraction::search_all() {
  search_batch();
  search_batch();
}

// Takes the numbers of the pieces of `batch`, whose yields are `yields`, and notes its lines,
// in order.
void NumberExtraction::take_batch(const PieceBatch& batch, const std::vector<PieceYield>& yields) {
  std::size_t next_piece = 0;
  const auto take_pieces_before = [&](std::size_t end) {
    for (; next_piece < end; ++next_piece) {
      take_yield(batch.piece(next_piece), yields[next_piece]);
    }
  };
  for (const PieceBatch::LineEnd& line_end : batch.line_ends()) {
    take_pieces_before(line_end.pieces_before);
    notes_.end_line(line_end.line);
  }
  take_pieces_before(batch.piece_count());  // of the line not ended yet
}

// Takes the numbers of `piece` or leaves them out, and notes the cells taken.
void NumberExtraction::take_yield(std::string_view piece, const PieceYield& yield) {
  if (yield.holds_e_notation) {
    notes_.e_notation_seen();
  }
  notes_.digits_seen(yield.digits_missed);
  const std::size_t cells_from = yield.numbers.size() - yield.cells_taken;
  for (std::size_t index = 0; index < yield.numbers.size(); ++index) {
    const FoundNumber& number = yield.numbers[index];
    if (!number.mobile && written_ == NumbersWritten::Mobiles) {
      notes_.number_left_out(number.dialled, !left_out_.insert(number.key));
      continue;
    }
    notes_.number_taken(!take(number));
    if (index >= cells_from && !number.prefix_added.empty()) {
      notes_.cell_taken(piece.substr(number.begin, number.end - number.begin), number.dialled,
                        number.prefix_added);
    }
  }
}

// Takes `number`; false when it was found before.
bool NumberExtraction::take(const FoundNumber& number) {
  if (!seen_.insert(number.key, numbers_held_)) {
    return false;
  }
  ++numbers_found_;
  if (new_numbers_.empty() ||
      new_numbers_.back().size() + number.dialled.size() + 1 > kNumbersBlockSize) {
    new_numbers_.emplace_back().reserve(kNumbersBlockSize);
  }
  new_numbers_.back().append(number.dialled).push_back('\n');
  return true;
}

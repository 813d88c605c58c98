#include "spreadsheet/row_builder.h"

#include <algorithm>

#include "core/message_catalog.h"
#include "spreadsheet/cell_values.h"

namespace {

// Repetition makes at most this many cells over the file, beyond those the file writes.
constexpr std::int64_t kMaxRepeatedCells = std::int64_t{1} << 20;

static_assert(sizeof(SpreadsheetCell) + sizeof(std::int64_t) <= kCellOverheadBytes,
              "a cell's overhead counts what holding it takes beside its text");

}  // namespace

const char* row_too_large() {
  return catalog::gettext("its part %s holds a row of more than 16 MiB of text; it is not read");
}

void RowBuilder::begin_sheet() {
  hidden_columns_.reset();
  hidden_columns_held_.reset();
  hidden_rows_held_ = 0;
}

void RowBuilder::hide_columns(std::int64_t first, std::int64_t last) {
  for (std::int64_t column = first; column <= std::min(last, kMaxColumns); ++column) {
    hidden_columns_.set(static_cast<std::size_t>(column));
  }
}

void RowBuilder::end_sheet(std::string_view sheet) {
  const auto columns = static_cast<std::int64_t>(hidden_columns_held_.count());
  if (hidden_rows_held_ > 0 || columns > 0) {
    hidden_sheets_.push_back(
        {.sheet = std::string(sheet), .rows = hidden_rows_held_, .columns = columns});
  }
}

void RowBuilder::skip_hidden_sheet(std::string_view sheet) {
  hidden_sheets_.push_back({.sheet = std::string(sheet), .whole_sheet = true});
}

void RowBuilder::begin(std::int64_t number, bool hidden) {
  number_ = number;
  row_hidden_ = hidden;
  row_held_ = false;
  cells_.clear();
  columns_.clear();
  bytes_ = 0;
  text_bytes_ = 0;
  copies_left_ = 0;
  cell_.clear();
}

bool RowBuilder::add_text(std::string_view text) {
  if (text.size() > kMaxRowTextBytes - bytes_ - cell_.size()) {
    return false;
  }
  cell_.append(text);
  return true;
}

bool RowBuilder::add_spaces(std::int64_t count) {
  if (static_cast<std::uint64_t>(count) > kMaxRowTextBytes - bytes_ - cell_.size()) {
    return false;
  }
  cell_.append(static_cast<std::size_t>(count), ' ');
  return true;
}

const char* RowBuilder::end_cell(std::int64_t column, std::string_view text, std::int64_t count,
                                 CellKind kind) {
  if (text.empty()) {
    return nullptr;
  }
  if (const char* reason = count_copies(count - 1)) {
    return reason;
  }
  const std::size_t cell_bytes = text.size() + kCellOverheadBytes;
  if (cell_bytes > (kMaxRowTextBytes - bytes_) / static_cast<std::size_t>(count)) {
    return row_too_large();
  }
  row_held_ = true;
  for (std::int64_t at = column; at < column + count; ++at) {
    if (column_hidden(at)) {
      hidden_columns_held_.set(static_cast<std::size_t>(at));
      continue;
    }
    cells_.push_back({cell_reference(at, number_), std::string(text), kind});
    columns_.push_back(at);
  }
  bytes_ += cell_bytes * static_cast<std::size_t>(count);
  text_bytes_ += text.size() * static_cast<std::size_t>(count);
  return nullptr;
}

const char* RowBuilder::repeat(std::int64_t count) {
  const std::int64_t copies = count - 1;
  if (copies > 0 && copies > kMaxRepeatedCells / static_cast<std::int64_t>(cells_.size())) {
    return count_copies(kMaxRepeatedCells + 1);
  }
  copies_left_ = copies;
  return count_copies(copies * static_cast<std::int64_t>(cells_.size()));
}

bool RowBuilder::end_row(std::int64_t count) {
  if (!row_hidden_) {
    return !cells_.empty();
  }
  hidden_rows_held_ += row_held_ ? count : 0;
  return false;
}

SpreadsheetRow RowBuilder::hand_out(std::string_view sheet) {
  sheet_ = sheet;
  return {sheet_, cells_, std::nullopt, take_hidden_sheets()};
}

SpreadsheetRow RowBuilder::hand_out_copy() {
  --copies_left_;
  ++number_;
  for (std::size_t cell = 0; cell < cells_.size(); ++cell) {
    cells_[cell].reference = cell_reference(columns_[cell], number_);
  }
  return {sheet_, cells_, std::nullopt, {}};
}

SpreadsheetRow RowBuilder::hand_out_end() {
  return {{}, {}, std::nullopt, take_hidden_sheets()};
}

// Counts `copies` more cells made by repetition; why the row is refused when they pass the
// limit, or nullptr.
const char* RowBuilder::count_copies(std::int64_t copies) {
  repeated_cells_ += copies;
  if (repeated_cells_ > kMaxRepeatedCells) {
    return catalog::gettext(
        "its part %s repeats cells more than 1048576 times, as a ZIP bomb does; it is not "
        "read");
  }
  return nullptr;
}

bool RowBuilder::column_hidden(std::int64_t column) const {
  return column <= kMaxColumns && hidden_columns_.test(static_cast<std::size_t>(column));
}

// What the sheets hid since the last hand-out, valid until the next.
std::span<const HiddenInSheet> RowBuilder::take_hidden_sheets() {
  handed_hidden_.swap(hidden_sheets_);
  hidden_sheets_.clear();
  return handed_hidden_;
}

#include "spreadsheet/row_builder.h"

#include "core/message_catalog.h"
#include "spreadsheet/cell_values.h"

namespace {

// Repetition makes at most this many cells over the file, beyond those the file writes.
constexpr std::int64_t kMaxRepeatedCells = std::int64_t{1} << 20;

}  // namespace

const char* row_too_large() {
  return catalog::gettext("its part %s holds a row of more than 16 MiB of text; it is not read");
}

void RowBuilder::begin(std::int64_t number) {
  number_ = number;
  cells_.clear();
  columns_.clear();
  bytes_ = 0;
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
  if (text.size() > (kMaxRowTextBytes - bytes_) / static_cast<std::size_t>(count)) {
    return row_too_large();
  }
  for (std::int64_t copy = 0; copy < count; ++copy) {
    cells_.push_back({cell_reference(column + copy, number_), std::string(text), kind});
    columns_.push_back(column + copy);
  }
  bytes_ += text.size() * static_cast<std::size_t>(count);
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

SpreadsheetRow RowBuilder::hand_out(std::string_view sheet) {
  sheet_ = sheet;
  return {sheet_, cells_, std::nullopt};
}

SpreadsheetRow RowBuilder::hand_out_copy() {
  --copies_left_;
  ++number_;
  for (std::size_t cell = 0; cell < cells_.size(); ++cell) {
    cells_[cell].reference = cell_reference(columns_[cell], number_);
  }
  return {sheet_, cells_, std::nullopt};
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

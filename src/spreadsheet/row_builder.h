#ifndef CHANGE_UTF8_ROW_BUILDER_H_
#define CHANGE_UTF8_ROW_BUILDER_H_

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/cell_values.h"
#include "spreadsheet/spreadsheet_reader.h"

// A row holds at most this much text, copies by repetition included, each cell counting
// kCellOverheadBytes besides its text: what holding it takes, so that a row of millions of
// one-character cells is refused as one of a long text is.
inline constexpr std::size_t kMaxRowTextBytes = std::size_t{16} << 20;
inline constexpr std::size_t kCellOverheadBytes = 80;

// Why a row is refused when it would hold more than kMaxRowTextBytes of text: a text with one
// %s for the part's name.
const char* row_too_large();

// The row being read and then handed out, with the copies of it that repetition makes. It
// keeps the limits over the file: a row holds at most kMaxRowTextBytes of text, and
// repetition makes at most 2^20 cells beyond those the file writes. A reason it returns is a
// text with one %s for the part's name.
//
// It leaves out what a sheet hides: the cells of hidden columns and hidden rows, counted when
// they hold something, and hands out with the next row what each sheet hid (hidden_before).
class RowBuilder {
 public:
  // Begins a sheet: no column hidden, nothing counted.
  void begin_sheet();
  // Hides the columns `first` to `last` of the sheet (those up to kMaxColumns).
  void hide_columns(std::int64_t first, std::int64_t last);
  // Ends the sheet `sheet`: to be handed out when its hidden rows or columns held something.
  void end_sheet(std::string_view sheet);
  // Passes over the hidden sheet `sheet`, unread: to be handed out.
  void skip_hidden_sheet(std::string_view sheet);

  // Begins the row numbered `number` (from 1), forgetting the row before and its copies; a
  // hidden row is counted, never handed out.
  void begin(std::int64_t number, bool hidden = false);

  // Begins a cell of the row, its text empty.
  void begin_cell() { cell_.clear(); }

  // Adds `text`, or `count` spaces, to the cell being read. False when the row would then hold
  // too much text; the cell is then left as it was.
  [[nodiscard]] bool add_text(std::string_view text);
  [[nodiscard]] bool add_spaces(std::int64_t count);
  // The text of the cell being read.
  [[nodiscard]] const std::string& cell_text() const { return cell_; }

  // Ends the cell being read: `text`, of `kind`, stands in `count` cells side by side from
  // `column` on (none when it is empty). Returns why the row is refused, or nullptr.
  // REQUIRES: count >= 1.
  [[nodiscard]] const char* end_cell(std::int64_t column, std::string_view text, std::int64_t count,
                                     CellKind kind);

  // Makes the row stand for `count` rows, one under the other. Returns why that is refused,
  // or nullptr.
  // REQUIRES: count >= 1, and the row holds a cell.
  [[nodiscard]] const char* repeat(std::int64_t count);

  // Ends the row, which stands for `count` rows: whether it is to be handed out, holding a
  // cell and not hidden. A hidden row that held something counts as `count` hidden rows.
  [[nodiscard]] bool end_row(std::int64_t count);

  // The bytes of text in the row's cells.
  [[nodiscard]] std::size_t text_bytes() const { return text_bytes_; }
  // Whether the row holds no cell.
  [[nodiscard]] bool empty() const { return cells_.empty(); }
  // Whether copies of the row are still to be handed out.
  [[nodiscard]] bool has_copies() const { return copies_left_ > 0; }

  // The row, of the sheet `sheet`, which must stay unchanged until the row's last copy is
  // handed out. What it returns is valid until the builder next changes.
  [[nodiscard]] SpreadsheetRow hand_out(std::string_view sheet);

  // The next copy of the row, one row lower.
  // REQUIRES: has_copies().
  [[nodiscard]] SpreadsheetRow hand_out_copy();

  // The end of the spreadsheet, with what the last sheets hid.
  [[nodiscard]] SpreadsheetRow hand_out_end();

 private:
  using Columns = std::bitset<kMaxColumns + 1>;  // by number, from 1

  const char* count_copies(std::int64_t copies);
  [[nodiscard]] bool column_hidden(std::int64_t column) const;
  std::span<const HiddenInSheet> take_hidden_sheets();

  std::int64_t number_ = 0;
  std::vector<SpreadsheetCell> cells_;
  std::vector<std::int64_t> columns_;  // of cells_
  std::size_t bytes_ = 0;              // of cells_, kCellOverheadBytes each besides its text
  std::size_t text_bytes_ = 0;         // of text in cells_
  std::string cell_;                   // the text of the cell being read
  std::int64_t copies_left_ = 0;
  std::int64_t repeated_cells_ = 0;  // made by repetition over the file
  std::string_view sheet_;

  // What the sheet hides.
  Columns hidden_columns_;
  Columns hidden_columns_held_;  // those of them that held something
  std::int64_t hidden_rows_held_ = 0;
  bool row_hidden_ = false;
  bool row_held_ = false;                     // the row held something, in a hidden column too
  std::vector<HiddenInSheet> hidden_sheets_;  // to hand out with the next row
  std::vector<HiddenInSheet> handed_hidden_;  // handed out with the last
};

#endif  // CHANGE_UTF8_ROW_BUILDER_H_

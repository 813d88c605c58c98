#ifndef CHANGE_UTF8_ODS_CONTENT_H_
#define CHANGE_UTF8_ODS_CONTENT_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "spreadsheet/row_builder.h"
#include "spreadsheet/xml_stream.h"

// content.xml of an .ods: the tables of its spreadsheet, their rows built one at a time, the
// parse paused after each that holds a cell. A cell's text is the value it keeps beside its
// paragraphs (a number's exact value, a text kept whole), or else its paragraphs joined by line
// feeds, text:s elements as spaces, tabs and line breaks as themselves, comments left out; its
// kind is its value type's (SpreadsheetReader). A
// run of cells or rows repeated stands for that many, cut at the sheet's edge. Refuses a row
// of too much text, and repetition past the builder's limit.
//
// What is hidden is left out (RowBuilder): a table whose style says table:display="false" is
// passed over, and its rows and columns of table:visibility "collapse" or "filter". The table
// styles are those of content.xml's automatic styles, and of styles.xml when that part is told
// to it first.
class OdsContent : public XmlContent {
 public:
  // Builds the rows in `row`, which must outlive it.
  explicit OdsContent(RowBuilder& row) : row_(row) {}

  // The name of the table being read.
  [[nodiscard]] const std::string& sheet() const { return sheet_; }

  Reaction start(std::string_view name, XmlAttributes attributes) override;
  Reaction end(std::string_view name) override;
  Reaction text(std::string_view text) override;

 private:
  void note_table_style(std::string_view name, XmlAttributes attributes);
  void begin_table(XmlAttributes attributes);
  void start_in_table(std::string_view name, XmlAttributes attributes);
  Reaction start_in_cell(std::string_view name, XmlAttributes attributes);
  Reaction end_cell();
  Reaction end_row();

  RowBuilder& row_;
  std::string sheet_;
  int depth_ = 0;            // of the element being read
  int table_depth_ = 0;      // of the table being read; 0: none
  int cell_depth_ = 0;       // of the cell being read; 0: none
  int paragraph_depth_ = 0;  // of the cell's paragraph being read; 0: none
  int skipped_depth_ = 0;    // of a cell's comment or a hidden table being skipped; 0: none
  bool in_spreadsheet_ = false;
  std::int64_t row_number_ = 0;  // rows of the table before the one being read
  std::int64_t column_ = 0;      // cells of the row before the one being read
  std::int64_t rows_repeated_ = 1;
  std::int64_t columns_repeated_ = 1;
  std::int64_t columns_declared_ = 0;                 // by the table's table-column elements so far
  std::string table_style_;                           // the name of the table style being read
  std::set<std::string, std::less<>> hiding_styles_;  // table styles that hide their tables
  std::optional<std::string> kept_value_;             // of the cell being read
  CellKind kind_ = CellKind::Text;                    // of the cell being read
  int paragraphs_ = 0;                                // of the cell being read
};

#endif  // CHANGE_UTF8_ODS_CONTENT_H_

#ifndef CHANGE_UTF8_XLSX_PARTS_H_
#define CHANGE_UTF8_XLSX_PARTS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/failure.h"
#include "spreadsheet/row_builder.h"
#include "spreadsheet/string_table.h"
#include "spreadsheet/xml_stream.h"

class ZipArchive;

// A worksheet of an .xlsx: the sheet's name, the part that holds its cells, and whether the
// sheet is hidden.
struct XlsxSheet {
  std::string name;
  std::string member;
  bool hidden = false;
};

// What an .xlsx holds before its cells, or why it could not be read.
struct XlsxWorkbook {
  // The worksheets in the workbook's order, each part once; chart sheets are left out.
  std::vector<XlsxSheet> sheets;
  // The texts that cells refer to by number, escapes unescaped.
  StringTable shared_strings;
  // Whether each cell style, by its number, shows a number as a date or a time.
  std::vector<bool> date_styles;
  std::optional<Failure> failure;  // set when reading failed; then the rest may be partial
};

// Reads through `stream` the parts of `archive` that come before the cells: the workbook's
// relationships (xl/_rels/workbook.xml.rels: where the worksheets, the shared texts and the
// styles lie), its sheet list (xl/workbook.xml), and its shared texts and its styles when the
// archive holds them. Fails as
// XmlStream does, first of all when a part is missing.
// REQUIRES: `stream` reads `archive`, which is open.
[[nodiscard]] XlsxWorkbook read_xlsx_workbook(XmlStream& stream, const ZipArchive& archive);

// The text of an .xlsx string item (<si>, <is>): its <t> elements, those of phonetic guides
// (<rPh>) left out. Told the elements inside the item, it says whether text is in a run.
class XlsxTextRuns {
 public:
  void start(std::string_view name);
  void end(std::string_view name);
  [[nodiscard]] bool in_text() const { return in_text_; }

 private:
  int phonetic_depth_ = 0;
  bool in_text_ = false;
};

// A worksheet's part (xl/worksheets/sheetN.xml): its rows built one at a time, the parse
// paused after each that holds a cell. A cell's text is a number's exact value, a shared or
// inline text (its runs joined, escapes unescaped), or any other value as the part writes it,
// and its kind as SpreadsheetReader says, a number's style taken from the workbook's styles;
// a cell or row without a reference stands after the one before it. Refuses a row of too much
// text, and a shared text's number that is no index of the table. The rows and the column
// ranges (<cols>) marked hidden are left out (RowBuilder).
class XlsxWorksheet : public XmlContent {
 public:
  // Builds the rows in `row`, taking the texts of shared-text cells from `shared_strings`, and
  // whether a style shows a number as a date from `date_styles` (XlsxWorkbook); all must
  // outlive it.
  XlsxWorksheet(RowBuilder& row, const StringTable& shared_strings,
                const std::vector<bool>& date_styles);

  // Makes it ready for the next worksheet's part.
  void begin_sheet();

  Reaction start(std::string_view name, XmlAttributes attributes) override;
  Reaction end(std::string_view name) override;
  Reaction text(std::string_view text) override;

 private:
  void hide_columns(XmlAttributes attributes);
  void begin_cell(XmlAttributes attributes);
  Reaction end_cell();
  const char* shared_string_cell(const std::string& value);

  RowBuilder& row_;
  const StringTable& shared_strings_;
  const std::vector<bool>& date_styles_;
  bool in_sheet_data_ = false;
  bool in_cell_ = false;
  bool in_value_ = false;  // in a cell's <v>
  XlsxTextRuns runs_;      // of a cell's inline string
  std::int64_t row_number_ = 0;
  std::int64_t column_ = 0;
  std::string type_;
  bool shown_as_date_ = false;  // by the cell's style
};

#endif  // CHANGE_UTF8_XLSX_PARTS_H_

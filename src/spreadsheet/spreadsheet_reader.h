#ifndef CHANGE_UTF8_SPREADSHEET_READER_H_
#define CHANGE_UTF8_SPREADSHEET_READER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/failure.h"
#include "core/file_system.h"

class XlsWorkbook;

// What a cell holds, as the file says.
enum class CellKind {
  Text,    // a text, or a formula's text
  Number,  // a number not shown as a date or time (a currency, a percentage too)
  Date,    // a date or a time, also a number shown as one
  Other,   // a truth value, an error
};

// One cell that holds something.
struct SpreadsheetCell {
  std::string reference;  // where it stands, A1 style: column letters, row number ("B7")
  std::string text;       // what it holds, never empty
  CellKind kind = CellKind::Text;
};

// What a sheet hid and the reader left out: the whole sheet, or its hidden rows and columns
// that held something.
struct HiddenInSheet {
  std::string sheet;         // the sheet's name
  bool whole_sheet = false;  // the sheet is hidden: none of it was read
  std::int64_t rows = 0;     // else: its hidden rows that held something,
  std::int64_t columns = 0;  // and its hidden columns that held something
};

// A row of a sheet: its cells that hold something, left to right; or the end; or why reading
// failed.
struct SpreadsheetRow {
  std::string_view sheet;                  // the sheet's name
  std::span<const SpreadsheetCell> cells;  // empty at the end of the spreadsheet
  std::optional<Failure> failure;          // set when reading failed; the spreadsheet
                                           // then ends here
  // What the sheets passed since the row before hid, in the workbook's order: each hidden
  // sheet, and each sheet ended whose hidden rows or columns held something. The end of the
  // spreadsheet brings those of the last sheets.
  std::span<const HiddenInSheet> hidden_before;
};

// Reads a spreadsheet saved as .xlsx (Office Open XML) or .ods (OpenDocument), recognised by
// its content, never by its name: reads what comes before the cells, then hands out every row
// of every sheet that has a cell holding something, sheet by sheet in the workbook's order, row
// by row from the top.
// Rows and cells that hold nothing are left out, and the references of the others say where
// they stand. Only one row and the workbook's table of shared texts are held at a time.
//
// A cell's text is what the file keeps: a number's exact value (an integral one written in
// decimal digits, without exponent, fraction or leading zeros: 912345678 also when the file
// keeps 9.12345678E8; any other as the file writes it); a text's characters (in .xlsx,
// rich-text runs joined, phonetic guides left out, escapes such as _x000D_ unescaped; in .ods,
// the paragraphs of a cell joined by line feeds, text:s elements as spaces, comments left
// out); any other value (a truth value, a date, an error) as the file writes it. A run of .ods
// cells or rows repeated by table:number-columns-repeated or table:number-rows-repeated is handed
// out once for each cell or row it stands for when it holds something.
//
// What is hidden is not read: a hidden sheet (.xlsx: state="hidden" or "veryHidden" in the
// workbook; .ods: a table whose style says table:display="false"), and the rows and columns a
// sheet hides (.xlsx: hidden="1" on a row, or on a column range in <cols>; .ods:
// table:visibility="collapse" or "filter", rows a filter hides). The rows say what was left
// out so (hidden_before): a hidden sheet always, a sheet's hidden rows and columns when they
// held something.
//
// A cell's kind is what the file says it holds. In .xlsx, a cell without a type or of type n
// is a number, unless its style (xl/styles.xml) shows it as a date or a time
// (is_date_number_format), which a cell of type d is too; s, inlineStr and str are texts, any
// other type (b, e) other. In .ods, the value types float, percentage and currency are numbers,
// date and time dates, string and a cell without a value type texts, any other (boolean) other.
//
// Its failures name the file by the name `open` is given, and the part of the archive where
// one is concerned. It refuses: a ZIP archive that is neither (an office document of another
// kind, any other archive); a damaged archive, or a part of it that is not well-formed XML; a
// part that unpacks to more than 1 GiB, or to more than 100 times its packed size (see
// zip_archive.h); elements nested more than 256 deep; a row holding more than 16 MiB of text,
// each cell counting 80 bytes besides its text; more than 2^20 cells that repetition makes;
// cells that hand out more text than 64 times what the archive has unpacked so far, or more
// than 1 GiB (text_budget.h). Any of these fails `open`, or the row where it is met.
class SpreadsheetReader {
 public:
  // Reads and closes the file through `files`, which must outlive the reader.
  explicit SpreadsheetReader(FileSystem& files);
  // Closes the descriptor handed to open.
  ~SpreadsheetReader();

  SpreadsheetReader(const SpreadsheetReader&) = delete;
  SpreadsheetReader& operator=(const SpreadsheetReader&) = delete;

  // Takes over `fd`, a descriptor open for reading on a regular file (read at any position,
  // so no pipe), and reads what comes before the cells: which kind it is, its sheets' names and
  // order, the shared texts. Its failures name the file `name`. Fails when the file cannot be
  // read, or is refused (see above). The reader closes `fd` once, when it is destroyed, also
  // when open failed: the caller never closes it.
  // REQUIRES: open has not been called.
  [[nodiscard]] std::optional<Failure> open(int fd, std::string name);

  // The next row that holds something, its sheet and its cells. They stay valid until the
  // next call.
  // REQUIRES: open succeeded.
  [[nodiscard]] SpreadsheetRow next_row();

 private:
  class Workbook;  // the opened ZIP archive, of either kind

  FileSystem& files_;
  std::unique_ptr<Workbook> workbook_;
  std::unique_ptr<XlsWorkbook> xls_workbook_;  // instead, an .xls
};

#endif  // CHANGE_UTF8_SPREADSHEET_READER_H_

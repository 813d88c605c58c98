#ifndef CHANGE_UTF8_XLS_WORKBOOK_H_
#define CHANGE_UTF8_XLS_WORKBOOK_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/failure.h"
#include "core/file_system.h"
#include "spreadsheet/row_builder.h"
#include "spreadsheet/spreadsheet_reader.h"

// The sheets of a workbook may claim at most this many cells together (one whole sheet of
// 65536 rows by 256 columns): the library reads every claimed cell into memory at once.
inline constexpr std::uint64_t kMaxXlsClaimedCells = std::uint64_t{1} << 24;

// Whether `start`, a file's first bytes, begins as a compound file, the container of Excel
// 97-2003 workbooks (.xls) and of other old office files (.doc, .ppt).
bool starts_as_compound_file(std::string_view start);

// An Excel workbook in its binary format (.xls: BIFF8 of Excel 97-2003, BIFF5 of Excel 5 and
// 95, and the older ones), read by libfreexl, the one unit that includes its header. Hands out
// every row that holds something, sheet by sheet in the workbook's order, as the reader of
// .xlsx does. A number cell's text is its value in decimal digits when it is integral (as
// exact_number_text writes it), else its shortest exact form; a text cell's text its
// characters; a date or time cell is left out, being no number. The library cannot tell a
// hidden sheet: every sheet is read.
//
// Refuses, naming the file `name`: a compound file that holds no workbook (an old Word or
// PowerPoint file); a workbook protected by a password; one whose sheets claim more than
// kMaxXlsClaimedCells cells; one the library cannot read (damaged); a row of more than
// kMaxRowTextBytes of text.
class XlsWorkbook {
 public:
  // Reads through `files`, which must outlive it, naming the file `name`.
  XlsWorkbook(FileSystem& files, std::string name);
  // Closes the workbook and the descriptor handed to open.
  ~XlsWorkbook();

  XlsWorkbook(const XlsWorkbook&) = delete;
  XlsWorkbook& operator=(const XlsWorkbook&) = delete;

  // Takes over `fd`, open for reading on a regular file that begins as a compound file, and
  // reads the workbook: the library opens it anew through /proc/self/fd, so that it reads
  // the very file `fd` is open on. Fails as the class comment says, or when the file cannot
  // be read.
  // REQUIRES: open has not been called.
  [[nodiscard]] std::optional<Failure> open(int fd);

  // The next row that holds something; its cells stay valid until the next call.
  // REQUIRES: open succeeded.
  [[nodiscard]] SpreadsheetRow next_row();

 private:
  [[nodiscard]] std::optional<Failure> refuse_too_many_cells();
  [[nodiscard]] std::optional<Failure> refuse_unreadable(int freexl_result);
  [[nodiscard]] std::optional<Failure> begin_next_sheet();
  [[nodiscard]] std::optional<Failure> read_row();
  SpreadsheetRow end_with(Failure failure);

  FileSystem& files_;
  std::string name_;
  int fd_ = -1;
  const void* handle_ = nullptr;  // the library's open workbook
  unsigned int sheet_count_ = 0;
  unsigned int next_sheet_ = 0;
  std::string sheet_;  // the name of the sheet being read
  unsigned int rows_ = 0;
  unsigned short columns_ = 0;
  unsigned int next_row_ = 0;
  bool ended_ = false;
  RowBuilder row_;
};

#endif  // CHANGE_UTF8_XLS_WORKBOOK_H_

#ifndef CHANGE_UTF8_XLS_WORKBOOK_H_
#define CHANGE_UTF8_XLS_WORKBOOK_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/failure.h"
#include "core/file_system.h"
#include "spreadsheet/row_builder.h"
#include "spreadsheet/spreadsheet_reader.h"

struct XlsMessage;  // what the child process reading a workbook sends, in xls_workbook.cpp

// The sheets of a workbook may claim at most this many cells together (one whole sheet of
// 65536 rows by 256 columns): the library reads every claimed cell into memory at once.
inline constexpr std::uint64_t kMaxXlsClaimedCells = std::uint64_t{1} << 24;

// The library reading a workbook is stopped after this many seconds of processor time; a
// workbook of kMaxXlsClaimedCells cells takes about one.
inline constexpr int kMaxXlsSeconds = 30;

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
// The library reads the file in a child process, which sends the cells back through a pipe:
// a workbook made to crash it, or to keep it busy past kMaxXlsSeconds, ends that process
// only, and is refused as damaged.
//
// Refuses, naming the file `name`: a compound file that holds no workbook (an old Word or
// PowerPoint file); a workbook protected by a password; one whose sheets claim more than
// kMaxXlsClaimedCells cells; one the library cannot read (damaged); a row of more than
// kMaxRowTextBytes of text.
class XlsWorkbook {
 public:
  // Reads through `files`, which must outlive it, naming the file `name`.
  XlsWorkbook(FileSystem& files, std::string name);
  // Closes the descriptor handed to open, and ends the child process.
  ~XlsWorkbook();

  XlsWorkbook(const XlsWorkbook&) = delete;
  XlsWorkbook& operator=(const XlsWorkbook&) = delete;

  // Takes over `fd`, open for reading on a regular file that begins as a compound file, and
  // starts reading the workbook: the library opens it anew through /proc/self/fd, so that it
  // reads the very file `fd` is open on. Fails as the class comment says, or when the file
  // cannot be read or no process can be started.
  // REQUIRES: open has not been called.
  [[nodiscard]] std::optional<Failure> open(int fd);

  // The next row that holds something; its cells stay valid until the next call.
  // REQUIRES: open succeeded.
  [[nodiscard]] SpreadsheetRow next_row();

 private:
  [[nodiscard]] std::optional<Failure> refuse_too_many_cells();
  [[nodiscard]] std::optional<Failure> start_library();
  [[nodiscard]] std::optional<Failure> receive(XlsMessage& message);
  [[nodiscard]] std::optional<Failure> receive_bytes(char* bytes, std::size_t size);
  [[nodiscard]] Failure refusal(int refusal) const;
  SpreadsheetRow end_with(Failure failure);

  FileSystem& files_;
  std::string name_;
  int fd_ = -1;
  int pipe_fd_ = -1;  // the read end of the pipe from the child process
  pid_t child_ = -1;
  std::vector<char> buffer_;  // received from the pipe
  std::size_t buffer_start_ = 0;
  std::size_t buffer_end_ = 0;
  std::string sheet_;  // the name of the sheet being read
  bool ended_ = false;
  RowBuilder row_;
};

#endif  // CHANGE_UTF8_XLS_WORKBOOK_H_

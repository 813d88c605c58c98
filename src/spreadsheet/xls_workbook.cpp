#include "spreadsheet/xls_workbook.h"

#include <fcntl.h>
#include <freexl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <span>
#include <utility>

#include "core/message_catalog.h"
#include "spreadsheet/cell_values.h"
#include "spreadsheet/zip_archive.h"

namespace {

constexpr std::string_view kCompoundFileSignature =
    std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

// The file is searched for the sheets' DIMENSIONS records this many bytes at a time.
constexpr std::size_t kScanBlockSize = std::size_t{64} * 1024;

// A DIMENSIONS record: its type and length, then the rows and columns its sheet claims (first,
// and one past the last). BIFF8 writes the rows in 4 bytes, BIFF5 and older in 2.
constexpr std::string_view kBiff8Dimensions = std::string_view("\x00\x02\x0E\x00", 4);
constexpr std::string_view kBiff5Dimensions = std::string_view("\x00\x02\x0A\x00", 4);
constexpr std::size_t kLongestDimensions = 4 + 14;
// The start of a BIFF8 workbook's BOF record: its type, length and version. The bytes of other
// records may look like a DIMENSIONS record of the other version, which is then not counted.
constexpr std::string_view kBiff8Start = std::string_view("\x09\x08\x10\x00\x00\x06", 6);

// The pipe from the child process is read this many bytes at a time.
constexpr std::size_t kPipeBlockSize = std::size_t{64} * 1024;

// Why the library refused the workbook, as the child process tells it.
enum Refusal : std::uint32_t { kDamaged = 1, kNotAWorkbook, kPassword, kOutOfMemory };

std::uint64_t little_endian(std::string_view bytes) {
  std::uint64_t value = 0;
  for (std::size_t byte = bytes.size(); byte-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(bytes[byte]);
  }
  return value;
}

// The cells the DIMENSIONS record at the start of `bytes` claims, in a workbook of BIFF8 or
// of an older version; 0 when none starts there.
std::uint64_t claimed_cells(std::string_view bytes, bool biff8) {
  if (biff8 && bytes.starts_with(kBiff8Dimensions) && bytes.size() >= 4 + 14) {
    return little_endian(bytes.substr(8, 4)) * little_endian(bytes.substr(14, 2));
  }
  if (!biff8 && bytes.starts_with(kBiff5Dimensions) && bytes.size() >= 4 + 10) {
    return little_endian(bytes.substr(6, 2)) * little_endian(bytes.substr(10, 2));
  }
  return 0;
}

// A number cell's value as its text: integral values in decimal digits, any other in the
// shortest form that reads back as the same double.
std::string number_text(double value) {
  std::array<char, 64> digits{};
  const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  return exact_number_text(std::string_view(digits.data(), written.ptr));
}

// The text of a cell as the library gives it; empty for a date, a time, or nothing.
std::string cell_text(const FreeXL_CellValue& value) {
  switch (value.type) {
    case FREEXL_CELL_INT:
      return std::to_string(value.value.int_value);
    case FREEXL_CELL_DOUBLE:
      return number_text(value.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
      return value.value.text_value == nullptr ? "" : value.value.text_value;
    default:
      return "";
  }
}

}  // namespace

// One message of the child process: a sheet begins (its name the text); a text cell or a number
// cell of the row (row, column from 0, its text); the row ends; the workbook ends; or it was
// refused (row: the Refusal).
struct XlsMessage {
  enum class Kind : std::uint32_t { Sheet, Cell, NumberCell, RowEnd, End, Refused };
  struct Head {
    Kind kind = Kind::End;
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    std::uint32_t size = 0;  // of the text that follows
  };
  Head head;
  std::string text;
};

namespace {

// The child process's side: the library reads the workbook, and every sheet, row end and cell
// that holds something is written to `out`, buffered.
class LibrarySide {
 public:
  explicit LibrarySide(int out) : out_(out) {}

  // Reads the workbook open as `fd` and sends it all; returns the process's exit status.
  int run(int fd) {
    const void* handle = nullptr;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const int opened = freexl_open(path.c_str(), &handle);
    const std::uint32_t refusal = open(opened, handle);
    unsigned int sheets = 0;
    if (refusal != 0 || freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &sheets) != FREEXL_OK) {
      send({.kind = Kind::Refused, .row = refusal != 0 ? refusal : kDamaged}, "");
      return flush() ? 0 : 1;
    }
    for (unsigned int sheet = 0; sheet < sheets; ++sheet) {
      if (!send_sheet(handle, static_cast<unsigned short>(sheet))) {
        send({.kind = Kind::Refused, .row = kDamaged}, "");
        return flush() ? 0 : 1;
      }
    }
    send({.kind = Kind::End}, "");
    return flush() ? 0 : 1;
  }

 private:
  using Kind = XlsMessage::Kind;
  using Head = XlsMessage::Head;

  // Why the workbook the library opened with `result` is refused; 0 when it is not.
  static std::uint32_t open(int result, const void* handle) {
    if (result == FREEXL_INSUFFICIENT_MEMORY) {
      return kOutOfMemory;
    }
    if (result == FREEXL_BIFF_WORKBOOK_NOT_FOUND) {
      return kNotAWorkbook;
    }
    unsigned int version = FREEXL_UNKNOWN;  // unknown when no BOF record begins the workbook
    if (result != FREEXL_OK ||
        freexl_get_info(handle, FREEXL_BIFF_VERSION, &version) != FREEXL_OK ||
        version == FREEXL_UNKNOWN) {
      return kDamaged;
    }
    unsigned int password = FREEXL_UNKNOWN;
    if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK &&
        password == FREEXL_BIFF_OBFUSCATED) {
      return kPassword;
    }
    return 0;
  }

  // Sends the sheet `sheet`: its name, then its rows; false when the library fails.
  bool send_sheet(const void* handle, unsigned short sheet) {
    const char* name = nullptr;
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_get_worksheet_name(handle, sheet, &name) != FREEXL_OK ||
        freexl_select_active_worksheet(handle, sheet) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
      return false;
    }
    send({.kind = Kind::Sheet}, name == nullptr ? "" : name);
    for (unsigned int row = 0; row < rows; ++row) {
      bool held = false;
      for (unsigned short column = 0; column < columns; ++column) {
        FreeXL_CellValue value{};
        if (freexl_get_cell_value(handle, row, column, &value) != FREEXL_OK) {
          return false;
        }
        const std::string text = cell_text(value);
        if (!text.empty()) {
          const bool number = value.type == FREEXL_CELL_INT || value.type == FREEXL_CELL_DOUBLE;
          send({.kind = number ? Kind::NumberCell : Kind::Cell, .row = row, .column = column},
               text);
          held = true;
        }
      }
      if (held) {
        send({.kind = Kind::RowEnd}, "");
      }
    }
    return true;
  }

  void send(Head head, std::string_view text) {
    head.size = static_cast<std::uint32_t>(text.size());
    buffer_.append(reinterpret_cast<const char*>(&head), sizeof head).append(text);
    if (buffer_.size() >= kPipeBlockSize && !flush()) {
      ::_exit(1);  // the reading side is gone
    }
  }

  bool flush() {
    std::string_view left = buffer_;
    while (!left.empty()) {
      const ssize_t written = ::write(out_, left.data(), left.size());
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written <= 0) {
        return false;
      }
      left.remove_prefix(static_cast<std::size_t>(written));
    }
    buffer_.clear();
    return true;
  }

  int out_;
  std::string buffer_;
};

}  // namespace

bool starts_as_compound_file(std::string_view start) {
  return start.starts_with(kCompoundFileSignature);
}

XlsWorkbook::XlsWorkbook(FileSystem& files, std::string name)
    : files_(files), name_(std::move(name)) {}

XlsWorkbook::~XlsWorkbook() {
  if (pipe_fd_ >= 0) {
    ::close(pipe_fd_);  // the reader's own pipe, no file: nothing is lost with it
  }
  if (child_ > 0) {
    ::kill(child_, SIGKILL);  // done with, or still reading what is no longer wanted
    while (::waitpid(child_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (fd_ >= 0) {
    (void)files_.close(fd_, name_);  // only read: its close changes nothing
  }
}

std::optional<Failure> XlsWorkbook::open(int fd) {
  assert(fd_ < 0);
  fd_ = fd;
  if (std::optional<Failure> failure = refuse_too_many_cells()) {
    return failure;
  }
  if (std::optional<Failure> failure = start_library()) {
    return failure;
  }
  XlsMessage first;
  if (std::optional<Failure> failure = receive(first)) {
    return failure;
  }
  if (first.head.kind == XlsMessage::Kind::Refused) {
    return refusal(static_cast<int>(first.head.row));
  }
  if (first.head.kind == XlsMessage::Kind::Sheet) {
    sheet_ = std::move(first.text);
  }
  ended_ = first.head.kind == XlsMessage::Kind::End;
  return std::nullopt;
}

SpreadsheetRow XlsWorkbook::next_row() {
  bool row_begun = false;
  XlsMessage message;
  while (!ended_) {
    if (std::optional<Failure> failure = receive(message)) {
      return end_with(std::move(*failure));
    }
    switch (message.head.kind) {
      case XlsMessage::Kind::Sheet:
        sheet_ = std::move(message.text);
        break;
      case XlsMessage::Kind::Cell:
      case XlsMessage::Kind::NumberCell:
        if (!row_begun) {
          row_.begin(std::int64_t{message.head.row} + 1);
          row_begun = true;
        }
        if (const char* reason =
                row_.end_cell(std::int64_t{message.head.column} + 1, message.text, 1,
                              message.head.kind == XlsMessage::Kind::NumberCell ? CellKind::Number
                                                                                : CellKind::Text)) {
          return end_with(member_failure(name_, reason, sheet_));
        }
        break;
      case XlsMessage::Kind::RowEnd:
        return row_.hand_out(sheet_);
      case XlsMessage::Kind::End:
        ended_ = true;
        break;
      case XlsMessage::Kind::Refused:
        return end_with(refusal(static_cast<int>(message.head.row)));
    }
  }
  return {};
}

// Refuses, before the library reads it whole, a workbook whose sheets claim more cells than
// memory should be spent on. The file's bytes are searched as they stand: the records of a
// workbook stand in order, but for where the container splits them.
std::optional<Failure> XlsWorkbook::refuse_too_many_cells() {
  constexpr std::size_t kStep = kScanBlockSize - kLongestDimensions;  // blocks overlap
  std::vector<char> block(kScanBlockSize);
  std::uint64_t cells = 0;
  bool biff8 = false;
  for (std::uint64_t offset = 0;; offset += kStep) {
    ReadBytes got = files_.read_at(fd_, offset, std::span(block), name_);
    if (got.failure) {
      return std::move(got.failure);
    }
    const std::string_view bytes(block.data(), got.size);
    const std::size_t starts = got.size < block.size() ? got.size : kStep;  // the rest: next
    biff8 = biff8 || bytes.find(kBiff8Start) != std::string_view::npos;
    for (std::size_t at = bytes.find('\0'); at < starts; at = bytes.find('\0', at + 1)) {
      cells += std::min(claimed_cells(bytes.substr(at), biff8), kMaxXlsClaimedCells + 1);
    }
    if (cells > kMaxXlsClaimedCells) {
      return Failure{name_,
                     catalog::gettext("is an Excel workbook whose sheets claim more than 16777216 "
                                      "cells, all of which would be read into memory; delete "
                                      "the empty rows and columns after the list, or save it "
                                      "as .xlsx or .ods")};
    }
    if (got.size < block.size()) {
      return std::nullopt;
    }
  }
}

// Starts the child process that reads the workbook with the library, under a limit on its
// processor time, and keeps the pipe it writes to.
std::optional<Failure> XlsWorkbook::start_library() {
  std::array<int, 2> ends{};
  if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
    return FileSystem::last_call_failure(name_);
  }
  child_ = ::fork();
  if (child_ == 0) {
    ::close(ends[0]);
    const rlimit seconds{kMaxXlsSeconds, kMaxXlsSeconds};
    ::setrlimit(RLIMIT_CPU, &seconds);
    ::_exit(LibrarySide(ends[1]).run(fd_));
  }
  const int error = errno;
  ::close(ends[1]);
  pipe_fd_ = ends[0];
  if (child_ < 0) {
    errno = error;
    return FileSystem::last_call_failure(name_);
  }
  buffer_.resize(kPipeBlockSize);
  return std::nullopt;
}

// Receives the next message; fails when the pipe cannot be read, or ends before the workbook
// did: the child process was stopped.
std::optional<Failure> XlsWorkbook::receive(XlsMessage& message) {
  if (std::optional<Failure> failure =
          receive_bytes(reinterpret_cast<char*>(&message.head), sizeof message.head)) {
    return failure;
  }
  message.text.resize(message.head.size);
  return receive_bytes(message.text.data(), message.text.size());
}

std::optional<Failure> XlsWorkbook::receive_bytes(char* bytes, std::size_t size) {
  while (size > 0) {
    if (buffer_start_ == buffer_end_) {
      ReadBytes got = files_.read(pipe_fd_, std::span(buffer_), name_);
      if (got.failure) {
        return std::move(got.failure);
      }
      if (got.size == 0) {
        return refusal(kDamaged);
      }
      buffer_start_ = 0;
      buffer_end_ = got.size;
    }
    const std::size_t taken = std::min(size, buffer_end_ - buffer_start_);
    std::memcpy(bytes, buffer_.data() + buffer_start_, taken);
    buffer_start_ += taken;
    bytes += taken;
    size -= taken;
  }
  return std::nullopt;
}

Failure XlsWorkbook::refusal(int refusal) const {
  switch (refusal) {
    case kOutOfMemory:
      return FileSystem::out_of_memory(name_);
    case kNotAWorkbook:
      return {name_, catalog::gettext("is an old office file but not an Excel workbook; save the "
                                      "list as a spreadsheet (.xlsx, .ods), a text document "
                                      "(.docx, .odt) or UTF-8 text")};
    case kPassword:
      return {name_, catalog::gettext("is an Excel workbook protected by a password; save it "
                                      "without one, or as UTF-8 text")};
    default:
      return {name_, catalog::gettext("is an Excel 97-2003 workbook that cannot be read, "
                                      "perhaps damaged; save it as .xlsx or .ods")};
  }
}

SpreadsheetRow XlsWorkbook::end_with(Failure failure) {
  ended_ = true;
  return {{}, {}, std::move(failure), {}};
}

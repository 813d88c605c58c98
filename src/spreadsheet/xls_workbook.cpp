#include "spreadsheet/xls_workbook.h"

#include <freexl.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

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

}  // namespace

bool starts_as_compound_file(std::string_view start) {
  return start.starts_with(kCompoundFileSignature);
}

XlsWorkbook::XlsWorkbook(FileSystem& files, std::string name)
    : files_(files), name_(std::move(name)) {}

XlsWorkbook::~XlsWorkbook() {
  if (handle_ != nullptr) {
    freexl_close(handle_);
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
  const std::string path = "/proc/self/fd/" + std::to_string(fd_);
  const int opened = freexl_open(path.c_str(), &handle_);
  if (opened != FREEXL_OK) {
    return refuse_unreadable(opened);
  }
  unsigned int password = FREEXL_UNKNOWN;
  if (freexl_get_info(handle_, FREEXL_BIFF_PASSWORD, &password) == FREEXL_OK &&
      password == FREEXL_BIFF_OBFUSCATED) {
    return Failure{name_, catalog::gettext("is an Excel workbook protected by a password; save "
                                           "it without one, or as UTF-8 text")};
  }
  unsigned int version = FREEXL_UNKNOWN;  // unknown when no BOF record begins the workbook
  if (freexl_get_info(handle_, FREEXL_BIFF_VERSION, &version) != FREEXL_OK ||
      version == FREEXL_UNKNOWN ||
      freexl_get_info(handle_, FREEXL_BIFF_SHEET_COUNT, &sheet_count_) != FREEXL_OK) {
    return refuse_unreadable(FREEXL_CRAFTED_FILE);
  }
  return std::nullopt;
}

SpreadsheetRow XlsWorkbook::next_row() {
  while (!ended_) {
    if (next_row_ == rows_) {
      if (std::optional<Failure> failure = begin_next_sheet()) {
        return end_with(std::move(*failure));
      }
      continue;
    }
    if (std::optional<Failure> failure = read_row()) {
      return end_with(std::move(*failure));
    }
    if (!row_.empty()) {
      return row_.hand_out(sheet_);
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

std::optional<Failure> XlsWorkbook::refuse_unreadable(int freexl_result) {
  if (freexl_result == FREEXL_INSUFFICIENT_MEMORY) {
    return FileSystem::out_of_memory(name_);
  }
  if (freexl_result == FREEXL_BIFF_WORKBOOK_NOT_FOUND) {
    return Failure{name_, catalog::gettext("is an old office file but not an Excel workbook; "
                                           "save the list as a spreadsheet (.xlsx, .ods), a "
                                           "text document (.docx, .odt) or UTF-8 text")};
  }
  return Failure{name_, catalog::gettext("is an Excel 97-2003 workbook that cannot be read, "
                                         "perhaps damaged; save it as .xlsx or .ods")};
}

// Selects the next sheet and learns its name and size; ends the workbook after the last.
std::optional<Failure> XlsWorkbook::begin_next_sheet() {
  if (next_sheet_ == sheet_count_) {
    ended_ = true;
    return std::nullopt;
  }
  const auto index = static_cast<unsigned short>(next_sheet_++);
  const char* name = nullptr;
  if (freexl_get_worksheet_name(handle_, index, &name) != FREEXL_OK ||
      freexl_select_active_worksheet(handle_, index) != FREEXL_OK ||
      freexl_worksheet_dimensions(handle_, &rows_, &columns_) != FREEXL_OK) {
    return refuse_unreadable(FREEXL_CRAFTED_FILE);
  }
  sheet_ = name == nullptr ? "" : name;
  next_row_ = 0;
  return std::nullopt;
}

// Reads the next row of the sheet into row_, its cells that hold something.
std::optional<Failure> XlsWorkbook::read_row() {
  const unsigned int row = next_row_++;
  row_.begin(std::int64_t{row} + 1);
  for (unsigned short column = 0; column < columns_; ++column) {
    FreeXL_CellValue value{};
    if (freexl_get_cell_value(handle_, row, column, &value) != FREEXL_OK) {
      return refuse_unreadable(FREEXL_CRAFTED_FILE);
    }
    std::string text;
    if (value.type == FREEXL_CELL_INT) {
      text = std::to_string(value.value.int_value);
    } else if (value.type == FREEXL_CELL_DOUBLE) {
      text = number_text(value.value.double_value);
    } else if ((value.type == FREEXL_CELL_TEXT || value.type == FREEXL_CELL_SST_TEXT) &&
               value.value.text_value != nullptr) {
      text = value.value.text_value;
    }
    if (const char* reason = row_.end_cell(std::int64_t{column} + 1, text, 1)) {
      return member_failure(name_, reason, sheet_);
    }
  }
  return std::nullopt;
}

SpreadsheetRow XlsWorkbook::end_with(Failure failure) {
  ended_ = true;
  return {{}, {}, std::move(failure)};
}

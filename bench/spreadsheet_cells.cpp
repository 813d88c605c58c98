// Reads a spreadsheet (.xlsx, .ods) with SpreadsheetReader and hands out every cell, to time
// the reading alone. Usage: spreadsheet_cells FILE [--print]. Prints the number of rows and
// cells (with --print, every cell first: SHEET!CELL TAB TEXT); exits 1 on a failure.

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "core/file_system.h"
#include "spreadsheet/spreadsheet_reader.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: spreadsheet_cells FILE [--print]\n", stderr);
    return 2;
  }
  const bool print = argc > 2 && std::string_view(argv[2]) == "--print";
  FileSystem files;
  const OpenedFile file = files.open_for_reading(argv[1], argv[1]);
  std::optional<Failure> failure = file.failure;
  SpreadsheetReader reader(files);
  if (!failure) {
    failure = reader.open(file.fd, argv[1]);
  }
  std::int64_t rows = 0;
  std::int64_t cells = 0;
  while (!failure) {
    const SpreadsheetRow row = reader.next_row();
    failure = row.failure;
    if (row.cells.empty()) {
      break;
    }
    ++rows;
    for (const SpreadsheetCell& cell : row.cells) {
      ++cells;
      if (print) {
        std::printf("%.*s!%s\t%s\n", static_cast<int>(row.sheet.size()), row.sheet.data(),
                    cell.reference.c_str(), cell.text.c_str());
      }
    }
  }
  if (failure) {
    std::fprintf(stderr, "spreadsheet_cells: %s: %s\n", failure->subject.c_str(),
                 failure->reason.c_str());
    return 1;
  }
  std::printf("%lld rows, %lld cells\n", static_cast<long long>(rows),
              static_cast<long long>(cells));
  return 0;
}

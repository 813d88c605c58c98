#include "extract_phone_numbers/extraction_run.h"

#include <algorithm>
#include <optional>
#include <ostream>

#include "core/failure.h"
#include "core/list_reader.h"
#include "core/message_catalog.h"
#include "core/text_rules.h"
#include "spreadsheet/spreadsheet_reader.h"

namespace {

constexpr std::string_view kStandardInputName = "-";
constexpr const char* kStandardInputPath = "/dev/stdin";

// A list is read this many bytes at a time: small blocks keep the peak memory low, and its
// numbers are written after each.
constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

// What became of one file.
enum class FileResult { Read, NotRead, OutputFailed };

// Writes the numbers found since the last call; false (after noting why) when they could not
// be written.
bool write_new_numbers(NumberExtraction& extraction, FileSystem& file_system, int output_fd,
                       std::ostream& notes) {
  const std::string numbers = extraction.take_new_numbers();
  if (numbers.empty()) {
    return true;
  }
  if (std::optional<Failure> failure =
          file_system.write_all(output_fd, numbers, catalog::gettext("standard output"))) {
    write_note(notes, *failure);
    return false;
  }
  return true;
}

// Reads the text of `list`, named `shown_name` in notes, writing its numbers as they are found.
FileResult extract_from_text(ListReader& list, const std::string& shown_name,
                             FileSystem& file_system, int output_fd, NumberExtraction& extraction,
                             std::ostream& notes) {
  extraction.begin_source(shown_name);
  FileResult result = FileResult::Read;
  while (true) {
    const ListBlock block = list.next_block();
    if (block.failure) {
      write_note(notes, {shown_name, block.failure->reason});
      result = FileResult::NotRead;
      break;
    }
    if (block.text.empty()) {
      break;
    }
    extraction.add_lines(block.text);
    if (!write_new_numbers(extraction, file_system, output_fd, notes)) {
      return FileResult::OutputFailed;
    }
  }
  extraction.end_source();
  return write_new_numbers(extraction, file_system, output_fd, notes) ? result
                                                                      : FileResult::OutputFailed;
}

// Reads the spreadsheet open as `fd`, named `name`, each cell a line labelled SHEET!CELL: a
// number cell searched as a number, a date or a time not at all, any other as text. Its
// numbers are written only once the whole file was read: a spreadsheet refused halfway writes
// none, and they are forgotten, so a later file gives them.
FileResult extract_from_spreadsheet(int fd, const std::string& name, FileSystem& file_system,
                                    int output_fd, NumberExtraction& extraction,
                                    std::ostream& notes) {
  SpreadsheetReader spreadsheet(file_system);
  if (std::optional<Failure> failure = spreadsheet.open(fd, name)) {
    write_note(notes, *failure);
    return FileResult::NotRead;
  }
  extraction.begin_source(name);
  std::string label;
  std::string text;
  while (true) {
    const SpreadsheetRow row = spreadsheet.next_row();
    if (row.failure) {
      extraction.abandon_source();
      write_note(notes, *row.failure);
      return FileResult::NotRead;
    }
    if (row.cells.empty()) {
      break;
    }
    for (const SpreadsheetCell& cell : row.cells) {
      if (cell.kind == CellKind::Date) {
        continue;  // a date or a time is no phone number, and its digits miss none
      }
      if (cell.kind == CellKind::Number) {
        extraction.add_number_cell(cell.text);
      } else {
        text = cell.text;  // a cell's paragraphs are one line
        std::replace_if(text.begin(), text.end(), is_line_end, ' ');
        extraction.add_text(text);
      }
      label.assign(row.sheet).append("!").append(cell.reference);
      extraction.end_line(label);
    }
  }
  extraction.end_source();
  return write_new_numbers(extraction, file_system, output_fd, notes) ? FileResult::Read
                                                                      : FileResult::OutputFailed;
}

// Opens the file once and reads it as what its first bytes say: text, or a spreadsheet. A ZIP
// archive is read from its end, which only a regular file named on the command line gives: a
// pipe or a FIFO holding one is refused at once.
FileResult extract_from_file(const std::string& name, FileSystem& file_system, int output_fd,
                             NumberExtraction& extraction, std::ostream& notes) {
  const bool standard_input = name == kStandardInputName;
  const std::string shown_name = standard_input ? catalog::gettext("standard input") : name;
  ListReader list(file_system, kBlockSize, {.zip_archives = true, .big5 = true});
  if (const std::optional<Failure> failure =
          list.open(standard_input ? std::string(kStandardInputPath) : name)) {
    write_note(notes, {shown_name, failure->reason});
    return FileResult::NotRead;
  }
  if (!list.zip_archive()) {
    return extract_from_text(list, shown_name, file_system, output_fd, extraction, notes);
  }
  if (standard_input || !list.readable_at_any_position()) {
    write_note(notes,
               {shown_name, catalog::gettext("is a ZIP archive, as a spreadsheet is, which is "
                                             "read only from a file named on the command line")});
    return FileResult::NotRead;
  }
  return extract_from_spreadsheet(list.release_descriptor(), name, file_system, output_fd,
                                  extraction, notes);
}

}  // namespace

int extract_from_files(const std::vector<std::string>& files, FileSystem& file_system,
                       int output_fd, NumberExtraction& extraction, std::ostream& notes) {
  const std::vector<std::string> standard_input_alone = {std::string(kStandardInputName)};
  bool all_read = true;
  for (const std::string& name : files.empty() ? standard_input_alone : files) {
    const FileResult result = extract_from_file(name, file_system, output_fd, extraction, notes);
    if (result == FileResult::OutputFailed) {
      return 1;
    }
    all_read = all_read && result == FileResult::Read;
  }
  if (extraction.numbers_found() == 0) {
    write_note(notes, {"", catalog::gettext("no phone number found")});
    return 1;
  }
  return all_read ? 0 : 1;
}

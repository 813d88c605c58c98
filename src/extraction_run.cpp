#include "extraction_run.h"

#include <algorithm>
#include <optional>
#include <ostream>

#include "decoded_list.h"
#include "failure.h"
#include "message_catalog.h"
#include "spreadsheet_reader.h"

namespace {

constexpr std::string_view kStandardInputName = "-";
constexpr const char* kStandardInputPath = "/dev/stdin";

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

// Reads the text of `list`, opened as `shown_name` (`failure` being what open returned),
// writing its numbers as they are found.
FileResult extract_from_text(DecodedList& list, const std::optional<Failure>& failure,
                             const std::string& shown_name, FileSystem& file_system, int output_fd,
                             NumberExtraction& extraction, std::ostream& notes) {
  if (failure) {
    write_note(notes, {shown_name, failure->reason});
    return FileResult::NotRead;
  }
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

// Reads the spreadsheet `name`, each cell a line labelled SHEET!CELL. Its numbers are written
// only once the whole file was read: a spreadsheet refused halfway writes none, and they are
// forgotten, so a later file gives them.
FileResult extract_from_spreadsheet(const std::string& name, FileSystem& file_system, int output_fd,
                                    NumberExtraction& extraction, std::ostream& notes) {
  const OpenedFile file = file_system.open_for_reading(name, name);
  if (file.failure) {
    write_note(notes, *file.failure);
    return FileResult::NotRead;
  }
  SpreadsheetReader spreadsheet(file_system);
  if (std::optional<Failure> failure = spreadsheet.open(file.fd, name)) {
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
      text = cell.text;  // a cell's paragraphs are one line
      std::replace_if(
          text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
      extraction.add_text(text);
      label.assign(row.sheet).append("!").append(cell.reference);
      extraction.end_line(label);
    }
  }
  extraction.end_source();
  return write_new_numbers(extraction, file_system, output_fd, notes) ? FileResult::Read
                                                                      : FileResult::OutputFailed;
}

// A file that starts as a ZIP archive is read as a spreadsheet, never as text.
FileResult extract_from_file(const std::string& name, FileSystem& file_system, int output_fd,
                             NumberExtraction& extraction, std::ostream& notes) {
  const bool standard_input = name == kStandardInputName;
  const std::string shown_name = standard_input ? catalog::gettext("standard input") : name;
  {
    DecodedList list(file_system);
    const std::optional<Failure> failure =
        list.open(standard_input ? std::string(kStandardInputPath) : name);
    if (!list.zip_archive()) {
      return extract_from_text(list, failure, shown_name, file_system, output_fd, extraction,
                               notes);
    }
  }                      // closed: the spreadsheet is opened afresh
  if (standard_input) {  // a ZIP archive is read from its end, which a pipe does not give
    write_note(notes,
               {shown_name, catalog::gettext("is a ZIP archive, as a spreadsheet is, which is "
                                             "read only from a file named on the command line")});
    return FileResult::NotRead;
  }
  return extract_from_spreadsheet(name, file_system, output_fd, extraction, notes);
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

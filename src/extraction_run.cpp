#include "extraction_run.h"

#include <libintl.h>

#include <optional>
#include <ostream>

#include "decoded_list.h"
#include "failure.h"

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
          file_system.write_all(output_fd, numbers, ::gettext("standard output"))) {
    write_note(notes, *failure);
    return false;
  }
  return true;
}

FileResult extract_from_file(const std::string& name, FileSystem& file_system, int output_fd,
                             NumberExtraction& extraction, std::ostream& notes) {
  const bool standard_input = name == kStandardInputName;
  const std::string shown_name = standard_input ? ::gettext("standard input") : name;
  DecodedList list(file_system);
  if (std::optional<Failure> failure =
          list.open(standard_input ? std::string(kStandardInputPath) : name)) {
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
    write_note(notes, {"", ::gettext("no phone number found")});
    return 1;
  }
  return all_read ? 0 : 1;
}

#include "extract_phone_numbers/extraction_run.h"

#include <algorithm>
#include <new>
#include <optional>
#include <ostream>
#include <string_view>

#include "core/failure.h"
#include "core/list_reader.h"
#include "core/message_catalog.h"
#include "core/text_rules.h"
#include "extract_phone_numbers/vcard_unfolder.h"
#include "spreadsheet/spreadsheet_reader.h"

namespace {

constexpr std::string_view kStandardInputName = "-";
constexpr const char* kStandardInputPath = "/dev/stdin";

// A list is read this many bytes at a time: small blocks keep the peak memory low, and its
// numbers are written after each.
constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

// What became of one file. ReadNotAsWritten: read, but bytes of it that are not UTF-8 were
// read as U+FFFD.
enum class FileResult { Read, ReadNotAsWritten, NotRead, OutputFailed };

// Writes the numbers found since the last call; false (after noting why) when they could not
// be written.
bool write_new_numbers(NumberExtraction& extraction, FileSystem& file_system, int output_fd,
                       std::ostream& notes) {
  for (const std::string& numbers : extraction.take_new_numbers()) {
    if (std::optional<Failure> failure =
            file_system.write_all(output_fd, numbers, catalog::gettext("standard output"))) {
      write_note(notes, *failure);
      return false;
    }
  }
  return true;
}

// Hands the pieces of a vCard's unfolded lines to `extraction`, each line labelled with the
// number of the line where it starts.
void add_vcard_pieces(std::span<const VcardPiece> pieces, NumberExtraction& extraction) {
  for (const VcardPiece& piece : pieces) {
    extraction.add_text(piece.text);
    if (piece.ended_line != 0) {
      extraction.end_line(std::to_string(piece.ended_line));
    }
  }
}

// Hands `text`, the next text of the source, to `extraction`: through `vcard` when the source
// is a vCard, else as lines.
void add_text(std::string_view text, std::optional<VcardUnfolder>& vcard,
              NumberExtraction& extraction) {
  if (vcard) {
    add_vcard_pieces(vcard->unfold(text), extraction);
  } else {
    extraction.add_lines(text);
  }
}

// Reads the text of `list`, named `shown_name` in notes, writing its numbers as they are found.
FileResult extract_from_text(ListReader& list, const std::string& shown_name,
                             FileSystem& file_system, int output_fd, NumberExtraction& extraction,
                             std::ostream& notes) {
  extraction.begin_source(shown_name);
  FileResult result = FileResult::Read;
  std::optional<VcardUnfolder> vcard;
  for (bool first_block = true;; first_block = false) {
    const ListBlock block = list.next_block();
    if (block.failure) {
      write_note(notes, {shown_name, block.failure->reason});
      result = FileResult::NotRead;
      break;
    }
    if (block.text.empty()) {
      break;
    }
    if (first_block && starts_vcard(block.text)) {
      vcard.emplace();
    }
    if (block.not_utf8_from) {
      add_text(block.text.substr(0, *block.not_utf8_from), vcard, extraction);
      // A vCard's lines reach the extraction only once unfolded: the unfolder knows the line.
      extraction.note_bytes_not_utf8(vcard ? std::optional(vcard->next_byte_line()) : std::nullopt);
      add_text(block.text.substr(*block.not_utf8_from), vcard, extraction);
      result = FileResult::ReadNotAsWritten;
    } else {
      add_text(block.text, vcard, extraction);
    }
    if (!write_new_numbers(extraction, file_system, output_fd, notes)) {
      return FileResult::OutputFailed;
    }
  }
  if (vcard) {
    add_vcard_pieces(vcard->finish(), extraction);
  }
  extraction.end_lines();
  if (!write_new_numbers(extraction, file_system, output_fd, notes)) {
    return FileResult::OutputFailed;
  }
  extraction.end_source();  // its count, of the numbers written
  return result;
}

// Reads the spreadsheet open as `fd`, named `name`, each cell a line labelled SHEET!CELL (in a
// document, which has no sheet, CELL): a number cell searched as a number, a date or a time
// not at all, any other as text; and notes what its sheets hid and was not read. Its
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
  extraction.begin_source(name, SourceNumbers::HeldUntilItEnds);
  std::string label;
  std::string text;
  while (true) {
    const SpreadsheetRow row = spreadsheet.next_row();
    if (row.failure) {
      extraction.abandon_source();
      write_note(notes, *row.failure);
      return FileResult::NotRead;
    }
    for (const HiddenInSheet& hidden : row.hidden_before) {
      extraction.note_hidden(hidden);
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
      label.assign(row.sheet).append(row.sheet.empty() ? "" : "!").append(cell.reference);
      extraction.end_line(label);
    }
  }
  extraction.end_lines();
  if (!write_new_numbers(extraction, file_system, output_fd, notes)) {
    return FileResult::OutputFailed;
  }
  extraction.end_source();
  return FileResult::Read;
}

// Opens the file once and reads it as what its first bytes say: text, or a spreadsheet or
// document. A ZIP archive or a compound file is read at any position, which only a regular
// file named on the command line gives: a pipe or a FIFO holding one is refused at once.
FileResult extract_from_file(const std::string& name, FileSystem& file_system, int output_fd,
                             NumberExtraction& extraction, std::ostream& notes) {
  const bool standard_input = name == kStandardInputName;
  const std::string shown_name = shown_file_name(name);
  ListReader list(file_system, kBlockSize,
                  {.zip_archives = true, .compound_files = true, .big5 = true});
  if (const std::optional<Failure> failure =
          list.open(standard_input ? std::string(kStandardInputPath) : name)) {
    write_note(notes, {shown_name, failure->reason});
    return FileResult::NotRead;
  }
  if (!list.zip_archive() && !list.compound_file()) {
    return extract_from_text(list, shown_name, file_system, output_fd, extraction, notes);
  }
  if (standard_input || !list.readable_at_any_position()) {
    write_note(notes, {shown_name, list.zip_archive()
                                       ? catalog::gettext("is a ZIP archive, as a spreadsheet "
                                                          "is, which is read only from a file "
                                                          "named on the command line")
                                       : catalog::gettext("is an old office file, as an .xls "
                                                          "is, which is read only from a file "
                                                          "named on the command line")});
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
    FileResult result = FileResult::Read;
    // Memory running out anywhere in the reading of a file ends the run here: what held the
    // memory is freed on the way, and the note needs only the file's name.
    try {
      result = extract_from_file(name, file_system, output_fd, extraction, notes);
    } catch (const std::bad_alloc&) {
      write_note(notes, FileSystem::out_of_memory(shown_file_name(name)));
      return 1;
    }
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

std::string shown_file_name(const std::string& name) {
  return name == kStandardInputName ? catalog::gettext("standard input") : name;
}

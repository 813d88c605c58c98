// Fuzzes the spreadsheet reader over ZIP archives and the XML parts inside them, and over the
// workbook stream of an .xls. Aborts on a broken invariant: a cell without text or with a
// malformed reference, a row of more text than the reader allows, a failure that names
// another file.
//
// Input layout: byte 0 says what the other bytes are. Byte 0 % 16 from 1 to 7: one part of an
// otherwise sound spreadsheet or document, packed (deflated) when byte 0 is below 0x40 and
// stored when not (packing is slow, unpacking is not): 1, an .xlsx worksheet; 2, its shared
// strings; 3, its workbook; 4, the workbook's relationships; 5, the content of an .ods; 6, the
// document part of a .docx; 7, the content of an .odt. 8: the Workbook stream of an .xls, in a
// sound compound file. Any other: the whole file.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

#include "compound_file_writer.h"
#include "core/file_system.h"
#include "spreadsheet/spreadsheet_reader.h"
#include "zip_writer.h"

namespace {

void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
  }
}

// The file the spreadsheet is written to, in a scratch directory.
const std::filesystem::path& spreadsheet_path() {
  static const std::filesystem::path path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz_XXXXXX").string();
    check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    return std::filesystem::path(pattern) / "book";
  }();
  return path;
}

using Parts = std::map<std::string, std::string>;

Parts sound_xlsx() {
  return {{"[Content_Types].xml", "<Types/>"},
          {"xl/workbook.xml",
           "<workbook><sheets><sheet name='S' r:id='rId1'/><sheet name='T' r:id='rId2'/>"
           "</sheets></workbook>"},
          {"xl/_rels/workbook.xml.rels",
           "<Relationships><Relationship Id='rId1' Type='w/worksheet' Target='sheet.xml'/>"
           "<Relationship Id='rId2' Type='w/worksheet' Target='/xl/sheet.xml'/>"
           "<Relationship Id='rId3' Type='w/sharedStrings' Target='strings.xml'/>"
           "</Relationships>"},
          {"xl/strings.xml", "<sst><si><t>a</t></si><si><r><t>b</t></r></si></sst>"},
          {"xl/sheet.xml",
           "<worksheet><sheetData><row r='2'><c r='B2' t='s'><v>1</v></c><c><v>9E8</v></c>"
           "</row></sheetData></worksheet>"}};
}

void write_spreadsheet(std::uint8_t kind, std::string_view bytes) {
  const int part = kind % 16;
  if (part == 8) {  // a compound file's allocation table holds 126 sectors of the stream
    std::ofstream(spreadsheet_path(), std::ios::binary | std::ios::trunc)
        << compound_file_of("Workbook", std::string(bytes.substr(0, std::size_t{126} * 512)));
    return;
  }
  if (part == 0 || part > 7) {
    std::ofstream(spreadsheet_path(), std::ios::binary | std::ios::trunc) << bytes;
    return;
  }
  Parts parts = sound_xlsx();
  static const char* const kPartNames[] = {"", "xl/sheet.xml", "xl/strings.xml", "xl/workbook.xml",
                                           "xl/_rels/workbook.xml.rels"};
  if (part == 5 || part == 7) {
    parts = {{"mimetype", part == 5 ? "application/vnd.oasis.opendocument.spreadsheet"
                                    : "application/vnd.oasis.opendocument.text"}};
    parts["content.xml"] = bytes;
  } else if (part == 6) {
    parts = {{"[Content_Types].xml", "<Types/>"}, {"word/document.xml", std::string(bytes)}};
  } else {
    parts[kPartNames[part]] = bytes;
  }
  std::filesystem::remove(spreadsheet_path());
  check(write_zip_archive(spreadsheet_path(), parts, kind < 0x40), "write_zip_archive");
}

bool is_reference(std::string_view reference) {
  std::size_t letters = 0;
  while (letters < reference.size() && reference[letters] >= 'A' && reference[letters] <= 'Z') {
    ++letters;
  }
  const std::string_view row = reference.substr(letters);
  return letters >= 1 && letters <= 3 && !row.empty() && row[0] != '0' &&
         row.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

// libfreexl leaks a buffer on some malformed workbooks, closed as its manual asks: a leak of
// the library's own, which the reader cannot free.
extern "C" const char* __lsan_default_suppressions() {  // NOLINT(bugprone-reserved-identifier)
  return "leak:libfreexl.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  write_spreadsheet(data[0], std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  FileSystem files;
  const std::string& name = spreadsheet_path().native();
  const OpenedFile file = files.open_for_reading(spreadsheet_path(), name);
  check(!file.failure, "open_for_reading");
  SpreadsheetReader reader(files);
  if (const std::optional<Failure> failure = reader.open(file.fd, name)) {
    check(failure->subject == name && !failure->reason.empty(), "failure of open");
    return 0;
  }
  while (true) {
    const SpreadsheetRow row = reader.next_row();
    if (row.cells.empty()) {
      check(!row.failure || row.failure->subject == name, "failure");
      return 0;
    }
    check(!row.failure, "failure with cells");
    std::size_t text_size = 0;
    for (const SpreadsheetCell& cell : row.cells) {
      check(!cell.text.empty(), "empty cell");
      check(is_reference(cell.reference), "reference");
      text_size += cell.text.size();
    }
    check(text_size <= std::size_t{16} << 20, "row size");
  }
}

#include "spreadsheet/spreadsheet_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "faulty_file_system.h"
#include "test_support.h"
#include "zip_writer.h"

namespace {

using test_support::read_file;
using test_support::write_file;
using Members = std::vector<std::pair<std::string, std::string>>;

const std::string kXlsxFrame =  // what an .xlsx holds besides its sheets' own parts
    "<workbook xmlns:r='r'><sheets><sheet name='Z' r:id='rId9'/><sheet name='A' r:id='rId1'/>"
    "<sheet name='chart' r:id='rId5'/><sheet name='A again' r:id='rId1'/></sheets></workbook>";
const std::string kXlsxRelations =
    "<Relationships><Relationship Id='rId1' Type='x/worksheet' Target='worksheets/sheet1.xml'/>"
    "<Relationship Id='rId9' Type='x/worksheet' Target='/xl/worksheets/sheet9.xml'/>"
    "<Relationship Id='rId5' Type='x/chartsheet' Target='chartsheets/sheet1.xml'/>"
    "<Relationship Id='rId7' Type='x/sharedStrings' Target='sharedStrings.xml'/>"
    "<Relationship Id='rId3' Type='x/styles' Target='styles.xml'/></Relationships>";
// Cell styles 1 to 4 show a date or a time, 0, 5 and 6 do not, nor is one in cellStyleXfs.
const std::string kXlsxStyles =
    "<styleSheet><numFmts><numFmt numFmtId='164' formatCode='yyyy/mm/dd\\ hh:mm'/><numFmt "
    "numFmtId='165' formatCode='[Red]0\\d_m*s\"年\"'/><numFmt numFmtId='14' "
    "formatCode='0'/></numFmts><cellStyleXfs><xf numFmtId='14'/></cellStyleXfs><cellXfs><xf "
    "numFmtId='0'/><xf numFmtId='22'/><xf numFmtId='164'/><xf numFmtId='45'/><xf numFmtId='31'/>"
    "<xf numFmtId='165'/><xf numFmtId='14'/></cellXfs></styleSheet>";
const std::string kOdsMimetype = "application/vnd.oasis.opendocument.spreadsheet";

// An .xlsx whose sheets, in the workbook's order, are Z (sheet9.xml) and A (sheet1.xml).
Members xlsx(const std::string& sheet_z, const std::string& sheet_a, const std::string& shared) {
  return {{"[Content_Types].xml", "<Types/>"},
          {"xl/workbook.xml", kXlsxFrame},
          {"xl/_rels/workbook.xml.rels", kXlsxRelations},
          {"xl/sharedStrings.xml", shared},
          {"xl/styles.xml", kXlsxStyles},
          {"xl/worksheets/sheet9.xml", sheet_z},
          {"xl/worksheets/sheet1.xml", sheet_a}};
}
Members ods(const std::string& tables) {
  return {{"mimetype", kOdsMimetype},
          {"content.xml", "<o:document-content><o:body><o:spreadsheet>" + tables +
                              "</o:spreadsheet></o:body></o:document-content>"}};
}

class SpreadsheetReaderTest : public ::testing::Test {
 protected:
  // Writes a ZIP archive of `members`, packed (deflated).
  std::filesystem::path archive(const Members& members) const {
    std::filesystem::path path = dir_.path() / "book";
    std::filesystem::remove(path);
    EXPECT_TRUE(write_zip_archive(path, members));
    return path;
  }
  // Every cell, a line each ("SHEET!CELL=TEXT", # for = in a number, @ a date, ? another kind),
  // or "failed: REASON" where a failure ended it. The reader is to close the descriptor once.
  std::string cells(const std::filesystem::path& path) {
    const OpenedFile file = file_system_.open_for_reading(path, path.native());
    if (file.failure) {
      return "failed: " + file.failure->reason;
    }
    const long closes_before = file_system_.close_calls;
    std::string lines = cells_read(file.fd, path.native());
    EXPECT_EQ(file_system_.close_calls, closes_before + 1) << lines;
    return lines;
  }
  std::string cells_read(int fd, const std::string& name) {
    SpreadsheetReader reader(file_system_);
    if (const std::optional<Failure> failure = reader.open(fd, name)) {
      EXPECT_EQ(failure->subject, name);
      return "failed: " + failure->reason;
    }
    std::string lines;
    for (SpreadsheetRow row = reader.next_row();; row = reader.next_row()) {
      if (row.cells.empty()) {
        return row.failure ? lines + "failed: " + row.failure->reason : lines;
      }
      for (const SpreadsheetCell& cell : row.cells) {
        lines += std::string(row.sheet) + "!" + cell.reference +
                 "=#@?"[static_cast<int>(cell.kind)] + cell.text + "\n";
      }
    }
  }

  test_support::ScopedTempDir dir_;
  FaultyFileSystem file_system_;
};

TEST_F(SpreadsheetReaderTest, ReadsEachKindOfCellAsTheFileKeepsIt) {
  const std::string row_of_numbers =
      "<sheetData><row r='7'><c r='B7'><v>9.12345678E8</v></c><c><v>8.86912345678E+11</v></c>"
      "<c r='AA7' t='n'><v>1.5</v></c><c><f>1+1</f><v>0091</v></c><c s='1'><v>45417.553</v></c>"
      "<c s='2'><v>45417</v></c><c s='3'><v>0.5</v></c><c s='4'><v>1</v></c><c s='5'><v>2</v>"
      "</c><c s='6'><v>3</v></c><c s='7'><v>4</v></c><c t='d'><v>2024-05-05</v></c></row>"
      "</sheetData>";
  const std::string row_of_texts =
      "<x:sheetData><x:row><x:c r='C2' t='s'><x:v>1</x:v></x:c><x:c t='inlineStr'><x:is><x:r>"
      "<x:t>0912</x:t></x:r><x:r><x:t xml:space='preserve'> 345</x:t></x:r><x:rPh><x:t>yomi"
      "</x:t></x:rPh></x:is></x:c><x:c "
      "t='str'><x:f>A1</x:f><x:v>x&amp;y_x000D_</x:v></x:c><x:c t='b'>"
      "<x:v>1</x:v></x:c><x:c t='e'><x:v>#N/A</x:v></x:c><x:c t='s'/></x:row></x:sheetData>";
  const std::string shared =
      "<sst><si><t>a</t></si><si><r><t>王</t></r><r><t>小明</t></r>"
      "<rPh><t>ㄨㄤˊ</t></rPh><t>_x4E00_</t></si></sst>";
  EXPECT_EQ(cells(archive(xlsx(row_of_numbers, row_of_texts, shared))),
            "Z!B7#912345678\nZ!C7#886912345678\nZ!AA7#1.5\nZ!AB7#91\nZ!AC7@45417.553\n"
            "Z!AD7@45417\nZ!AE7@0.5\nZ!AF7@1\nZ!AG7#2\nZ!AH7#3\nZ!AI7#4\nZ!AJ7@2024-05-05\n"
            "A!C1=王小明一\nA!D1=0912 345\nA!E1=x&y\r\nA!F1?1\nA!G1?#N/A\n");
  const std::string table =
      "<t:table t:name='名單'><t:table-row t:number-rows-repeated='3'><t:table-cell "
      "t:number-columns-repeated='16384'/></t:table-row><t:table-row><t:table-cell "
      "t:number-columns-repeated='2'/><t:table-cell o:value-type='float' o:value='9.12345678E8'>"
      "<x:p>912,345,678</x:p></t:table-cell><t:table-cell o:value-type='percentage' "
      "o:value='0.25'><x:p>25%</x:p></t:table-cell></t:table-row><t:table-row "
      "t:number-rows-repeated='2'><t:table-cell t:number-columns-repeated='2'><x:p>a<x:s "
      "x:c='3'/>b<x:span>c</x:span></x:p><x:p>d<x:tab/>e<x:line-break/>f</x:p><o:annotation>"
      "<x:p>note</x:p></o:annotation></t:table-cell><t:covered-table-cell "
      "o:value-type='string'><x:p>0912</x:p></t:covered-table-cell></t:table-row></t:table>"
      "<t:table t:name='empty'/><t:table t:name='B'><t:table-row><t:table-cell "
      "o:value-type='boolean'><x:p>TRUE</x:p></t:table-cell><t:table-cell o:value-type='string' "
      "o:string-value='0912 345'><x:p>0912…</x:p></t:table-cell><t:table-cell o:value-type='date' "
      "o:date-value='2024-05-05'><x:p>2024/5/5</x:p></t:table-cell><t:table-cell "
      "o:value-type='time' o:time-value='PT13H16M'><x:p>13:16</x:p></t:table-cell></t:table-row>"
      "</t:table>";
  EXPECT_EQ(cells(archive(ods(table))),
            "名單!C4#912345678\n名單!D4#0.25\n名單!A5=a   bc\nd\te\nf\n名單!B5=a   bc\nd\te\nf\n"
            "名單!C5=0912\n名單!A6=a   bc\nd\te\nf\n名單!B6=a   bc\nd\te\nf\n名單!C6=0912\n"
            "B!A1?TRUE\nB!B1=0912 345\nB!C1@2024/5/5\nB!D1@13:16\n");
}

// `archive` with the unpacked size of its last member declared as `declared`, in both headers.
std::string with_declared_size(std::string archive, std::uint32_t declared) {
  for (const auto& [signature, offset] : {std::pair("PK\3\4", 22), std::pair("PK\1\2", 24)}) {
    const std::size_t header = archive.rfind(signature);
    for (int byte = 0; byte < 4; ++byte) {
      archive[header + offset + byte] = static_cast<char>(declared >> (8 * byte));
    }
  }
  return archive;
}

TEST_F(SpreadsheetReaderTest, RefusesWhatIsNoSpreadsheetOrDamagedOrABomb) {
  const std::string blanks(std::size_t{2} << 20, ' ');
  const std::string bomb_archive = read_file(archive(ods(blanks)));
  const std::string open_table = "<t:table t:name='s'><t:table-row t:number-rows-repeated=";
  const struct {
    Members members;
    std::string bytes;  // instead of an archive of the members, when set
    std::string cells;
  } rows[] = {
      {{{"[Content_Types].xml", ""}, {"word/document.xml", ""}},
       "",
       "failed: is an office document but not a spreadsheet; save the list as a spreadsheet "
       "(.xlsx, .ods) or as UTF-8 text"},
      {{{"mimetype", "application/vnd.oasis.opendocument.text"}},
       "",
       "failed: is an office document but not a spreadsheet; save the list as a spreadsheet "
       "(.xlsx, .ods) or as UTF-8 text"},
      {{{"[Content_Types].xml", ""}, {"xl/workbook.bin", ""}},
       "",
       "failed: is a spreadsheet in a binary format (.xlsb); save it as .xlsx or .ods"},
      {{{"list.csv", "0912345678"}},
       "",
       "failed: is a ZIP archive, not a spreadsheet; unpack it and name the list inside"},
      {{}, "PK\3\4 not an archive", "failed: is damaged: it cannot be read as a ZIP archive"},
      {{},
       bomb_archive.substr(0, bomb_archive.size() - 30),
       "failed: is damaged: it cannot be read as a ZIP archive"},
      {xlsx("<sheetData><row><c><v>1</v></c></row>", "", "<sst/>"), "",
       "Z!A1#1\nfailed: its part xl/worksheets/sheet9.xml is not well-formed XML"},
      {{{"[Content_Types].xml", ""}, {"xl/workbook.xml", kXlsxFrame}},
       "",
       "failed: its part xl/_rels/workbook.xml.rels is missing"},
      {xlsx("<worksheet><sheetData><row><c t='s'><v>1</v></c></row></sheetData></worksheet>", "",
            "<sst><si><t>a</t></si></sst>"),
       "", "failed: its part xl/worksheets/sheet9.xml is damaged"},
      {{{"mimetype", blanks}},
       "",
       "failed: its part mimetype unpacks to more than 100 times its packed size, as a ZIP bomb "
       "does; it is not read"},
      {{},  // unpacked no further than it declares: its checksum then fails
       with_declared_size(bomb_archive, 1000),
       "failed: its part content.xml is damaged"},
      {{},  // ends before the size it declares
       with_declared_size(read_file(archive(ods("<t:table/>"))), 5000),
       "failed: its part content.xml is damaged"},
      {{},
       with_declared_size(bomb_archive, 0x40000001),
       "failed: its part content.xml unpacks to more than 1 GiB, as a ZIP bomb does; it is not "
       "read"},
      {ods(open_table + "'1048576'><t:table-cell t:number-columns-repeated='2'><x:p>1</x:p>"
                        "</t:table-cell></t:table-row></t:table>"),
       "",
       "failed: its part content.xml repeats cells more than 1048576 times, as a ZIP bomb does; "
       "it is not read"},
  };
  for (const auto& row : rows) {
    const std::filesystem::path path = archive(row.members);
    if (!row.bytes.empty()) {
      write_file(path, row.bytes);
    }
    EXPECT_EQ(cells(path), row.cells) << row.cells;
  }
  EXPECT_EQ(cells(dir_.path() / "none"), "failed: No such file or directory");
  // A read that fails, wherever it falls in an archive of several blocks, ends the reading
  // with its reason.
  std::string table;
  for (int row = 0; row < 3000; ++row) {
    table += "<t:table-row><t:table-cell><x:p>0912345678</x:p></t:table-cell></t:table-row>";
  }
  const std::filesystem::path stored = dir_.path() / "stored";
  ASSERT_TRUE(write_zip_archive(stored, ods("<t:table t:name='s'>" + table + "</t:table>"), false));
  for (long call = 1;; ++call) {
    file_system_.fail_read_at_call(call);
    const std::string got = cells(stored);
    if (file_system_.read_at_calls < call) {
      break;  // no read failed
    }
    EXPECT_TRUE(got.ends_with("failed: Input/output error")) << call << ": " << got.substr(0, 60);
  }
}

// Sheets as people keep them: saved as CSV, opened in a spreadsheet program and saved again.
TEST_F(SpreadsheetReaderTest, ReadsSheetsSavedByASpreadsheetProgram) {
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "no soffice to make the sheets (apt-get install libreoffice-calc-nogui)";
  }
  // The columns as standard, text, standard, standard: "0912345678" in the third is a number.
  write_file(dir_.path() / "list.csv",
             "名字,電話,號碼,國際\n王小明,0912345678,0912345678,886912345678\n"
             "Amy Chen,0987 654 321,9.16796E+08,+886 987 654 321\n,,,\n陳大文,,0912000000,\n");
  write_file(dir_.path() / "sheets.fods", R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:body>
<office:spreadsheet><table:table table:name="名單"><table:table-row>
<table:table-cell office:value-type="string"><text:p>王  小明</text:p></table:table-cell>
<table:table-cell office:value-type="float" office:value="912345678"/>
<table:table-cell office:value-type="float" office:value="912345678"/></table:table-row>
<table:table-row table:number-rows-repeated="3"/><table:table-row><table:table-cell/>
<table:table-cell office:value-type="float" office:value="1.5"/></table:table-row></table:table>
<table:table table:name="空"/><table:table table:name="Two"><table:table-row><table:table-cell/>
<table:table-cell/><table:table-cell office:value-type="string"><text:p>0912345678</text:p>
</table:table-cell></table:table-row></table:table></office:spreadsheet></office:body>
</office:document>)");
  const std::string list =
      "list!A1=名字\nlist!B1=電話\nlist!C1=號碼\nlist!D1=國際\nlist!A2=王小明\n"
      "list!B2=0912345678\nlist!C2#912345678\nlist!D2#886912345678\nlist!A3=Amy Chen\n"
      "list!B3=0987 654 321\nlist!C3#916796000\nlist!D3=+886 987 654 321\nlist!A5=陳大文\n"
      "list!C5#912000000\n";
  const std::string sheets =
      "名單!A1=王  小明\n名單!B1#912345678\n名單!C1#912345678\n"
      "名單!B5#1.5\nTwo!C1=0912345678\n";
  for (const std::string format : {"xlsx", "ods"}) {
    const std::string command = "cd '" + dir_.path().native() +
                                "' && soffice -env:UserInstallation=file://" +
                                dir_.path().native() +
                                "/profile --headless --infilter=CSV:44,34,"
                                "76,1,1/1/2/2/3/1/4/1 --convert-to " +
                                format + " list.csv sheets.fods >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(cells(dir_.path() / ("list." + format)), list) << format;
    EXPECT_EQ(cells(dir_.path() / ("sheets." + format)), sheets) << format;
  }
}

}  // namespace

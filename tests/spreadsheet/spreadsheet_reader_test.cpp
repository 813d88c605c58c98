#include "spreadsheet/spreadsheet_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "compound_file_writer.h"
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
Members ods(const std::string& tables, const std::string& styles = "") {
  return {{"mimetype", kOdsMimetype},
          {"content.xml", "<o:document-content>" + styles + "<o:body><o:spreadsheet>" + tables +
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
  // what a sheet hid where it is handed out ("SHEET: hidden" or "SHEET: hid R rows, C columns"),
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
      for (const HiddenInSheet& hidden : row.hidden_before) {
        lines += hidden.sheet + (hidden.whole_sheet
                                     ? ": hidden\n"
                                     : ": hid " + std::to_string(hidden.rows) + " rows, " +
                                           std::to_string(hidden.columns) + " columns\n");
      }
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
      "</c><c s='6'><v>3</v></c><c s='7'><v>4</v></c><c t='d'><v>2024-05-05</v></c>"
      "<c s='2'><v>912345678</v></c></row>"
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
            "Z!AD7@45417\nZ!AE7@0.5\nZ!AF7@1\nZ!AG7#2\nZ!AH7#3\nZ!AI7#4\nZ!AJ7@2024-05-05\nZ!AK7#"
            "912345678\n"
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
  const std::string docx_body =  // a text box, a field's code, a nested table, a ptab
      "<w:body><w:p><w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><mc:AlternateContent>"
      "<mc:Choice><w:txbxContent><w:p><w:r><w:t>box</w:t></w:r></w:p></w:txbxContent>"
      "</mc:Choice><mc:Fallback><w:t>box</w:t></mc:Fallback></mc:AlternateContent>"
      "<w:instrText>PAGE</w:instrText></w:r></w:p><w:p/><w:tbl><w:tr><w:tc><w:p/></w:tc><w:tc>"
      "<w:tbl><w:tr><w:tc><w:p><w:r><w:t>c</w:t></w:r></w:p></w:tc></w:tr></w:tbl></w:tc>"
      "</w:tr></w:tbl><w:p><w:r><w:t>c</w:t><w:ptab/><w:t>d</w:t></w:r></w:p></w:body>";
  EXPECT_EQ(cells(archive({{"[Content_Types].xml", ""}, {"word/document.xml", docx_body}})),
            "!A1=a\tb\n\nbox\n!B3=c\n!A4=c\td\n");
  const std::string odt_body =  // a note, a drawing's title, a text box
      "<o:body><o:text><x:p>0912<x:note><x:note-body><x:p>n</x:p></x:note-body></x:note>"
      "<d:frame><d:title>t</d:title><d:text-box><x:h>h</x:h></d:text-box></d:frame></x:p>"
      "<x:list><x:list-item><x:p>l<x:s x:c='2'/>m</x:p></x:list-item></x:list></o:text></o:body>";
  EXPECT_EQ(cells(archive(
                {{"mimetype", "application/vnd.oasis.opendocument.text"},
                 {"content.xml", "<o:document-content>" + odt_body + "</o:document-content>"}})),
            "!A1=0912\nh\n!A2=l  m\n");
}

TEST_F(SpreadsheetReaderTest, LeavesOutWhatIsHiddenAndCountsWhatHeldSomething) {
  Members sheets = xlsx(
      "<worksheet><cols><col min='2' max='3' hidden='1'/><col min='4' max='4' hidden='0'/><col "
      "min='6' "
      "max='16384' hidden='true'/></cols><sheetData><row><c><v>1</v></c><c><v>2</v></c><c r='D1'>"
      "<v>4</v></c><c r='F1'><v>6</v></c></row><row r='2' hidden='1'><c><v>7</v></c></row><row "
      "hidden='1'/><row hidden='1'><c r='C4'><v>8</v></c></row><row><c><v>9</v></c></row>"
      "</sheetData></worksheet>",
      "<sheetData><row><c><v>1</v></c></row></sheetData>", "<sst/>");
  EXPECT_EQ(cells(archive(sheets)), "Z!A1#1\nZ!D1#4\nZ!A5#9\nZ: hid 2 rows, 3 columns\nA!A1#1\n");
  sheets[1].second =
      "<workbook xmlns:r='r'><sheets><sheet name='Z' state='hidden' r:id='rId9'/><sheet "
      "name='A' state='veryHidden' r:id='rId1'/></sheets></workbook>";
  EXPECT_EQ(cells(archive(sheets)), "Z: hidden\nA: hidden\n");
  const std::string styles =
      "<o:automatic-styles><s:style s:name='ta1' s:family='table'><s:table-properties "
      "t:display='true'/></s:style><s:style s:name='ta2' s:family='table'><s:table-properties "
      "t:display='false'/></s:style></o:automatic-styles>";
  const std::string cell_a = "<t:table-cell t:number-columns-repeated='6'><x:p>a</x:p>";
  Members tables =
      ods("<t:table t:name='H1' t:style-name='ta2'><t:table-row><t:table-cell><x:p>1</x:p>"
          "</t:table-cell></t:table-row></t:table><t:table t:name='S' t:style-name='ta1'>"
          "<t:table-column t:number-columns-repeated='2'/><t:table-column t:visibility='collapse' "
          "t:number-columns-repeated='2'/><t:table-column t:visibility='filter'/><t:table-row>" +
              cell_a +
              "</t:table-cell></t:table-row><t:table-row t:visibility='filter' "
              "t:number-rows-repeated='3'><t:table-cell><x:p>b</x:p></t:table-cell></t:table-row>"
              "<t:table-row t:visibility='collapse' t:number-rows-repeated='9'/><t:table-row>"
              "<t:table-cell t:number-columns-repeated='2'/><t:table-cell><x:p>c</x:p>"
              "</t:table-cell></t:table-row></t:table><t:table t:name='H2' t:style-name='named'/>",
          styles);
  tables.emplace_back("styles.xml",
                      "<o:document-styles><o:styles><s:style s:name='named' s:family='table'>"
                      "<s:table-properties t:display='false'/></s:style></o:styles>"
                      "</o:document-styles>");
  EXPECT_EQ(cells(archive(tables)),
            "H1: hidden\nS!A1=a\nS!B1=a\nS!F1=a\nS: hid 3 rows, 3 columns\nH2: hidden\n");
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

// A BIFF record: its type, its length, then `data`.
std::string biff_record(int type, const std::string& data) {
  return std::string{static_cast<char>(type), static_cast<char>(type >> 8),
                     static_cast<char>(data.size()), static_cast<char>(data.size() >> 8)} +
         data;
}

TEST_F(SpreadsheetReaderTest, RefusesWhatIsNoSpreadsheetOrDocumentOrDamagedOrABomb) {
  // A BIFF8 workbook's BOF record, and a DIMENSIONS record of rows 0-65535, columns 0-255.
  const std::string biff8_start =
      biff_record(0x0809, std::string("\0\6\5\0", 4) + std::string(12, '\0'));
  const std::string whole_sheet_claimed =
      biff_record(0x0200, std::string("\0\0\0\0\0\0\1\0\0\0\0\1\0\0", 14));
  const std::string blanks(std::size_t{2} << 20, ' ');
  const std::string bomb_archive = read_file(archive(ods(blanks)));
  const std::string open_table = "<t:table t:name='s'><t:table-row t:number-rows-repeated=";
  std::string nested;  // 2 elements around it: 254 more is the deepest nesting read
  for (int depth = 0; depth < 254; ++depth) {
    nested = "<a>" + nested + "</a>";
  }
  std::string empty_strings;
  std::string one_character_cells;  // a row of 16 MiB once each cell counts 80 bytes
  for (int item = 0; item < 210000; ++item) {
    empty_strings += item < 100000 ? "<si/>" : "";
    one_character_cells += "<c><v>1</v></c>";
  }
  const std::filesystem::path stored = dir_.path() / "stored";
  ASSERT_TRUE(write_zip_archive(
      stored, xlsx("<sheetData><row>" + one_character_cells + "</row></sheetData>", "", "<sst/>"),
      false));
  const struct {
    Members members;
    std::string bytes;  // instead of an archive of the members, when set
    std::string cells;
  } rows[] = {
      {{{"[Content_Types].xml", ""}, {"ppt/presentation.xml", ""}},
       "",
       "failed: is an office document but not a spreadsheet; save the list as a spreadsheet "
       "(.xlsx, .ods) or as UTF-8 text"},
      {{{"mimetype", "application/vnd.oasis.opendocument.presentation"}},
       "",
       "failed: is an office document but not a spreadsheet; save the list as a spreadsheet "
       "(.xlsx, .ods) or as UTF-8 text"},
      {{{"[Content_Types].xml", ""}, {"xl/workbook.bin", ""}},
       "",
       "failed: is a spreadsheet in a binary format (.xlsb); save it as .xlsx or .ods"},
      {{},
       compound_file_of("WordDocument", "0912345678"),
       "failed: is an old office file but not an Excel workbook; save the list as a spreadsheet "
       "(.xlsx, .ods), a text document (.docx, .odt) or UTF-8 text"},
      {{},
       compound_file_of("Workbook", "0912345678"),
       "failed: is an Excel 97-2003 workbook that cannot be read, perhaps damaged; save it as "
       ".xlsx or .ods"},
      {{},
       compound_file_of("Workbook", biff8_start + whole_sheet_claimed + whole_sheet_claimed),
       "failed: is an Excel workbook whose sheets claim more than 16777216 cells, all of which "
       "would be read into memory; delete the empty rows and columns after the list, or save it "
       "as .xlsx or .ods"},
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
      {ods(open_table + "'1048576'><t:table-cell><x:p>1<x:s x:c='16000000'/>2</x:p>"
                        "</t:table-cell></t:table-row></t:table>"),
       "",
       "failed: its cells hold more than 64 times the text it unpacks to, or more than 1 GiB, as "
       "a ZIP bomb does; it is not read"},
      {xlsx("<w><sheetData><row><c><v>1</v></c></row>" + nested + "</sheetData></w>", "<w/>",
            "<sst/>"),
       "", "Z!A1#1\n"},
      {xlsx("<w><sheetData><row><c><v>1</v></c></row><a>" + nested + "</a></sheetData></w>", "<w/>",
            "<sst/>"),
       "",
       "Z!A1#1\nfailed: its part xl/worksheets/sheet9.xml nests elements more than 256 deep; "
       "it is not read"},
      {xlsx("<w><sheetData><row><c t='s'><v>100000</v></c></row></sheetData></w>", "<w/>",
            "<sst>" + empty_strings + "<si><t>0912</t></si></sst>"),
       "", "Z!A1=0912\n"},
      {{},
       read_file(stored),
       "failed: its part xl/worksheets/sheet9.xml holds a row of more than 16 MiB of text; it is "
       "not read"},
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
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:automatic-styles>
<style:style style:name="ta2" style:family="table"><style:table-properties table:display="false"/>
</style:style></office:automatic-styles><office:body>
<office:spreadsheet><table:table table:name="名單"><table:table-row>
<table:table-cell office:value-type="string"><text:p>王  小明</text:p></table:table-cell>
<table:table-cell office:value-type="float" office:value="912345678"/>
<table:table-cell office:value-type="float" office:value="912345678"/></table:table-row>
<table:table-row table:number-rows-repeated="2"/><table:table-row table:visibility="collapse">
<table:table-cell office:value-type="string"><text:p>0912000000</text:p></table:table-cell>
</table:table-row><table:table-row><table:table-cell/>
<table:table-cell office:value-type="float" office:value="1.5"/></table:table-row></table:table>
<table:table table:name="空"/><table:table table:name="隱" table:style-name="ta2"/>
<table:table table:name="Two"><table:table-row><table:table-cell/>
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
      "名單!B5#1.5\n名單: hid 1 rows, 0 columns\n隱: hidden\nTwo!C1=0912345678\n";
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

// A roster as people keep one in a word processor, and an old workbook, saved by an office
// program: what a header, a footer, a comment and deleted text hold is not read.
TEST_F(SpreadsheetReaderTest, ReadsDocumentsAndOldWorkbooksSavedByAnOfficeProgram) {
  if (std::system("command -v soffice >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "no soffice to make the files (apt-get install libreoffice-writer-nogui "
                    "libreoffice-calc-nogui)";
  }
  const std::string office =
      R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:dc="http://purl.org/dc/elements/1.1/" office:version="1.2" office:mimetype=)";
  write_file(dir_.path() / "roster.fodt", office + R"("application/vnd.oasis.opendocument.text">
<office:master-styles><style:master-page style:name="Standard">
<style:header><text:p>0911111111</text:p></style:header>
<style:footer><text:p>0922222222</text:p></style:footer></style:master-page></office:master-styles>
<office:body><office:text><text:tracked-changes><text:changed-region text:id="c1"><text:deletion>
<office:change-info><dc:creator>A</dc:creator><dc:date>2024-01-01T00:00:00</dc:date>
</office:change-info><text:p>0933333333</text:p></text:deletion></text:changed-region>
</text:tracked-changes><text:h text:outline-level="1">通訊錄</text:h><text:p>總機 02 2345 6789<office:annotation>
<dc:creator>A</dc:creator><text:p>0944444444</text:p></office:annotation>；<text:change
 text:change-id="c1"/></text:p><table:table table:name="名單"><table:table-column
 table:number-columns-repeated="2"/><table:table-row><table:table-cell><text:p>王小明</text:p>
</table:table-cell><table:table-cell><text:p>0912 345 678</text:p><text:p>分機 12</text:p>
</table:table-cell></table:table-row><table:table-row><table:table-cell/><table:table-cell>
<text:p>0987<text:s text:c="2"/>654 321</text:p></table:table-cell></table:table-row>
</table:table></office:text></office:body></office:document>)");
  write_file(dir_.path() / "book.fods",
             office + R"("application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles><number:date-style style:name="N1"><number:year/><number:text>-</number:text>
<number:month/></number:date-style><style:style style:name="ce1" style:family="table-cell"
 style:data-style-name="N1"/><style:style style:name="ta2" style:family="table">
<style:table-properties table:display="false"/></style:style></office:automatic-styles>
<office:body><office:spreadsheet><table:table table:name="名單"><table:table-row>
<table:table-cell office:value-type="float" office:value="912345678"/>
<table:table-cell office:value-type="string"><text:p>0912345678</text:p></table:table-cell>
<table:table-cell table:style-name="ce1" office:value-type="date" office:date-value="2024-03-05"/>
<table:table-cell office:value-type="float" office:value="1.5"/></table:table-row></table:table>
<table:table table:name="hidden" table:style-name="ta2"><table:table-row><table:table-cell
 office:value-type="string"><text:p>0987654321</text:p></table:table-cell></table:table-row>
</table:table></office:spreadsheet></office:body></office:document>)");
  const std::string roster =
      "!A1=通訊錄\n!A2=總機 02 2345 6789；\n!A3=王小明\n!B3=0912 345 678\n分機 12\n"
      "!B4=0987  654 321\n";
  // The library reading .xls cannot tell a hidden sheet: it is read.
  const std::string book =
      "名單!A1#912345678\n名單!B1=0912345678\n名單!D1#1.5\nhidden!A1=0987654321\n";
  for (const auto& [format, file, expected] :
       {std::tuple("docx", "roster", roster), std::tuple("odt", "roster", roster),
        std::tuple("xls", "book", book)}) {
    const std::string command =
        "cd '" + dir_.path().native() + "' && soffice -env:UserInstallation=file://" +
        dir_.path().native() + "/profile --headless --convert-to " + format + " " + file + ".fo" +
        (format[0] == 'x' ? "ds" : "dt") + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(cells(dir_.path() / (std::string(file) + "." + format)), expected) << format;
  }
}

}  // namespace

// Runs the built extract_phone_numbers through sh: its standard streams and exit status.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"
#include "zip_writer.h"

namespace {

struct ProgramRun {
  std::string arguments;  // as sh reads them, perhaps with a redirection of standard output
  std::string input;      // standard input
  int status;
  std::string output;
  std::string errors;
  std::string environment = "LC_ALL=C";
};

using Members = std::vector<std::pair<std::string, std::string>>;  // name, bytes

void write_zip(const std::filesystem::path& path, const Members& members) {
  std::filesystem::remove(path);
  EXPECT_TRUE(write_zip_archive(path, members)) << path;
}

// A workbook of one sheet, 表1, whose part xl/worksheets/sheet1.xml holds `sheet_data`.
Members workbook(const std::string& sheet_data) {
  return {
      {"[Content_Types].xml", "<Types/>"},
      {"xl/workbook.xml",
       R"(<workbook xmlns:r="r"><sheets><sheet name="表1" r:id="rId1"/></sheets></workbook>)"},
      {"xl/_rels/workbook.xml.rels",
       R"(<Relationships><Relationship Id="rId1" Type="/worksheet" Target="worksheets/sheet1.xml"/>)"
       "</Relationships>"},
      {"xl/worksheets/sheet1.xml", "<worksheet><sheetData>" + sheet_data}};
}

TEST(ExtractPhoneNumbersTest, WritesTheNumbersNotesAndExitStatus) {
  const ProgramRun runs[] = {
      {"", "\xE7\x8E\x8B,0912 345 678\n", 0, "0912345678\n",
       "extract_phone_numbers: standard input: 1 phone number\n"},
      {"", "(415) 555-2671\n", 0, "+14155552671\n",
       "extract_phone_numbers: standard input: 1 phone number\n",
       "LC_ALL= LC_TELEPHONE=en_US.UTF-8"},
      // A number left out is named again in another file.
      {"- in", "(02)2345-6789 0912345678\n", 0, "0912345678\n",
       "extract_phone_numbers: standard input:1: 0223456789: is not a mobile number; a text "
       "message cannot reach it\n"
       "extract_phone_numbers: standard input: 1 phone number\n"
       "extract_phone_numbers: in:1: 0223456789: is not a mobile number; a text message cannot "
       "reach it\n"
       "extract_phone_numbers: in: 1 phone number, 1 of them found before\n"},
      {"--all", "(02)2345-6789 0912345678\n", 0, "0223456789\n0912345678\n",
       "extract_phone_numbers: standard input: 2 phone numbers\n"},
      {"missing - /dev/null", "0912345678", 1, "0912345678\n",
       "extract_phone_numbers: missing: No such file or directory\n"
       "extract_phone_numbers: standard input: 1 phone number\n"
       "extract_phone_numbers: /dev/null: 0 phone numbers\n"},
      {"/dev/null", "", 1, "",
       "extract_phone_numbers: /dev/null: 0 phone numbers\n"
       "extract_phone_numbers: no phone number found\n"},
      {"- >/dev/full", "0912345678\n", 1, "",
       "extract_phone_numbers: standard output: No space left on device\n"},
      {"--bad", "", 2, "",
       "extract_phone_numbers: unrecognized option '--bad'\n"
       "Try 'extract_phone_numbers --help' for more information.\n"},
      {"/dev/null", "", 1, "",
       "extract_phone_numbers: /dev/null: 0 \xE5\x80\x8B\xE9\x9B\xBB\xE8\xA9\xB1\xE8\x99\x9F"
       "\xE7\xA2\xBC\n"
       "extract_phone_numbers: \xE6\x89\xBE\xE4\xB8\x8D\xE5\x88\xB0\xE4\xBB\xBB\xE4\xBD\x95"
       "\xE9\x9B\xBB\xE8\xA9\xB1\xE8\x99\x9F\xE7\xA2\xBC\n",
       "LC_ALL=zh_TW.UTF-8"},
      {"sheet.xlsx", "", 0, "0912345678\n0916796020\n",
       "extract_phone_numbers: sheet.xlsx:\xE8\xA1\xA8"
       "1!B2: 916796020: taken as 0916796020, "
       "with the leading 0 it lacked\n"
       "extract_phone_numbers: sheet.xlsx: 2 phone numbers\n"},
      {"damaged.xlsx -", "0912345678", 1, "0912345678\n",
       "extract_phone_numbers: damaged.xlsx:\xE8\xA1\xA8"
       "1!A1: 912345678: taken as 0912345678, "
       "with the leading 0 it lacked\n"
       "extract_phone_numbers: damaged.xlsx: its part xl/worksheets/sheet1.xml is not "
       "well-formed XML\n"
       "extract_phone_numbers: standard input: 1 phone number\n"},
      // A name cannot drive the terminal: U+202E (right-to-left override) and a C1 CSI show as ?.
      {"'a\xE2\x80\xAE"
       "b\xC2\x9B"
       "2J'",
       "", 1, "",
       "extract_phone_numbers: a?b?2J: No such file or directory\n"
       "extract_phone_numbers: no phone number found\n"},
      {"other.zip - <sheet.xlsx", "", 1, "",
       "extract_phone_numbers: other.zip: is a ZIP archive, not a spreadsheet; unpack it and "
       "name the list inside\n"
       "extract_phone_numbers: standard input: is a ZIP archive, as a spreadsheet is, which is "
       "read only from a file named on the command line\n"
       "extract_phone_numbers: no phone number found\n"},
      // A FIFO is opened once and refused at once: a second open would wait for ever.
      {"fifo", "", 1, "",
       "extract_phone_numbers: fifo: is a ZIP archive, as a spreadsheet is, which is read only "
       "from a file named on the command line\n"
       "extract_phone_numbers: no phone number found\n",
       "{ cat sheet.xlsx >fifo & } && LC_ALL=C timeout 20"},
  };
  const test_support::ScopedTempDir dir;
  // Its C3 is a date and time, by its style: neither searched nor noted.
  Members sheet = workbook(
      R"(<row><c r="A1" t="inlineStr"><is><t>王 0912 345 678</t></is></c></row>)"
      R"(<row><c r="B2"><v>916796020</v></c><c r="C3" s="1"><v>45417.55303240741</v></c></row>)"
      "</sheetData></worksheet>");
  sheet.emplace_back("xl/styles.xml", "<cellXfs><xf/><xf numFmtId='22'/></cellXfs>");
  write_zip(dir.path() / "sheet.xlsx", sheet);
  write_zip(dir.path() / "damaged.xlsx",
            workbook(R"(<row><c r="A1"><v>912345678</v></c></row><row>)"));
  write_zip(dir.path() / "other.zip", {{"list.txt", "0912345678"}});
  ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
  for (const ProgramRun& run : runs) {
    test_support::write_file(dir.path() / "in", run.input);
    const std::string command = "cd " + dir.path().string() + " && " + run.environment + " " +
                                EXTRACT_PHONE_NUMBERS_PATH + " <in >>out 2>errors " + run.arguments;
    std::filesystem::remove(dir.path() / "out");
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), run.status) << run.arguments;
    const bool has_output = std::filesystem::exists(dir.path() / "out");
    EXPECT_EQ(has_output ? test_support::read_file(dir.path() / "out") : "", run.output)
        << run.arguments;
    EXPECT_EQ(test_support::read_file(dir.path() / "errors"), run.errors) << run.arguments;
  }
}

}  // namespace

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

// A workbook of one sheet, 表1, whose part xl/worksheets/sheet1.xml holds `sheet_data`; with
// `hidden_sheet`, a hidden sheet 停 before it, whose part the archive lacks (it is never read).
Members workbook(const std::string& sheet_data, bool hidden_sheet = false) {
  return {
      {"[Content_Types].xml", "<Types/>"},
      {"xl/workbook.xml",
       std::string(R"(<workbook xmlns:r="r"><sheets>)") +
           (hidden_sheet ? R"(<sheet name="停" state="hidden" r:id="rId2"/>)" : "") +
           R"(<sheet name="表1" r:id="rId1"/></sheets></workbook>)"},
      {"xl/_rels/workbook.xml.rels",
       R"(<Relationships><Relationship Id="rId1" Type="/worksheet" Target="worksheets/sheet1.xml"/>)"
       R"(<Relationship Id="rId2" Type="/worksheet" Target="worksheets/sheet2.xml"/>)"
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
       "extract_phone_numbers: in: 0 new phone numbers; 1 found before, not written again\n"},
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
      // The help and the usage errors in the user's language, the kinds of files it reads and
      // the way from a spreadsheet to the phone included.
      {"--help", "", 0,
       "用法：extract_phone_numbers [--region=CC] [--all] [檔案]...\n"
       "找出每個檔案裡的手機號碼，寫到標準輸出，一行一個，同一號碼只寫一次，\n"
       "寫成在該地區用手機撥打的形式：這就是 change_utf8 轉成群組檔、用來傳送\n"
       "群組簡訊的名單，而簡訊只能送到手機。\n"
       "沒有指定檔案，或檔案為「-」時，讀取標準輸入（檔案或管線皆可，不能是終端機）。\n"
       "\n"
       "檔案可以是 Excel 活頁簿（.xlsx 或 .xls）、.ods 試算表、CSV 檔、vCard（.vcf）、\n"
       "Word 的 .docx（或 .odt）文件，或是 UTF-8、Unicode（UTF-16）或 Big5 編碼\n"
       "的文字檔。試算表請直接使用存檔時的檔案，不要另存成 CSV：數字儲存格的每一位數\n"
       "都會讀到。隱藏的工作表、列和欄（.xls 除外）會略過，並在標準錯誤輸出列出；\n"
       "日期不會讀取。\n"
       "\n"
       "從試算表到手機：\n"
       "  extract_phone_numbers 名單.xlsx > 名單.txt\n"
       "  change_utf8                  （回答 500，再回答 名單.txt）\n"
       "\n"
       "  --region=CC  依國家 CC（兩個英文字母，例如 TW 或 US）的寫法讀取號碼；預設為\n"
       "               語系（LC_TELEPHONE）的國家，沒有時為 TW\n"
       "  --all        寫出找到的每個有效號碼；沒有這個選項時只寫出手機號碼，其他號碼\n"
       "               （市話、免付費電話等）在標準錯誤輸出上指出\n"
       "  --help       顯示這段說明後結束\n"
       "  --version    顯示版本資訊後結束\n"
       "\n"
       "結束狀態：每個檔案都讀取完畢且寫出了號碼時為 0，否則為 1，命令列有誤時為 2。\n"
       "完整說明：man -L zh_TW extract_phone_numbers\n",
       "", "LC_ALL=zh_TW.UTF-8"},
      {"--bad", "", 2, "",
       "extract_phone_numbers: 無法識別的選項「--bad」\n"
       "請執行「extract_phone_numbers --help」查看用法。\n",
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
      // A hidden sheet and row are left out, and said so; the exit status stays 0.
      {"hidden.xlsx", "", 0, "0912345678\n",
       "extract_phone_numbers: hidden.xlsx:\xE5\x81\x9C: is hidden and was not read; unhide it "
       "to include it\n"
       "extract_phone_numbers: hidden.xlsx:\xE8\xA1\xA8"
       "1: 1 hidden row was not read; unhide it to include it\n"
       "extract_phone_numbers: hidden.xlsx: 1 phone number\n"},
      {"hidden.xlsx", "", 0, "0912345678\n",
       "extract_phone_numbers: hidden.xlsx:\xE5\x81\x9C: "
       "\xE5\xB7\xA5\xE4\xBD\x9C\xE8\xA1\xA8\xE5\xB7\xB2\xE9\x9A\xB1\xE8\x97\x8F\xEF\xBC\x8C\xE6"
       "\x9C\xAA\xE8\xAE\x80\xE5\x8F\x96\xEF\xBC\x9B\xE8\x8B\xA5\xE8\xA6\x81\xE7\xB4\x8D\xE5\x85"
       "\xA5\xEF\xBC\x8C\xE8\xAB\x8B\xE5\x8F\x96\xE6\xB6\x88\xE9\x9A\xB1\xE8\x97\x8F\n"
       "extract_phone_numbers: hidden.xlsx:\xE8\xA1\xA8"
       "1: \xE6\x9C\x89 1 "
       "\xE5\x88\x97\xE5\xB7\xB2\xE9\x9A\xB1\xE8\x97\x8F\xEF\xBC\x8C\xE6\x9C\xAA\xE8\xAE\x80\xE5"
       "\x8F\x96\xEF\xBC\x9B\xE8\x8B\xA5\xE8\xA6\x81\xE7\xB4\x8D\xE5\x85\xA5\xEF\xBC\x8C\xE8\xAB"
       "\x8B\xE5\x8F\x96\xE6\xB6\x88\xE9\x9A\xB1\xE8\x97\x8F\n"
       "extract_phone_numbers: hidden.xlsx: 1 "
       "\xE5\x80\x8B\xE9\x9B\xBB\xE8\xA9\xB1\xE8\x99\x9F\xE7\xA2\xBC\n",
       "LC_ALL=zh_TW.UTF-8"},
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
      {"roster.docx - <old.xls", "", 1, "0912345678\n",
       "extract_phone_numbers: roster.docx:B2: 0223456789: is not a mobile number; a text "
       "message cannot reach it\n"
       "extract_phone_numbers: roster.docx: 1 phone number\n"
       "extract_phone_numbers: standard input: is an old office file, as an .xls is, which is "
       "read only from a file named on the command line\n"},
      // A file is judged Big5 on all its bytes; a stream on its first 64 KiB, then noted.
      {"big5.txt", "", 0, "0922333444\n0912345678\n",
       "extract_phone_numbers: big5.txt: 2 phone numbers\n"},
      {"fifo", "", 1, "0912345678\n",
       "extract_phone_numbers: fifo:1001: holds bytes that are not UTF-8 from this line on; they "
       "are read as U+FFFD\n"
       "extract_phone_numbers: fifo: 1 phone number\n",
       "{ cat big5.txt >fifo & } && LC_ALL=C"},
      {"fifo", "", 1, "0912345678\n",
       "extract_phone_numbers: fifo:1002: holds bytes that are not UTF-8 from this line on; they "
       "are read as U+FFFD\n"
       "extract_phone_numbers: fifo: 1 phone number\n",
       "{ { echo BEGIN:VCARD; cat big5.txt; } >fifo & } && LC_ALL=C"},
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
  write_zip(dir.path() / "hidden.xlsx",
            workbook(R"(<row><c t="inlineStr"><is><t>0912345678</t></is></c></row><row hidden="1">)"
                     R"(<c><v>987654321</v></c></row></sheetData></worksheet>)",
                     true));
  write_zip(dir.path() / "other.zip", {{"list.txt", "0912345678"}});
  write_zip(dir.path() / "roster.docx",
            {{"[Content_Types].xml", "<Types/>"},
             {"word/document.xml",
              "<w:document><w:body><w:p><w:r><w:t>0912345678</w:t></w:r></w:p><w:tbl><w:tr><w:tc>"
              "<w:p/></w:tc><w:tc><w:p><w:r><w:t>02 2345 6789</w:t></w:r></w:p></w:tc></w:tr>"
              "</w:tbl></w:body></w:document>"}});
  test_support::write_file(dir.path() / "old.xls", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
  std::string ascii_70k;
  for (int line = 0; line < 1000; ++line) {
    ascii_70k += std::string(71, 'a') + "\n";
  }
  test_support::write_file(dir.path() / "big5.txt",
                           ascii_70k +
                               "\xA4\xFD\xA4\x70\xA9\xFA\xA1\x40\xA2\xAF\xA2\xB8\xA2\xB1"
                               "\xA2\xB1\xA1\xD0\xA2\xB2\xA2\xB2\xA2\xB2\xA1\xD0\xA2\xB3"
                               "\xA2\xB3\xA2\xB3\n0912345678\n");
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

// Under each limit of address space from 40 to 100 MiB the program either reads the list, or
// says that memory ran out and ends with status 1; it never aborts. (Under the least of them
// the dynamic loader cannot even map the libraries.)
TEST(ExtractPhoneNumbersTest, SaysWhenMemoryRunsOutAndNeverAborts) {
#ifdef CHANGE_UTF8_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve far more address space than these limits";
#endif
  const test_support::ScopedTempDir dir;
  test_support::write_file(dir.path() / "list.txt", "0912345678\n");
  int out_of_memory_runs = 0;
  for (int mib = 40; mib <= 100; ++mib) {
    const std::string command = "cd " + dir.path().string() + " && ulimit -c 0 && ulimit -v " +
                                std::to_string(mib * 1024) + " && LC_ALL=C " +
                                EXTRACT_PHONE_NUMBERS_PATH + " list.txt >out 2>errors";
    const int status = WEXITSTATUS(std::system(command.c_str()));
    const std::string errors = test_support::read_file(dir.path() / "errors");
    if (status == 127) {
      continue;  // the libraries could not be mapped
    }
    if (status == 0) {
      EXPECT_EQ(errors, "extract_phone_numbers: list.txt: 1 phone number\n") << mib << " MiB";
      continue;
    }
    EXPECT_EQ(status, 1) << mib << " MiB: " << errors;
    EXPECT_EQ(errors,
              "extract_phone_numbers: list.txt: too large to read in the memory available\n")
        << mib << " MiB";
    ++out_of_memory_runs;
  }
  EXPECT_GT(out_of_memory_runs, 0);
}

}  // namespace

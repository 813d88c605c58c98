#include "change_utf8/phone_list_conversion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "change_utf8/console.h"
#include "faulty_file_system.h"
#include "test_support.h"

namespace {

using test_support::expected_group_file;
using test_support::kJudgedStartSize;
using test_support::kUtf8Bom;
using test_support::read_file;
using test_support::write_file;

// The note on output_2.xml, left by an earlier run.
constexpr const char* kLeftoverOutput2 =
    "change_utf8: output_2.xml: is from an earlier run and not part of this conversion; delete "
    "it and any higher-numbered group files before copying them to the phone\n";

class ConversionTest : public ::testing::Test {
 protected:
  ConversionTest() { std::filesystem::create_directory(out_); }
  void empty_output_folder() const {
    std::filesystem::remove_all(out_);
    std::filesystem::create_directory(out_);
  }

  // Converts `list`, written to list.txt, into out/; the console's output in console_.
  std::optional<ConversionResult> convert(const std::string& list, int per_file_limit,
                                          std::size_t block_size = kListBlockSize) {
    write_file(dir_.path() / "list.txt", list);
    return convert_file(dir_.path() / "list.txt", per_file_limit, block_size);
  }
  // Opens the list at `path` and converts it into out/, as the dialogue does; nullopt when
  // the list is refused, the reason then in reasons_.
  std::optional<ConversionResult> convert_file(const std::filesystem::path& path,
                                               int per_file_limit,
                                               std::size_t block_size = kListBlockSize,
                                               std::optional<FileIdentity> answers = {}) {
    std::istringstream no_answers;
    std::ostringstream output;
    reasons_.str("");
    Console console(no_answers, output, reasons_, false);
    std::optional<ConversionResult> result;
    ListEntries list(file_system_, block_size);
    if (const std::optional<Failure> refusal = open_phone_list(list, path, answers)) {
      console.write_reason(*refusal);
    } else {
      GroupFileWriter writer(file_system_, out_, TerminationSlot::of_this_process(),
                             list.reader().identity());
      result = convert_phone_list(list, per_file_limit, writer, console);
    }
    EXPECT_TRUE(console.flush());
    console_ = output.str();
    return result;
  }

  std::string file(const std::string& name) const { return read_file(out_ / name); }
  std::vector<std::string> files() const { return test_support::entry_names(out_); }
  // The note on an entry of the list that is not a phone number, shown as `shown`.
  std::string note(int line, std::string_view shown) const {
    return "change_utf8: " + (dir_.path() / "list.txt").string() + ":" + std::to_string(line) +
           ": " + std::string(shown) + ": is not a phone number\n";
  }
  // The note after a list with an entry that is not a phone number.
  std::string extraction_hint() const {
    const std::string list = (dir_.path() / "list.txt").string();
    return "change_utf8: " + list + ": extract_phone_numbers " + list +
           " > numbers.txt writes only its phone numbers, one a line; then run change_utf8 "
           "again and type numbers.txt\n";
  }
  // The reason for a list that is not plain text: the command that reads it.
  std::string not_plain_text() const {
    return "is not plain text, perhaps a spreadsheet or word-processor file: "
           "extract_phone_numbers " +
           (dir_.path() / "list.txt").string() +
           " > numbers.txt writes only its phone numbers; then run change_utf8 again and type "
           "numbers.txt";
  }
  // The reason line for the list.
  std::string list_reason(std::string_view reason) const {
    return "change_utf8: " + (dir_.path() / "list.txt").string() + ": " + std::string(reason) +
           "\n";
  }

  test_support::ScopedTempDir dir_;
  const std::filesystem::path out_ = dir_.path() / "out";
  FaultyFileSystem file_system_;
  std::string console_;
  std::ostringstream reasons_;
};

TEST_F(ConversionTest, FillsEachFileToTheLimitAndPutsTheRestInTheLast) {
  const struct {
    std::string list;
    int limit;
    std::vector<std::vector<std::string>> groups;
  } rows[] = {
      {"1\n2\n3\n4\n5\n6\n7\n", 3, {{"1", "2", "3"}, {"4", "5", "6"}, {"7"}}},
      {"1 2 3 4 5 6", 3, {{"1", "2", "3"}, {"4", "5", "6"}}},  // no empty third file
      {"1111111 2222222", 1, {{"1111111"}, {"2222222"}}},
      {"x", 9999, {{"x"}}},
  };
  for (const auto& row : rows) {
    empty_output_folder();
    ASSERT_EQ(convert(row.list, row.limit), ConversionResult::Converted) << row.list;
    ASSERT_EQ(files().size(), row.groups.size()) << row.list;
    for (std::size_t group = 1; group <= row.groups.size(); ++group) {
      EXPECT_EQ(file("output_" + std::to_string(group) + ".xml"),
                expected_group_file(static_cast<std::int64_t>(group), row.groups[group - 1]))
          << row.list;
    }
  }
}

TEST_F(ConversionTest, EchoesEachFileBeforeItsNumbersAndEachNumberAsRead) {
  // Markup bytes, a Chinese character, and a Big5 character (A4 A4), which is not UTF-8.
  ASSERT_EQ(convert("09<12>&34\n\xE7\x8E\x8B"
                    "0912\n09\xA4\xA4"
                    "12\n",
                    2),
            ConversionResult::Converted);
  EXPECT_EQ(console_,
            "輸出檔案:output_1.xml\nread:09<12>&34\nread:\xE7\x8E\x8B"
            "0912\n輸出檔案:output_2.xml\nread:09\xA4\xA4"
            "12\n");
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"09&lt;12&gt;&amp;34",
                                                          "\xE7\x8E\x8B"
                                                          "0912"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"09\xEF\xBF\xBD\xEF\xBF\xBD"
                                                          "12"}));
  EXPECT_EQ(reasons_.str(), note(1, "09<12>&34") +
                                note(2,
                                     "\xE7\x8E\x8B"
                                     "0912") +
                                note(3, "09??12") +
                                list_reason("holds bytes that are not UTF-8, perhaps Big5 "
                                            "(Notepad's \"ANSI\"): extract_phone_numbers " +
                                            (dir_.path() / "list.txt").string() +
                                            " > numbers.txt writes only its phone numbers; then "
                                            "run change_utf8 again and type numbers.txt"));
}

TEST_F(ConversionTest, SplitsAtTheSixWhitespaceBytesOnly) {
  const struct {
    std::string list;
    std::vector<std::string> phones;
  } rows[] = {
      {"0912 345 678", {"0912", "345", "678"}},
      {"\r\n\r\n0912\r\n345\r\n", {"0912", "345"}},
      {"a\tb\vc\fd", {"a", "b", "c", "d"}},
      // A full-width space and a no-break space are part of the number.
      {"09\xE3\x80\x80"
       "12 34\xC2\xA0"
       "56",
       {"09\xE3\x80\x80"
        "12",
        "34\xC2\xA0"
        "56"}},
      // A byte-order mark is skipped at the start only.
      {std::string(kUtf8Bom) + "0912\n" + std::string(kUtf8Bom) + "345",
       {"0912", std::string(kUtf8Bom) + "345"}},
      // Past the list's judged start, a NUL byte is part of the number: U+FFFD.
      {std::string(kJudgedStartSize, '\n') + std::string("1\0"
                                                         "2",
                                                         3),
       {"1\xEF\xBF\xBD"
        "2"}},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(convert(row.list, 9999), ConversionResult::Converted) << row.list;
    EXPECT_EQ(file("output_1.xml"), expected_group_file(1, row.phones)) << row.list;
  }
}

TEST_F(ConversionTest, RejectsListsWithoutNumbersOrNotPlainTextAndCreatesNothing) {
  const struct {
    std::string list;
    std::string reason;
  } rows[] = {
      {"", "is an empty file, or holds only white space"},
      {" \n\n\t\r\n", "is an empty file, or holds only white space"},
      {std::string(kUtf8Bom) + "\n", "is an empty file, or holds only white space"},
      {std::string("0\0"
                   "9\0",
                   4),
       not_plain_text()},
      {"PK\3\4 0912345678", not_plain_text()},  // a ZIP archive, as .xlsx and .ods are
  };
  for (const auto& row : rows) {
    EXPECT_EQ(convert(row.list, 5), std::nullopt) << row.list;
    EXPECT_EQ(console_, "") << row.list;
    EXPECT_EQ(reasons_.str(), list_reason(row.reason)) << row.list;
    EXPECT_EQ(files(), std::vector<std::string>{}) << row.list;
  }
}

TEST_F(ConversionTest, StreamsNumbersCharactersAndEntitiesAcrossReadBlocks) {
  // In blocks of four bytes, "0912" "\xFF\xFE 0" "9\xE7\x8E" "\x8B 0&" "&&&&" ...: FF FE at
  // the start of a block is data, the character is split between blocks, and so is a number of
  // entities.
  const std::string ampersands(30, '&');
  ASSERT_EQ(convert("0912\xFF\xFE 09\xE7\x8E\x8B 0" + ampersands, 5, 4),
            ConversionResult::Converted);
  std::string entities;
  for (std::size_t i = 0; i < ampersands.size(); ++i) {
    entities += "&amp;";
  }
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"0912\xEF\xBF\xBD\xEF\xBF\xBD",
                                                          "09\xE7\x8E\x8B", "0" + entities}));
  EXPECT_EQ(console_, "輸出檔案:output_1.xml\nread:0912\xFF\xFE\nread:09\xE7\x8E\x8B\nread:0" +
                          ampersands + "\n");
}

TEST_F(ConversionTest, ReportsEachUnwritableFileWhenItsFailureIsKnownAndGoesOn) {
  std::filesystem::create_directory(out_ / "output_2.xml");  // fails to begin
  ASSERT_EQ(convert("1111111 2222222 3333333", 1), ConversionResult::SomeFilesUnwritable);
  EXPECT_EQ(console_,
            "輸出檔案:output_1.xml\nread:1111111\n"
            "輸出檔案:output_2.xml\n無法寫入檔案:output_2.xml\nread:2222222\n"
            "輸出檔案:output_3.xml\nread:3333333\n");
  EXPECT_EQ(reasons_.str(), "change_utf8: output_2.xml: Is a directory\n");
  EXPECT_EQ(file("output_3.xml"), expected_group_file(3, {"3333333"}));

  empty_output_folder();
  file_system_.write_failure = "No space left on device";  // fails when each group ends
  file_system_.remove_failure = "Read-only file system";   // the last temporary file stays
  ASSERT_EQ(convert("1111111 2222222 3333333", 2), ConversionResult::SomeFilesUnwritable);
  EXPECT_EQ(console_,
            "輸出檔案:output_1.xml\nread:1111111\nread:2222222\n無法寫入檔案:output_1.xml\n"
            "輸出檔案:output_2.xml\nread:3333333\n無法寫入檔案:output_2.xml\n");
  const std::string process_id = std::to_string(::getpid());
  EXPECT_EQ(reasons_.str(),
            "change_utf8: output_1.xml: No space left on device\n"
            "change_utf8: .output_1.xml." +
                process_id +
                ".tmp: cannot be removed: Read-only file system; delete it by hand\n"
                "change_utf8: output_2.xml: No space left on device\n"
                "change_utf8: .output_2.xml." +
                process_id + ".tmp: cannot be removed: Read-only file system; delete it by hand\n");
}

TEST_F(ConversionTest, StopsAtAReadErrorWithTheWholeGroupsAndNamesALeftover) {
  // Reads fail from the third byte after the judged start on: within 4444444. An earlier run left
  // output_2.xml, whose name this run announced for the group it drops.
  const std::string list =
      "1111111 2222222 3333333" + std::string(kJudgedStartSize - 23, ' ') + " 4444444 5555555";
  write_file(out_ / "output_2.xml", "from an earlier run");
  file_system_.fail_reads_after(static_cast<long>(kJudgedStartSize) + 2);
  ASSERT_EQ(convert(list, 2), ConversionResult::ListReadFailed);
  EXPECT_EQ(console_,
            "輸出檔案:output_1.xml\nread:1111111\nread:2222222\n輸出檔案:output_2.xml\nread:"
            "3333333\nread:4\n");
  EXPECT_EQ(reasons_.str(), list_reason("Input/output error") + kLeftoverOutput2);
  EXPECT_EQ(files(), (std::vector<std::string>{"output_1.xml", "output_2.xml"}));
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"1111111", "2222222"}));
  EXPECT_EQ(file("output_2.xml"), "from an earlier run");

  // Before the first number, the list is one that cannot be read.
  file_system_.fail_reads_after(0);
  std::filesystem::remove(out_ / "output_1.xml");
  ASSERT_EQ(convert(list, 2), std::nullopt);
  EXPECT_EQ(console_, "");
  EXPECT_EQ(reasons_.str(), list_reason("Input/output error"));
  EXPECT_EQ(files(), std::vector<std::string>{"output_2.xml"});
}

TEST_F(ConversionTest, NamesAFileJustPastTheLastGroupWrittenWholeButNeverTheList) {
  write_file(out_ / "output_2.xml", "from an earlier run");
  ASSERT_EQ(convert("1111111 2222222", 2), ConversionResult::Converted);
  EXPECT_EQ(reasons_.str(), kLeftoverOutput2);

  // The list itself, under the name past the last group: no leftover.
  empty_output_folder();
  write_file(dir_.path() / "list.txt", "1111111 2222222");
  std::filesystem::create_hard_link(dir_.path() / "list.txt", out_ / "output_2.xml");
  ASSERT_EQ(convert_file(out_ / "output_2.xml", 2), ConversionResult::Converted);
  EXPECT_EQ(reasons_.str(), "");
}

// The bytes of `text` (ASCII and 王 only) as UTF-16 with a byte-order mark.
std::string utf16(std::string_view text, bool little_endian) {
  std::string bytes = little_endian ? "\xFF\xFE" : "\xFE\xFF";
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string unit = {text[i], '\0'};  // ASCII
    if (text.substr(i).starts_with("王")) {
      unit = "\x8B\x73";  // U+738B
      i += 2;
    }
    bytes += little_endian ? unit : std::string{unit[1], unit[0]};
  }
  return bytes;
}

TEST_F(ConversionTest, ConvertsUtf16TextAsItsUtf8AndNamesWhatIsNotAPhoneNumber) {
  // A sheet saved as "Unicode text": a header row, tab-separated cells, CRLF.
  const std::string sheet = "Name\tPhone\r\n王\t0912345678\r\n\r\nLin\t+886-932(435)658\r\n";
  const std::string notes =
      note(1, "Name") + note(1, "Phone") + note(2, "王") + note(4, "Lin") + extraction_hint();
  for (const bool little_endian : {true, false}) {
    for (const std::size_t block_size : {kListBlockSize, std::size_t{7}}) {
      empty_output_folder();
      ASSERT_EQ(convert(utf16(sheet, little_endian), 9999, block_size),
                ConversionResult::Converted);
      EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"Name", "Phone", "王", "0912345678",
                                                              "Lin", "+886-932(435)658"}))
          << little_endian << block_size;
      EXPECT_EQ(console_,
                "輸出檔案:output_1.xml\nread:Name\nread:Phone\nread:王\nread:0912345678\n"
                "read:Lin\nread:+886-932(435)658\n");
      EXPECT_EQ(reasons_.str(), notes) << little_endian << block_size;
    }
  }
  // A character cut short at the end of the list, and a surrogate without its pair.
  ASSERT_EQ(convert(std::string("\xFF\xFE"
                                "1\0\x00\xD8"
                                "2\0\x8B",
                                9),
                    9999),
            ConversionResult::Converted);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"1\xEF\xBF\xBD"
                                                          "2\xEF\xBF\xBD"}));
}

TEST_F(ConversionTest, RefusesUtf16TextWithoutNumbersOrWithAZeroCodeUnitInItsStart) {
  const struct {
    std::string list;
    std::string reason;
  } rows[] = {
      {"\xFF\xFE", "is an empty file, or holds only white space"},
      {utf16(" \r\n\t", false), "is an empty file, or holds only white space"},
      {std::string("\xFF\xFE\0\0"
                   "1\0\0\0",
                   8),
       not_plain_text()},  // UTF-32
      {utf16(std::string(kJudgedStartSize / 2 - 2, '1'), true) + std::string(2, '\0'),
       not_plain_text()},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(convert(row.list, 5), std::nullopt) << row.list.size();
    EXPECT_EQ(reasons_.str(), list_reason(row.reason)) << row.list.size();
    EXPECT_EQ(files(), std::vector<std::string>{}) << row.list.size();
  }
  // A zero code unit past the start is text: U+FFFD in the group file.
  const std::string long_number(kJudgedStartSize / 2, '1');
  ASSERT_EQ(convert(utf16(long_number, true) + std::string(2, '\0'), 5),
            ConversionResult::Converted);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {long_number + "\xEF\xBF\xBD"}));
}

TEST_F(ConversionTest, RefusesTheFileTheAnswersComeFrom) {
  write_file(dir_.path() / "list.txt", "0912345678");
  struct stat answers {};
  ASSERT_EQ(::stat((dir_.path() / "list.txt").c_str(), &answers), 0);
  EXPECT_EQ(convert_file(dir_.path() / "list.txt", 5, kListBlockSize,
                         FileIdentity{answers.st_dev, answers.st_ino}),
            std::nullopt);
  EXPECT_EQ(reasons_.str(), list_reason("is the standard input, which holds the answers"));
  EXPECT_EQ(files(), std::vector<std::string>{});
}

}  // namespace

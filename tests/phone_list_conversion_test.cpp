#include "phone_list_conversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "group_file.h"
#include "test_support.h"

namespace {

using test_support::entry_names;
using test_support::expected_group_file;
using test_support::FileSizeLimit;
using test_support::kUtf8Bom;
using test_support::ListInMemory;
using test_support::read_file;
using test_support::write_file;

class ConversionTest : public ::testing::Test {
 protected:
  ConversionResult convert(const std::string& list, int per_file_limit,
                           std::size_t block_size = kListBlockSize) {
    const ListInMemory list_file(list);
    GroupFileWriter writer(dir_.path());
    return convert_phone_list(list_file.fd(), "list.txt", per_file_limit, writer, console(),
                              block_size);
  }
  ConversionResult convert_file(const std::filesystem::path& list, int per_file_limit) {
    return convert_phone_list(list, per_file_limit, dir_.path(), console());
  }
  ConversionConsole console() { return {progress_, reasons_, false}; }

  std::string file(const std::string& name) const { return read_file(dir_.path() / name); }
  std::vector<std::string> files() const { return entry_names(dir_.path()); }

  test_support::ScopedTempDir dir_;
  std::ostringstream progress_;
  std::ostringstream reasons_;
};

TEST_F(ConversionTest, FillsEachFileToTheLimitAndPutsTheRestInTheLast) {
  ASSERT_EQ(convert("1\n2\n3\n4\n5\n6\n7\n", 3), ConversionResult::Converted);
  EXPECT_EQ(files(), (std::vector<std::string>{"output_1.xml", "output_2.xml", "output_3.xml"}));
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"1", "2", "3"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"4", "5", "6"}));
  EXPECT_EQ(file("output_3.xml"), expected_group_file(3, {"7"}));
}

TEST_F(ConversionTest, CreatesNoEmptyFileWhenTheLimitDividesTheCountAndNamesTheNextLeftover) {
  // Group files of an earlier, longer run: the first past this run's last is named.
  write_file(dir_.path() / "output_3.xml", "stale");
  write_file(dir_.path() / "output_4.xml", "stale");
  ASSERT_EQ(convert("1 2 3 4 5 6", 3), ConversionResult::Converted);
  EXPECT_EQ(files(), (std::vector<std::string>{"output_1.xml", "output_2.xml", "output_3.xml",
                                               "output_4.xml"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"4", "5", "6"}));
  EXPECT_EQ(file("output_3.xml"), "stale");
  EXPECT_EQ(reasons_.str(),
            "change_utf8: output_3.xml: is from an earlier run and not part of this conversion\n");
}

TEST_F(ConversionTest, LimitOneGivesEveryNumberItsOwnFile) {
  ASSERT_EQ(convert("a b", 1), ConversionResult::Converted);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"b"}));
  EXPECT_EQ(progress_.str(),
            "輸出檔案:output_1.xml\nread:a\n"
            "輸出檔案:output_2.xml\nread:b\n");
}

TEST_F(ConversionTest, EchoesEachFileBeforeItsNumbers) {
  ASSERT_EQ(convert("a\nb\nc\n", 2), ConversionResult::Converted);
  EXPECT_EQ(progress_.str(),
            "輸出檔案:output_1.xml\n"
            "read:a\n"
            "read:b\n"
            "輸出檔案:output_2.xml\n"
            "read:c\n");
}

TEST_F(ConversionTest, SplitsAtTheSixWhitespaceBytesOnly) {
  const struct {
    std::string list;
    std::string first_file;
  } rows[] = {
      {"0912 345 678", expected_group_file(1, {"0912", "345", "678"})},
      {"\r\n\r\n0912\r\n345\r\n", expected_group_file(1, {"0912", "345"})},
      {"a\tb\vc\fd", expected_group_file(1, {"a", "b", "c", "d"})},
      // A full-width space and a no-break space are part of the number.
      {"09\xE3\x80\x80"
       "12 34\xC2\xA0"
       "56",
       expected_group_file(1, {"09\xE3\x80\x80"
                               "12",
                               "34\xC2\xA0"
                               "56"})},
      // Past the list's first 4,096 bytes, a NUL byte is part of the number: U+FFFD.
      {std::string(4096, '\n') + std::string("1\0"
                                             "2",
                                             3),
       expected_group_file(1, {"1\xEF\xBF\xBD"
                               "2"})},
  };
  for (const auto& row : rows) {
    ASSERT_EQ(convert(row.list, 9999), ConversionResult::Converted) << row.list;
    EXPECT_EQ(file("output_1.xml"), row.first_file) << row.list;
  }
}

TEST_F(ConversionTest, SkipsAUtf8ByteOrderMarkOnlyAtTheStart) {
  const std::string list = std::string(kUtf8Bom) + "0912\n" + std::string(kUtf8Bom) + "345";
  ASSERT_EQ(convert(list, 10), ConversionResult::Converted);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"0912",
                                                          "\xEF\xBB\xBF"
                                                          "345"}));
  EXPECT_EQ(progress_.str(),
            "輸出檔案:output_1.xml\nread:0912\nread:\xEF\xBB\xBF"
            "345\n");
}

TEST_F(ConversionTest, RejectsListsWithoutNumbersOrNotPlainTextAndCreatesNothing) {
  const struct {
    std::string list;
    std::string reason;
  } rows[] = {
      {"", "holds no phone number"},
      {" \n\n\t\r\n", "holds no phone number"},
      {std::string(kUtf8Bom), "holds no phone number"},
      {std::string(kUtf8Bom) + "\n", "holds no phone number"},
      {std::string("\xFF\xFE"
                   "0\0"
                   "9\0",
                   6),
       "is UTF-16 text; save it as UTF-8"},
      {std::string("\xFE\xFF\0"
                   "0\0"
                   "9",
                   6),
       "is UTF-16 text; save it as UTF-8"},
      // UTF-16 without a byte-order mark, and a NUL byte as the list's 4,096th byte.
      {std::string("0\0"
                   "9\0",
                   4),
       "is not plain text; save it as UTF-8 text"},
      {std::string(4095, '1') + '\0' + "2 3", "is not plain text; save it as UTF-8 text"},
  };
  for (const auto& row : rows) {
    // The list's start is judged whole, also when it is read in pieces of 7 bytes.
    for (const std::size_t block_size : {kListBlockSize, std::size_t{7}}) {
      reasons_.str("");
      EXPECT_EQ(convert(row.list, 5, block_size), ConversionResult::ListUnreadable) << row.list;
      EXPECT_EQ(progress_.str(), "") << row.list;
      EXPECT_EQ(reasons_.str(), "change_utf8: list.txt: " + row.reason + "\n") << row.list;
      EXPECT_EQ(files(), std::vector<std::string>{}) << row.list;
    }
  }
}

TEST_F(ConversionTest, StreamsANumberLongerThanAReadBlock) {
  // 700,000 bytes with markup bytes spread through it, so pieces and entities meet at block ends.
  std::string long_number;
  std::string escaped;
  for (int i = 0; i < 100'000; ++i) {
    long_number += "012345&";
    escaped += "012345&amp;";
  }
  ASSERT_EQ(convert("1 " + long_number + " 2", 2), ConversionResult::Converted);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"1", escaped}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"2"}));
  EXPECT_EQ(progress_.str(), "輸出檔案:output_1.xml\nread:1\nread:" + long_number +
                                 "\n輸出檔案:output_2.xml\nread:2\n");
}

TEST_F(ConversionTest, JudgesOnlyTheListStartAndKeepsCharactersWholeAcrossBlocks) {
  // Past the judged start of 4,096 line feeds, in blocks of four bytes, "0912" "\xFF\xFE 0"
  // "9\xE7\x8E" "\x8B": FF FE at the start of a block is data, and the last character is
  // split between two blocks.
  const std::string first = "0912\xFF\xFE";
  const std::string second = "09\xE7\x8E\x8B";
  ASSERT_EQ(convert(std::string(4096, '\n') + first + " " + second, 5, 4),
            ConversionResult::Converted);
  EXPECT_EQ(file("output_1.xml"),
            expected_group_file(1, {"0912\xEF\xBF\xBD\xEF\xBF\xBD", "09\xE7\x8E\x8B"}));
  EXPECT_EQ(progress_.str(), "輸出檔案:output_1.xml\nread:" + first + "\nread:" + second + "\n");
}

TEST_F(ConversionTest, ReportsAnUnwritableFileWithItsReasonAndGoesOn) {
  std::filesystem::create_directory(dir_.path() / "output_2.xml");
  ASSERT_EQ(convert("a b c", 1), ConversionResult::Incomplete);
  EXPECT_EQ(progress_.str(),
            "輸出檔案:output_1.xml\nread:a\n"
            "輸出檔案:output_2.xml\n無法寫入檔案:output_2.xml\nread:b\n"
            "輸出檔案:output_3.xml\nread:c\n");
  EXPECT_EQ(reasons_.str(), "change_utf8: output_2.xml: Is a directory\n");
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a"}));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.path() / "output_2.xml"));
  EXPECT_EQ(file("output_3.xml"), expected_group_file(3, {"c"}));
}

TEST_F(ConversionTest, ReportsAFileThatFailsWhileItIsWrittenBeforeTheNextBegins) {
  const FileSizeLimit limit(200);  // enough for a group of one, not for two
  ASSERT_EQ(convert("a b c", 2), ConversionResult::Incomplete);
  EXPECT_EQ(progress_.str(),
            "輸出檔案:output_1.xml\nread:a\nread:b\n"
            "無法寫入檔案:output_1.xml\n輸出檔案:output_2.xml\nread:c\n");
  EXPECT_EQ(reasons_.str(), "change_utf8: output_1.xml: File too large\n");
  EXPECT_EQ(files(), std::vector<std::string>{"output_2.xml"});
}

TEST_F(ConversionTest, NeverReplacesTheListItself) {
  const std::string list = "a b c";
  write_file(dir_.path() / "output_1.xml", list);
  ASSERT_EQ(convert_file(dir_.path() / "output_1.xml", 2), ConversionResult::Incomplete);
  EXPECT_EQ(progress_.str(),
            "輸出檔案:output_1.xml\n無法寫入檔案:output_1.xml\nread:a\nread:b\n"
            "輸出檔案:output_2.xml\nread:c\n");
  EXPECT_EQ(reasons_.str(),
            "change_utf8: output_1.xml: leads to the phone list being read, which is never "
            "replaced\n");
  EXPECT_EQ(file("output_1.xml"), list);
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
}

TEST_F(ConversionTest, ListThatCannotBeOpenedOrReadIsUnreadable) {
  std::filesystem::create_directory(dir_.path() / "folder");
  for (const char* name : {"missing.txt", "folder"}) {
    EXPECT_EQ(convert_file(dir_.path() / name, 5), ConversionResult::ListUnreadable) << name;
  }
  EXPECT_EQ(progress_.str(), "");
  EXPECT_EQ(reasons_.str(), "change_utf8: " + (dir_.path() / "missing.txt").string() +
                                ": No such file or directory\n"
                                "change_utf8: " +
                                (dir_.path() / "folder").string() + ": Is a directory\n");
  EXPECT_EQ(files(), std::vector<std::string>{"folder"});
}

}  // namespace

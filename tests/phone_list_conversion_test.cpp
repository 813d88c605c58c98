#include "phone_list_conversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "group_file.h"
#include "test_support.h"

namespace {

using test_support::entry_names;
using test_support::expected_group_file;
using test_support::kUtf8Bom;
using test_support::read_file;
using test_support::write_file;

class ConversionTest : public ::testing::Test {
 protected:
  ConversionResult convert(const std::string& list, int per_file_limit) {
    std::istringstream list_stream(list);
    GroupFileWriter writer(dir_.path());
    return convert_phone_list(list_stream, per_file_limit, writer, console_);
  }

  std::string file(const std::string& name) const { return read_file(dir_.path() / name); }
  std::vector<std::string> files() const { return entry_names(dir_.path()); }

  test_support::ScopedTempDir dir_;
  std::ostringstream console_;
};

TEST_F(ConversionTest, FillsEachFileToTheLimitAndPutsTheRestInTheLast) {
  ASSERT_EQ(convert("1\n2\n3\n4\n5\n6\n7\n", 3), ConversionResult::Converted);
  EXPECT_EQ(files(), (std::vector<std::string>{"output_1.xml", "output_2.xml", "output_3.xml"}));
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"1", "2", "3"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"4", "5", "6"}));
  EXPECT_EQ(file("output_3.xml"), expected_group_file(3, {"7"}));
}

TEST_F(ConversionTest, CreatesNoEmptyFileWhenTheLimitDividesTheCount) {
  ASSERT_EQ(convert("1 2 3 4 5 6", 3), ConversionResult::Converted);
  EXPECT_EQ(files(), (std::vector<std::string>{"output_1.xml", "output_2.xml"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"4", "5", "6"}));
}

TEST_F(ConversionTest, LimitOneGivesEveryNumberItsOwnFile) {
  ASSERT_EQ(convert("a b", 1), ConversionResult::Converted);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"b"}));
  EXPECT_EQ(console_.str(),
            "輸出檔案:output_1.xml\nread:a\n"
            "輸出檔案:output_2.xml\nread:b\n");
}

TEST_F(ConversionTest, EchoesEachFileBeforeItsNumbers) {
  ASSERT_EQ(convert("a\nb\nc\n", 2), ConversionResult::Converted);
  EXPECT_EQ(console_.str(),
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
      {std::string("1\0"
                   "2",
                   3),
       expected_group_file(1, {std::string_view("1\0"
                                                "2",
                                                3)})},
  };
  for (const auto& row : rows) {
    test_support::ScopedTempDir dir;
    std::istringstream list(row.list);
    GroupFileWriter writer(dir.path());
    std::ostringstream console;
    ASSERT_EQ(convert_phone_list(list, 9999, writer, console), ConversionResult::Converted)
        << row.list;
    EXPECT_EQ(read_file(dir.path() / "output_1.xml"), row.first_file) << row.list;
  }
}

TEST_F(ConversionTest, SkipsAUtf8ByteOrderMarkOnlyAtTheStart) {
  const std::string list = std::string(kUtf8Bom) + "0912\n" + std::string(kUtf8Bom) + "345";
  ASSERT_EQ(convert(list, 10), ConversionResult::Converted);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"0912",
                                                          "\xEF\xBB\xBF"
                                                          "345"}));
  EXPECT_EQ(console_.str(),
            "輸出檔案:output_1.xml\nread:0912\nread:\xEF\xBB\xBF"
            "345\n");
}

TEST_F(ConversionTest, RejectsListsWithoutNumbersOrInUtf16AndCreatesNothing) {
  const std::string rows[] = {
      "",
      " \n\n\t\r\n",
      std::string(kUtf8Bom),
      std::string(kUtf8Bom) + "\n",
      std::string("\xFF\xFE"
                  "0\0"
                  "9\0",
                  6),
      std::string("\xFE\xFF\0"
                  "0\0"
                  "9",
                  6),
  };
  for (const std::string& list : rows) {
    EXPECT_EQ(convert(list, 5), ConversionResult::ListUnreadable) << list;
    EXPECT_EQ(console_.str(), "") << list;
    EXPECT_EQ(files(), std::vector<std::string>{}) << list;
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
  EXPECT_EQ(console_.str(), "輸出檔案:output_1.xml\nread:1\nread:" + long_number +
                                "\n輸出檔案:output_2.xml\nread:2\n");
}

TEST_F(ConversionTest, ReportsAnUnwritableFileAndGoesOn) {
  std::filesystem::create_directory(dir_.path() / "output_2.xml");
  ASSERT_EQ(convert("a b c", 1), ConversionResult::Incomplete);
  EXPECT_EQ(console_.str(),
            "輸出檔案:output_1.xml\nread:a\n"
            "輸出檔案:output_2.xml\n無法寫入檔案:output_2.xml\nread:b\n"
            "輸出檔案:output_3.xml\nread:c\n");
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a"}));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.path() / "output_2.xml"));
  EXPECT_EQ(file("output_3.xml"), expected_group_file(3, {"c"}));
}

TEST_F(ConversionTest, ReportsAFileThatFailsWhenItIsClosed) {
  std::filesystem::create_symlink("/dev/full", dir_.path() / "output_1.xml");
  ASSERT_EQ(convert("a b c", 2), ConversionResult::Incomplete);
  EXPECT_EQ(console_.str(),
            "輸出檔案:output_1.xml\nread:a\nread:b\n"
            "無法寫入檔案:output_1.xml\n輸出檔案:output_2.xml\nread:c\n");
  EXPECT_EQ(files(), std::vector<std::string>{"output_2.xml"});
}

TEST_F(ConversionTest, NeverWritesOverTheListItself) {
  const std::string list = "a b c";
  write_file(dir_.path() / "output_1.xml", list);
  ASSERT_EQ(convert_phone_list(dir_.path() / "output_1.xml", 2, dir_.path(), console_),
            ConversionResult::Incomplete);
  EXPECT_EQ(console_.str(),
            "輸出檔案:output_1.xml\n無法寫入檔案:output_1.xml\nread:a\nread:b\n"
            "輸出檔案:output_2.xml\nread:c\n");
  EXPECT_EQ(file("output_1.xml"), list);
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
}

TEST_F(ConversionTest, ListThatCannotBeOpenedOrReadIsUnreadable) {
  std::filesystem::create_directory(dir_.path() / "folder");
  for (const char* name : {"missing.txt", "folder"}) {
    EXPECT_EQ(convert_phone_list(dir_.path() / name, 5, dir_.path(), console_),
              ConversionResult::ListUnreadable)
        << name;
  }
  EXPECT_EQ(console_.str(), "");
  EXPECT_EQ(files(), std::vector<std::string>{"folder"});
}

}  // namespace

#include "group_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

using test_support::entry_names;
using test_support::expected_group_file;
using test_support::read_file;
using test_support::write_file;

class GroupFileWriterTest : public ::testing::Test {
 protected:
  std::filesystem::path path_of(const std::string& name) const { return dir_.path() / name; }

  test_support::ScopedTempDir dir_;
};

TEST(GroupFileNameTest, WritesEveryDigitWithoutPadding) {
  const struct {
    std::int64_t group_number;
    const char* name;
  } rows[] = {
      {1, "output_1.xml"},
      {9, "output_9.xml"},
      {10, "output_10.xml"},
      {4294967296, "output_4294967296.xml"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(group_file_name(row.group_number), row.name) << row.group_number;
  }
}

TEST_F(GroupFileWriterTest, WritesHeadEntriesAndTrailerOnOneLine) {
  GroupFileWriter writer(dir_.path());
  ASSERT_TRUE(writer.begin_group(1));
  writer.add_contact(0, "0912345678");
  writer.add_contact(1, "0932435658");
  ASSERT_TRUE(writer.end_group(2));
  EXPECT_EQ(read_file(path_of("output_1.xml")),
            "<xml><string id=\"name\">output_1</string>"
            "<contactData><string id=\"peopleName0\">People</string>"
            "<string id=\"peoplePhone0\">0912345678</string></contactData>"
            "<contactData><string id=\"peopleName1\">People</string>"
            "<string id=\"peoplePhone1\">0932435658</string></contactData>"
            "<int id=\"total\">2</int></xml>");
}

TEST_F(GroupFileWriterTest, NamesLargeGroupsInFull) {
  GroupFileWriter writer(dir_.path());
  ASSERT_TRUE(writer.begin_group(12));
  writer.add_contact(0, "7");
  ASSERT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("output_12.xml")),
            "<xml><string id=\"name\">output_12</string>"
            "<contactData><string id=\"peopleName0\">People</string>"
            "<string id=\"peoplePhone0\">7</string></contactData>"
            "<int id=\"total\">1</int></xml>");
}

TEST_F(GroupFileWriterTest, EscapesMarkupBytesAndCopiesAllOthers) {
  GroupFileWriter writer(dir_.path());
  ASSERT_TRUE(writer.begin_group(1));
  writer.add_contact(0,
                     "09&<>\"'\xE7\x8E\x8B"
                     "1\xFF");
  ASSERT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("output_1.xml")),
            expected_group_file(1, {"09&amp;&lt;&gt;\"'\xE7\x8E\x8B"
                                    "1\xFF"}));
}

TEST_F(GroupFileWriterTest, ContactInPiecesIsTheSameAsWhole) {
  GroupFileWriter writer(dir_.path());
  ASSERT_TRUE(writer.begin_group(3));
  writer.begin_contact(0);
  writer.add_phone_bytes("09&");
  writer.add_phone_bytes("");
  writer.add_phone_bytes("<12");
  writer.end_contact();
  writer.add_contact(1, "34");
  ASSERT_TRUE(writer.end_group(2));
  EXPECT_EQ(read_file(path_of("output_3.xml")), expected_group_file(3, {"09&amp;&lt;12", "34"}));
}

TEST_F(GroupFileWriterTest, EndingTwiceWritesOneTrailer) {
  GroupFileWriter writer(dir_.path());
  ASSERT_TRUE(writer.begin_group(1));
  writer.add_contact(0, "1");
  EXPECT_TRUE(writer.end_group(1));
  EXPECT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("output_1.xml")), expected_group_file(1, {"1"}));
}

TEST_F(GroupFileWriterTest, CutsLongerExistingFileToNewContent) {
  write_file(path_of("output_1.xml"), std::string(5000, 'x'));
  GroupFileWriter writer(dir_.path());
  ASSERT_TRUE(writer.begin_group(1));
  writer.add_contact(0, "1");
  ASSERT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("output_1.xml")), expected_group_file(1, {"1"}));
}

TEST_F(GroupFileWriterTest, LeavesUnopenablePathAloneAndGoesOnWithNextGroup) {
  std::filesystem::create_directory(path_of("output_1.xml"));
  GroupFileWriter writer(dir_.path());
  EXPECT_FALSE(writer.begin_group(1));
  writer.add_contact(0, "1");
  EXPECT_TRUE(writer.end_group(1)) << "a group that never opened is reported once, by begin";
  EXPECT_TRUE(std::filesystem::is_directory(path_of("output_1.xml")));

  ASSERT_TRUE(writer.begin_group(2));
  writer.add_contact(0, "2");
  ASSERT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("output_2.xml")), expected_group_file(2, {"2"}));
}

TEST_F(GroupFileWriterTest, RemovesFileWhoseWritingFails) {
  // One small group fails only when it is closed, one large group already while it is written.
  for (const std::size_t phone_length : {std::size_t{10}, std::size_t{3'000'000}}) {
    std::filesystem::create_symlink("/dev/full", path_of("output_1.xml"));
    GroupFileWriter writer(dir_.path());
    ASSERT_TRUE(writer.begin_group(1));
    writer.add_contact(0, std::string(phone_length, '5'));
    EXPECT_FALSE(writer.end_group(1)) << phone_length;
    EXPECT_EQ(entry_names(dir_.path()), std::vector<std::string>{}) << phone_length;
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
  }
}

TEST_F(GroupFileWriterTest, NeverOpensTheProtectedFile) {
  const std::string list = "0912345678\n0932435658\n";
  write_file(path_of("list.txt"), list);
  std::filesystem::create_symlink(path_of("list.txt"), path_of("output_1.xml"));
  std::filesystem::create_hard_link(path_of("list.txt"), path_of("output_2.xml"));
  GroupFileWriter writer(dir_.path(), path_of("list.txt"));
  EXPECT_FALSE(writer.begin_group(1));
  EXPECT_TRUE(writer.end_group(1));
  EXPECT_FALSE(writer.begin_group(2));
  EXPECT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("list.txt")), list);
  EXPECT_TRUE(std::filesystem::is_symlink(path_of("output_1.xml")));

  ASSERT_TRUE(writer.begin_group(3));
  writer.add_contact(0, "1");
  ASSERT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("output_3.xml")), expected_group_file(3, {"1"}));
}

}  // namespace

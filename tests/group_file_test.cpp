#include "group_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "test_support.h"

namespace {

using test_support::entry_names;
using test_support::expected_group_file;
using test_support::FileSizeLimit;
using test_support::is_well_formed_xml;
using test_support::read_file;
using test_support::write_file;

// `count` times U+FFFD.
std::string replacements(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += "\xEF\xBF\xBD";
  }
  return text;
}

void add_contact(GroupFileWriter& writer, std::int64_t position, std::string_view phone) {
  writer.begin_contact(position);
  writer.add_phone_bytes(phone);
  writer.end_contact();
}

FileIdentity identity_of(const std::filesystem::path& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return {status.st_dev, status.st_ino};
}

class GroupFileWriterTest : public ::testing::Test {
 protected:
  std::filesystem::path path_of(const std::string& name) const { return dir_.path() / name; }
  std::vector<std::string> files() const { return entry_names(dir_.path()); }

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
  add_contact(writer, 0, "0912345678");
  add_contact(writer, 1, "0932435658");
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
  add_contact(writer, 0, "7");
  ASSERT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("output_12.xml")),
            "<xml><string id=\"name\">output_12</string>"
            "<contactData><string id=\"peopleName0\">People</string>"
            "<string id=\"peoplePhone0\">7</string></contactData>"
            "<int id=\"total\">1</int></xml>");
}

TEST_F(GroupFileWriterTest, WritesEveryPhoneAsTextThatXmlCanCarry) {
  const struct {
    std::string phone;
    std::string written;
  } rows[] = {
      {"09&<>\"'", "09&amp;&lt;&gt;\"'"},
      // Well-formed UTF-8 and the controls XML allows are copied: Chinese, an emoji, DEL,
      // the C1 control U+0085, U+FFFD itself.
      {"\xE7\x8E\x8B"
       "0912\xF0\x9F\x93\xB1\x7F\xC2\x85\xEF\xBF\xBD",
       "\xE7\x8E\x8B"
       "0912\xF0\x9F\x93\xB1\x7F\xC2\x85\xEF\xBF\xBD"},
      {"0912\x01"
       "345",
       "0912\xEF\xBF\xBD"
       "345"},
      {std::string("\0\x08\x0B\x0C\x0E\x1F", 6), replacements(6)},
      {"09\xFF"
       "12",
       "09\xEF\xBF\xBD"
       "12"},
      {"\x80\x80", replacements(2)},
      {"\xC0\xAF", replacements(2)},                  // overlong lead
      {"\xE0\x80\x80", replacements(3)},              // overlong form
      {"\xED\xA0\x80", replacements(3)},              // surrogate
      {"\xF4\x90\x80\x80", replacements(4)},          // beyond U+10FFFF
      {"\xEF\xBF\xBE\xEF\xBF\xBF", replacements(2)},  // U+FFFE, U+FFFF
      {"x\xE7\x8E", "x\xEF\xBF\xBD"},                 // truncated at the end
      {"\xF0\x9F\x93", "\xEF\xBF\xBD"},
      {"\xE7\x8E"
       "1",
       "\xEF\xBF\xBD"
       "1"},
      {"\xE7\x8E\xE7\x8E\x8B", "\xEF\xBF\xBD\xE7\x8E\x8B"},  // truncated, then whole
      {"&\xFF<", "&amp;\xEF\xBF\xBD&lt;"},
  };
  for (const auto& row : rows) {
    // Whole, then one byte at a time: a character split between pieces is kept whole.
    GroupFileWriter writer(dir_.path());
    ASSERT_TRUE(writer.begin_group(1));
    add_contact(writer, 0, row.phone);
    writer.begin_contact(1);
    for (const char byte : row.phone) {
      writer.add_phone_bytes(std::string_view(&byte, 1));
    }
    writer.end_contact();
    ASSERT_TRUE(writer.end_group(2));
    const std::string file = read_file(path_of("output_1.xml"));
    EXPECT_EQ(file, expected_group_file(1, {row.written, row.written})) << row.phone;
    EXPECT_TRUE(is_well_formed_xml(file)) << row.phone;
  }
}

TEST_F(GroupFileWriterTest, EndingTwiceWritesOneTrailer) {
  GroupFileWriter writer(dir_.path());
  ASSERT_TRUE(writer.begin_group(1));
  add_contact(writer, 0, "1");
  EXPECT_TRUE(writer.end_group(1));
  EXPECT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("output_1.xml")), expected_group_file(1, {"1"}));
}

TEST_F(GroupFileWriterTest, WritesUnderAHiddenTemporaryNameUntilTheGroupEnds) {
  write_file(path_of("output_1.xml"), "old");
  const mode_t previous_umask = ::umask(027);
  GroupFileWriter writer(dir_.path());
  ASSERT_TRUE(writer.begin_group(1));
  ::umask(previous_umask);
  add_contact(writer, 0, std::string(300'000, '1'));  // more than one block is written
  const std::string temporary = ".output_1.xml." + std::to_string(::getpid()) + ".tmp";
  EXPECT_EQ(files(), (std::vector<std::string>{temporary, "output_1.xml"}));
  EXPECT_EQ(read_file(path_of("output_1.xml")), "old");
  EXPECT_EQ(std::filesystem::status(path_of(temporary)).permissions(),
            std::filesystem::perms(0640));
  ASSERT_TRUE(writer.end_group(1));
  EXPECT_EQ(files(), std::vector<std::string>{"output_1.xml"});
  EXPECT_EQ(read_file(path_of("output_1.xml")),
            expected_group_file(1, {std::string(300'000, '1')}));
}

TEST_F(GroupFileWriterTest, ReplacesWhateverStandsUnderTheName) {
  write_file(path_of("output_1.xml"), std::string(5000, 'x'));
  write_file(path_of("target.txt"), "target");
  std::filesystem::create_symlink(path_of("target.txt"), path_of("output_2.xml"));
  ASSERT_EQ(::mkfifo(path_of("output_3.xml").c_str(), 0644), 0);
  GroupFileWriter writer(dir_.path());
  for (const int group : {1, 2, 3}) {
    ASSERT_TRUE(writer.begin_group(group));
    add_contact(writer, 0, "1");
    ASSERT_TRUE(writer.end_group(1)) << group;
    EXPECT_EQ(std::filesystem::symlink_status(path_of(group_file_name(group))).type(),
              std::filesystem::file_type::regular);
    EXPECT_EQ(read_file(path_of(group_file_name(group))), expected_group_file(group, {"1"}));
  }
  EXPECT_EQ(read_file(path_of("target.txt")), "target");
}

TEST_F(GroupFileWriterTest, LeavesAFolderInTheWayAloneAndGoesOnWithNextGroup) {
  std::filesystem::create_directory(path_of("output_1.xml"));
  GroupFileWriter writer(dir_.path());
  EXPECT_FALSE(writer.begin_group(1));
  EXPECT_EQ(writer.failure_reason(), "Is a directory");
  add_contact(writer, 0, "1");
  EXPECT_TRUE(writer.end_group(1)) << "a group that never began is reported once, by begin";
  EXPECT_TRUE(std::filesystem::is_directory(path_of("output_1.xml")));

  ASSERT_TRUE(writer.begin_group(2));
  add_contact(writer, 0, "2");
  ASSERT_TRUE(writer.end_group(1));
  EXPECT_EQ(files(), (std::vector<std::string>{"output_1.xml", "output_2.xml"}));
  EXPECT_EQ(read_file(path_of("output_2.xml")), expected_group_file(2, {"2"}));
}

TEST_F(GroupFileWriterTest, KeepsTheOldFileWhenWritingTheNewOneFails) {
  // One small group fails only when its last block is written, one large group already while
  // its phone is written.
  for (const std::size_t phone_length : {std::size_t{10}, std::size_t{3'000'000}}) {
    write_file(path_of("output_1.xml"), "old");
    GroupFileWriter writer(dir_.path());
    {
      const FileSizeLimit limit(100);
      ASSERT_TRUE(writer.begin_group(1));
      add_contact(writer, 0, std::string(phone_length, '5'));
      EXPECT_FALSE(writer.end_group(1)) << phone_length;
    }
    EXPECT_EQ(writer.failure_reason(), "File too large");
    EXPECT_EQ(files(), std::vector<std::string>{"output_1.xml"}) << phone_length;
    EXPECT_EQ(read_file(path_of("output_1.xml")), "old") << phone_length;
  }
}

TEST_F(GroupFileWriterTest, DiscardedGroupLeavesNoTrace) {
  write_file(path_of("output_1.xml"), "old");
  {
    GroupFileWriter writer(dir_.path());
    ASSERT_TRUE(writer.begin_group(1));
    add_contact(writer, 0, "1");
    writer.discard_group();
    EXPECT_TRUE(writer.end_group(1)) << "nothing left to end";
    ASSERT_TRUE(writer.begin_group(2));
    add_contact(writer, 0, "2");
  }  // the writer goes with group 2 still open
  EXPECT_EQ(files(), std::vector<std::string>{"output_1.xml"});
  EXPECT_EQ(read_file(path_of("output_1.xml")), "old");
}

TEST_F(GroupFileWriterTest, NeverReplacesANameThatLeadsToTheProtectedFile) {
  const std::string list = "0912345678\n0932435658\n";
  write_file(path_of("output_1.xml"), list);
  std::filesystem::create_symlink(path_of("output_1.xml"), path_of("output_2.xml"));
  std::filesystem::create_hard_link(path_of("output_1.xml"), path_of("output_3.xml"));
  GroupFileWriter writer(dir_.path(), identity_of(path_of("output_1.xml")));
  for (const int group : {1, 2, 3}) {
    EXPECT_FALSE(writer.begin_group(group)) << group;
    EXPECT_EQ(writer.failure_reason(),
              "leads to the phone list being read, which is never replaced");
    EXPECT_TRUE(writer.end_group(1));
  }
  EXPECT_EQ(read_file(path_of("output_1.xml")), list);
  EXPECT_TRUE(std::filesystem::is_symlink(path_of("output_2.xml")));
  EXPECT_EQ(read_file(path_of("output_3.xml")), list);

  ASSERT_TRUE(writer.begin_group(4));
  add_contact(writer, 0, "1");
  ASSERT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("output_4.xml")), expected_group_file(4, {"1"}));
}

TEST(GroupFileWriterDeathTest, StopsACallerThatBreaksTheOrderOfCalls) {
#ifdef NDEBUG
  GTEST_SKIP() << "assertions are compiled out of this build";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test_support::ScopedTempDir dir;
  GroupFileWriter writer(dir.path());
  ASSERT_TRUE(writer.begin_group(1));
  EXPECT_DEATH((void)writer.begin_group(2), "group_is_open");
  writer.begin_contact(0);
  EXPECT_DEATH(writer.begin_contact(1), "contact_open_");
  EXPECT_DEATH((void)writer.end_group(1), "contact_open_");
  writer.end_contact();
  EXPECT_DEATH(writer.add_phone_bytes("1"), "contact_open_");
  writer.discard_group();
}

}  // namespace

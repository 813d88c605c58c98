#include "group_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "faulty_file_system.h"
#include "test_support.h"

namespace {

using test_support::expected_group_file;
using test_support::read_file;
using test_support::write_file;

void add_contact(GroupFileWriter& writer, std::int64_t position, std::string_view phone) {
  writer.begin_contact(position);
  writer.add_phone_bytes(phone);
  writer.end_contact();
}

class GroupFileWriterTest : public ::testing::Test {
 protected:
  std::filesystem::path path_of(const std::string& name) const { return dir_.path() / name; }
  std::vector<std::string> files() const { return test_support::entry_names(dir_.path()); }

  test_support::ScopedTempDir dir_;
  FaultyFileSystem file_system_;
};

TEST_F(GroupFileWriterTest, WritesHeadEntriesAndTrailerOnOneLine) {
  GroupFileWriter writer(file_system_, dir_.path());
  ASSERT_TRUE(writer.begin_group(12));
  add_contact(writer, 0, "0912345678");
  writer.begin_contact(1);  // a phone text in pieces, a character split between them
  writer.add_phone_bytes("09<\xE7\x8E");
  writer.add_phone_bytes("\x8B");
  writer.end_contact();
  ASSERT_TRUE(writer.end_group(2));
  EXPECT_TRUE(writer.end_group(2)) << "ending twice writes one trailer";
  EXPECT_EQ(read_file(path_of("output_12.xml")),
            "<xml><string id=\"name\">output_12</string>"
            "<contactData><string id=\"peopleName0\">People</string>"
            "<string id=\"peoplePhone0\">0912345678</string></contactData>"
            "<contactData><string id=\"peopleName1\">People</string>"
            "<string id=\"peoplePhone1\">09&lt;\xE7\x8E\x8B</string></contactData>"
            "<int id=\"total\">2</int></xml>");
}

TEST_F(GroupFileWriterTest, WritesUnderAHiddenTemporaryNameUntilTheGroupEnds) {
  write_file(path_of("output_1.xml"), "old");
  const mode_t previous_umask = ::umask(027);
  GroupFileWriter writer(file_system_, dir_.path());
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
  GroupFileWriter writer(file_system_, dir_.path());
  for (const int group : {1, 2, 3}) {
    ASSERT_TRUE(writer.begin_group(group));
    add_contact(writer, 0, "1");
    ASSERT_TRUE(writer.end_group(1)) << group;
    const std::filesystem::path path = path_of("output_" + std::to_string(group) + ".xml");
    EXPECT_EQ(std::filesystem::symlink_status(path).type(), std::filesystem::file_type::regular);
    EXPECT_EQ(read_file(path), expected_group_file(group, {"1"}));
  }
  EXPECT_EQ(read_file(path_of("target.txt")), "target");
}

TEST_F(GroupFileWriterTest, KeepsTheOldFileWhenWritingClosingOrRenamingTheNewOneFails) {
  // A small group fails when its one block is written, a large one already on the way.
  const struct {
    int FaultyFileSystem::*call;
    int error;
    std::size_t phone_length;
    const char* reason;
  } rows[] = {
      {&FaultyFileSystem::write_error, ENOSPC, 10, "No space left on device"},
      {&FaultyFileSystem::write_error, EFBIG, 3'000'000, "File too large"},
      {&FaultyFileSystem::close_error, EIO, 10, "Input/output error"},
      {&FaultyFileSystem::rename_error, EACCES, 10, "Permission denied"},
  };
  for (const auto& row : rows) {
    write_file(path_of("output_1.xml"), "old");
    FaultyFileSystem faulty;
    faulty.*row.call = row.error;
    GroupFileWriter writer(faulty, dir_.path());
    ASSERT_TRUE(writer.begin_group(1));
    add_contact(writer, 0, std::string(row.phone_length, '5'));
    EXPECT_FALSE(writer.end_group(1)) << row.reason;
    EXPECT_EQ(writer.failure_reason(), row.reason);
    EXPECT_EQ(files(), std::vector<std::string>{"output_1.xml"}) << row.reason;
    EXPECT_EQ(read_file(path_of("output_1.xml")), "old") << row.reason;
  }
}

TEST_F(GroupFileWriterTest, DiscardedGroupLeavesNoTrace) {
  write_file(path_of("output_1.xml"), "old");
  {
    GroupFileWriter writer(file_system_, dir_.path());
    ASSERT_TRUE(writer.begin_group(1));
    writer.begin_contact(0);
    writer.add_phone_bytes("1\xE7\x8E");  // the group ends in a number, and character, cut short
    writer.discard_group();
    EXPECT_TRUE(writer.end_group(1)) << "nothing left to end";
    ASSERT_TRUE(writer.begin_group(2));
    add_contact(writer, 0, "2");
  }  // the writer goes with group 2 still open
  EXPECT_EQ(files(), std::vector<std::string>{"output_1.xml"});
  EXPECT_EQ(read_file(path_of("output_1.xml")), "old");
}

TEST_F(GroupFileWriterTest, NeverReplacesAFolderOrANameThatLeadsToTheProtectedFile) {
  const std::string list = "0912345678\n0932435658\n";
  write_file(path_of("output_1.xml"), list);
  std::filesystem::create_symlink(path_of("output_1.xml"), path_of("output_2.xml"));
  std::filesystem::create_hard_link(path_of("output_1.xml"), path_of("output_3.xml"));
  std::filesystem::create_directory(path_of("output_4.xml"));
  struct stat list_status {};
  ASSERT_EQ(::stat(path_of("output_1.xml").c_str(), &list_status), 0);
  GroupFileWriter writer(file_system_, dir_.path(),
                         FileIdentity{list_status.st_dev, list_status.st_ino});
  for (const int group : {1, 2, 3, 4}) {
    EXPECT_FALSE(writer.begin_group(group)) << group;
    EXPECT_EQ(writer.failure_reason(),
              group < 4 ? "leads to the phone list being read, which is never replaced"
                        : "Is a directory");
    add_contact(writer, 0, "1");
    EXPECT_TRUE(writer.end_group(1)) << "a group that never began is reported once, by begin";
  }
  EXPECT_EQ(read_file(path_of("output_1.xml")), list);
  EXPECT_TRUE(std::filesystem::is_symlink(path_of("output_2.xml")));
  EXPECT_EQ(read_file(path_of("output_3.xml")), list);
  EXPECT_TRUE(std::filesystem::is_directory(path_of("output_4.xml")));

  ASSERT_TRUE(writer.begin_group(5));  // the next group is written as usual
  add_contact(writer, 0, "1");
  ASSERT_TRUE(writer.end_group(1));
  EXPECT_EQ(read_file(path_of("output_5.xml")), expected_group_file(5, {"1"}));
}

TEST(GroupFileWriterDeathTest, StopsACallerThatBreaksTheOrderOfCalls) {
#ifdef NDEBUG
  GTEST_SKIP() << "assertions are compiled out of this build";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  test_support::ScopedTempDir dir;
  FileSystem file_system;
  GroupFileWriter writer(file_system, dir.path());
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

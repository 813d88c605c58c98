#include "change_utf8/group_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <optional>
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
  TerminationSlot& slot_ = TerminationSlot::of_this_process();
};

TEST_F(GroupFileWriterTest, WritesHeadEntriesAndTrailerOnOneLine) {
  GroupFileWriter writer(file_system_, dir_.path(), slot_);
  ASSERT_EQ(writer.begin_group(12), std::nullopt);
  add_contact(writer, 0, "0912345678");
  writer.begin_contact(1);  // a phone text in pieces, a character split between them
  writer.add_phone_bytes("09<\xE7\x8E");
  writer.add_phone_bytes("\x8B");
  writer.end_contact();
  ASSERT_EQ(writer.end_group(2), std::nullopt);
  EXPECT_EQ(writer.end_group(2), std::nullopt) << "ending twice writes one trailer";
  EXPECT_EQ(read_file(path_of("output_12.xml")),
            "<xml><string id=\"name\">output_12</string>"
            "<contactData><string id=\"peopleName0\">People</string>"
            "<string id=\"peoplePhone0\">0912345678</string></contactData>"
            "<contactData><string id=\"peopleName1\">People</string>"
            "<string id=\"peoplePhone1\">09&lt;\xE7\x8E\x8B</string></contactData>"
            "<int id=\"total\">2</int></xml>");
}

TEST_F(GroupFileWriterTest, ShowsNothingUnderTheGroupsNameUntilTheGroupEnds) {
  write_file(path_of("output_1.xml"), "old");
  GroupFileWriter writer(file_system_, dir_.path(), slot_);
  ASSERT_EQ(writer.begin_group(1), std::nullopt);
  add_contact(writer, 0, std::string(3'000'000, '1'));  // some of it already on the way
  EXPECT_EQ(read_file(path_of("output_1.xml")), "old");
  ASSERT_EQ(writer.end_group(1), std::nullopt);
  EXPECT_EQ(files(), std::vector<std::string>{"output_1.xml"});
  EXPECT_EQ(read_file(path_of("output_1.xml")),
            expected_group_file(1, {std::string(3'000'000, '1')}));
}

TEST_F(GroupFileWriterTest, ReplacesWhateverStandsUnderTheName) {
  write_file(path_of("output_1.xml"), std::string(5000, 'x'));
  write_file(path_of("target.txt"), "target");
  std::filesystem::create_symlink(path_of("target.txt"), path_of("output_2.xml"));
  ASSERT_EQ(::mkfifo(path_of("output_3.xml").c_str(), 0644), 0);
  GroupFileWriter writer(file_system_, dir_.path(), slot_);
  for (const int group : {1, 2, 3}) {
    ASSERT_EQ(writer.begin_group(group), std::nullopt);
    add_contact(writer, 0, "1");
    ASSERT_EQ(writer.end_group(1), std::nullopt) << group;
    const std::filesystem::path path = path_of("output_" + std::to_string(group) + ".xml");
    EXPECT_EQ(std::filesystem::symlink_status(path).type(), std::filesystem::file_type::regular);
    EXPECT_EQ(read_file(path), expected_group_file(group, {"1"}));
  }
  EXPECT_EQ(read_file(path_of("target.txt")), "target");
}

TEST_F(GroupFileWriterTest, DiscardedGroupLeavesNoTrace) {
  write_file(path_of("output_1.xml"), "old");
  {
    GroupFileWriter writer(file_system_, dir_.path(), slot_);
    ASSERT_EQ(writer.begin_group(1), std::nullopt);
    writer.begin_contact(0);
    writer.add_phone_bytes("1\xE7\x8E");  // the group ends in a number, and character, cut short
    EXPECT_EQ(writer.discard_group(), std::nullopt);
    EXPECT_EQ(writer.end_group(1), std::nullopt) << "nothing left to end";
    ASSERT_EQ(writer.begin_group(2), std::nullopt);
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
  std::filesystem::create_symlink("output_5.xml", path_of("output_5.xml"));  // leads round
  struct stat list_status {};
  ASSERT_EQ(::stat(path_of("output_1.xml").c_str(), &list_status), 0);
  GroupFileWriter writer(file_system_, dir_.path(), slot_,
                         FileIdentity{list_status.st_dev, list_status.st_ino});
  const std::string is_the_list =
      "is the phone list being read; rename the list or run the program in another folder";
  for (const int group : {1, 2, 3, 4}) {
    const std::string name = "output_" + std::to_string(group) + ".xml";
    const std::optional<Failure> failure = writer.begin_group(group);
    ASSERT_TRUE(failure.has_value()) << group;
    EXPECT_EQ(failure->subject, name);
    EXPECT_EQ(failure->reason, group < 4 ? is_the_list : "Is a directory");
    add_contact(writer, 0, "1");
    EXPECT_EQ(writer.end_group(1), std::nullopt) << "a group that never began fails once";
  }
  EXPECT_EQ(read_file(path_of("output_1.xml")), list);
  EXPECT_TRUE(std::filesystem::is_symlink(path_of("output_2.xml")));
  EXPECT_EQ(read_file(path_of("output_3.xml")), list);
  EXPECT_TRUE(std::filesystem::is_directory(path_of("output_4.xml")));
  EXPECT_EQ(writer.check_no_file_from_earlier_run(1), std::nullopt) << "the list is no leftover";
  EXPECT_TRUE(writer.check_no_file_from_earlier_run(4).has_value());

  ASSERT_EQ(writer.begin_group(5), std::nullopt);  // the next group is written as usual
  add_contact(writer, 0, "1");
  ASSERT_EQ(writer.end_group(1), std::nullopt);
  EXPECT_EQ(read_file(path_of("output_5.xml")), expected_group_file(5, {"1"}));

  // A name that cannot be looked up might lead to the list: it is not replaced either.
  file_system_.look_up_failure = "Input/output error";
  const std::optional<Failure> failure = writer.begin_group(1);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->subject, "output_1.xml");
  EXPECT_EQ(failure->reason, "Input/output error");
  EXPECT_EQ(read_file(path_of("output_1.xml")), list);
  // Nor is it known whether a file of an earlier run stands there: the user is told why.
  const std::optional<Failure> unknown = writer.check_no_file_from_earlier_run(6);
  ASSERT_TRUE(unknown.has_value());
  EXPECT_EQ(unknown->subject + ": " + unknown->reason, "output_6.xml: Input/output error");
}

}  // namespace

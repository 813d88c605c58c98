#include "change_utf8/replacement_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "faulty_file_system.h"
#include "test_support.h"

namespace {

using test_support::read_file;
using test_support::write_file;

class ReplacementFileTest : public ::testing::Test {
 protected:
  std::filesystem::path path_of(const std::string& name) const { return dir_.path() / name; }
  std::vector<std::string> files() const { return test_support::entry_names(dir_.path()); }
  // This process's temporary name for target.txt on attempt `attempt`.
  static std::string temporary_name(int attempt) {
    const std::string suffix = attempt == 0 ? "" : "." + std::to_string(attempt);
    return ".target.txt." + std::to_string(::getpid()) + suffix + ".tmp";
  }

  test_support::ScopedTempDir dir_;
  FaultyFileSystem file_system_;
};

TEST_F(ReplacementFileTest, ReplacesTheTargetOnlyWhenCommitted) {
  write_file(path_of("target.txt"), "old");
  const mode_t previous_umask = ::umask(027);
  ReplacementFile file(file_system_, TerminationSlot::of_this_process());
  ASSERT_EQ(file.create(path_of("target.txt")), std::nullopt);
  ::umask(previous_umask);
  file.write("new ");
  file.write("text");
  EXPECT_EQ(read_file(path_of("target.txt")), "old");
  EXPECT_EQ(files(), (std::vector<std::string>{temporary_name(0), "target.txt"}));
  EXPECT_EQ(std::filesystem::status(path_of(temporary_name(0))).permissions(),
            std::filesystem::perms(0640));
  ASSERT_EQ(file.commit(), std::nullopt);
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(files(), std::vector<std::string>{"target.txt"});
  EXPECT_EQ(read_file(path_of("target.txt")), "new text");
}

TEST_F(ReplacementFileTest, CreatesBesideFilesThatTakeItsTemporaryNamesWithoutTouchingThem) {
  // Left by earlier runs with this process id, as in a container: a file, and a link that must
  // not be written through.
  write_file(path_of(temporary_name(0)), "left");
  write_file(path_of("victim.txt"), "victim");
  std::filesystem::create_symlink(path_of("victim.txt"), path_of(temporary_name(1)));
  ReplacementFile file(file_system_, TerminationSlot::of_this_process());
  ASSERT_EQ(file.create(path_of("target.txt")), std::nullopt);
  file.write("new");
  ASSERT_EQ(file.commit(), std::nullopt);
  EXPECT_EQ(read_file(path_of("target.txt")), "new");
  EXPECT_EQ(read_file(path_of(temporary_name(0))), "left");
  EXPECT_EQ(read_file(path_of("victim.txt")), "victim");

  // When every name is taken, the failure says so and names the last one tried.
  for (int attempt = 2; attempt < 100; ++attempt) {
    write_file(path_of(temporary_name(attempt)), "left");
  }
  const std::optional<Failure> failure = file.create(path_of("target.txt"));
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->subject, "target.txt");
  EXPECT_EQ(failure->reason,
            "every temporary name is taken (the last tried: " + temporary_name(99) +
                ": File exists); delete the hidden .target.txt.*.tmp files");
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(read_file(path_of("target.txt")), "new");
}

TEST_F(ReplacementFileTest, KeepsTheTargetWhenWritingClosingOrRenamingFails) {
  // Each call's failure is the one commit reports.
  const struct {
    std::string FaultyFileSystem::*call;
    std::size_t size;
    const char* reason;
  } rows[] = {
      {&FaultyFileSystem::write_failure, 10, "No space left on device"},
      {&FaultyFileSystem::write_failure, 3'000'000, "File too large"},
      {&FaultyFileSystem::close_failure, 10, "Input/output error"},
      {&FaultyFileSystem::rename_failure, 10, "Permission denied"},
  };
  for (const auto& row : rows) {
    write_file(path_of("target.txt"), "old");
    FaultyFileSystem faulty;
    faulty.*row.call = row.reason;
    ReplacementFile file(faulty, TerminationSlot::of_this_process());
    ASSERT_EQ(file.create(path_of("target.txt")), std::nullopt);
    file.write(std::string(row.size, '5'));
    const std::optional<Failure> failure = file.commit();
    ASSERT_TRUE(failure.has_value()) << row.reason;
    EXPECT_EQ(failure->subject, "target.txt");
    EXPECT_EQ(failure->reason, row.reason);
    EXPECT_EQ(file.discard(), std::nullopt) << row.reason;
    EXPECT_EQ(files(), std::vector<std::string>{"target.txt"}) << row.reason;
    EXPECT_EQ(read_file(path_of("target.txt")), "old") << row.reason;
  }
}

TEST_F(ReplacementFileTest, NamesATemporaryFileThatCannotBeRemovedButNotOneAlreadyGone) {
  ReplacementFile file(file_system_, TerminationSlot::of_this_process());
  ASSERT_EQ(file.create(path_of("target.txt")), std::nullopt);
  file_system_.remove_failure = "Read-only file system";
  const std::optional<Failure> failure = file.discard();
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->subject, temporary_name(0));
  EXPECT_EQ(failure->reason, "cannot be removed: Read-only file system; delete it by hand");
  EXPECT_FALSE(file.is_open());

  // Its folder was deleted, say: nothing is left for the user to do.
  file_system_.remove_failure.clear();
  ASSERT_EQ(file.create(path_of("target.txt")), std::nullopt);
  std::filesystem::remove(path_of(temporary_name(1)));
  EXPECT_EQ(file.discard(), std::nullopt);
}

}  // namespace

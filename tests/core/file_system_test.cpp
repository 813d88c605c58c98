#include "core/file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "test_support.h"

namespace {

using test_support::write_file;

// The real look-ups: a name that cannot be looked up is an error, never "nothing there", so
// that a name that might lead to the list is not taken as free.
TEST(FileSystemTest, TellsWhatStandsUnderANameOrWhyItCannotBeLookedUp) {
  test_support::ScopedTempDir dir;
  write_file(dir.path() / "list.txt", "0912345678");
  std::filesystem::create_symlink("nowhere", dir.path() / "dangling");
  std::filesystem::create_symlink("loop", dir.path() / "loop");
  FileSystem files;

  const NameStatus missing = files.look_up(dir.path() / "missing.xml", "missing.xml");
  EXPECT_EQ(missing.failure, std::nullopt);
  EXPECT_FALSE(missing.taken);
  for (const char* name : {"dangling", "loop"}) {
    const NameStatus link = files.look_up(dir.path() / name, name);
    EXPECT_EQ(link.failure, std::nullopt) << name;
    EXPECT_TRUE(link.taken) << name;
    EXPECT_EQ(link.leads_to, std::nullopt) << name;
  }
  const std::optional<Failure> not_a_folder =
      files.look_up(dir.path() / "list.txt" / "output_1.xml", "output_1.xml").failure;
  ASSERT_TRUE(not_a_folder.has_value());
  EXPECT_EQ(not_a_folder->subject, "output_1.xml");
  EXPECT_EQ(not_a_folder->reason, "Not a directory");
  const std::optional<Failure> too_long =
      files.look_up(dir.path() / std::string(300, 'x'), "x").failure;
  ASSERT_TRUE(too_long.has_value());
  EXPECT_EQ(too_long->reason, "File name too long");
}

}  // namespace

#include "file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
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

  const NameStatus missing = files.look_up(dir.path() / "missing.xml");
  EXPECT_EQ(missing.error, 0);
  EXPECT_FALSE(missing.taken);
  for (const char* name : {"dangling", "loop"}) {
    const NameStatus link = files.look_up(dir.path() / name);
    EXPECT_EQ(link.error, 0) << name;
    EXPECT_TRUE(link.taken) << name;
    EXPECT_EQ(link.leads_to, std::nullopt) << name;
  }
  EXPECT_EQ(files.look_up(dir.path() / "list.txt" / "output_1.xml").error, ENOTDIR);
  EXPECT_EQ(files.look_up(dir.path() / std::string(300, 'x')).error, ENAMETOOLONG);
}

}  // namespace

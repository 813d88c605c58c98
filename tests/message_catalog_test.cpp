#include "message_catalog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

using test_support::ScopedTempDir;
using test_support::write_file;

// An installation under `prefix` with the program in bin/ and the catalogs in share/locale/.
class MessageCatalogTest : public ::testing::Test {
 protected:
  std::filesystem::path prefix() const { return dir_.path() / "prefix"; }
  std::filesystem::path program_folder() const { return prefix() / "bin"; }
  std::filesystem::path locale_folder() const { return prefix() / "share" / "locale"; }

  // Creates <locale folder>/<language>/LC_MESSAGES/<file_name> (the folders too); a name
  // ending in / makes a folder.
  void put_in_locale_folder(const char* language, std::string_view file_name) {
    const std::filesystem::path folder = locale_folder() / language / "LC_MESSAGES";
    std::filesystem::create_directories(folder);
    if (file_name.ends_with('/')) {
      std::filesystem::create_directory(folder / file_name.substr(0, file_name.size() - 1));
    } else {
      write_file(folder / file_name, "catalog");
    }
  }

  std::filesystem::path chosen_folder() const {
    std::filesystem::create_directories(program_folder());
    return choose_message_catalog_folder("change_utf8", program_folder(), "../share/locale",
                                         "/usr/share/locale");
  }

 private:
  ScopedTempDir dir_;
};

TEST_F(MessageCatalogTest, TakesTheFolderBesideTheProgramOnlyWhenItHoldsACatalogOfTheDomain) {
  const struct {
    std::vector<std::pair<const char*, const char*>> files;  // language, file name
    bool beside;
  } rows[] = {
      {{{"zh_TW", "change_utf8.mo"}}, true},
      {{{"de", "other.mo"}, {"fr", "change_utf8.mo"}}, true},  // in any language
      {{}, false},
      {{{"zh_TW", "other.mo"}, {"zh_TW", "change_utf8.po"}}, false},
      {{{"zh_TW", "change_utf8.mo/"}}, false},  // a folder of that name
  };
  for (const auto& row : rows) {
    std::filesystem::remove_all(prefix());
    for (const auto& [language, file_name] : row.files) {
      put_in_locale_folder(language, file_name);
    }
    const std::filesystem::path chosen = chosen_folder();
    EXPECT_EQ(chosen, row.beside ? locale_folder() : "/usr/share/locale") << row.files.size();
    EXPECT_EQ(holds_message_catalog(locale_folder(), "change_utf8"), row.beside);
  }
}

TEST_F(MessageCatalogTest, FallsBackWhenTheProgramsFolderIsUnknown) {
  put_in_locale_folder("zh_TW", "change_utf8.mo");
  EXPECT_EQ(
      choose_message_catalog_folder("change_utf8", "", "../share/locale", "/usr/share/locale"),
      "/usr/share/locale");
}

TEST(MessageCatalogFolderTest, FallsBackForTheRunningProgramWhenNothingIsBesideIt) {
  // No folder beside this test program holds a catalog of a domain nobody has.
  EXPECT_EQ(
      message_catalog_folder("no_such_domain_anywhere", "../share/locale", "/configured/locale"),
      std::filesystem::path("/configured/locale"));
}

}  // namespace

#include "message_catalog.h"

#include <gtest/gtest.h>

#include <filesystem>

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

  // Creates <locale folder>/<language>/LC_MESSAGES/<file_name> (the folders too).
  void put_in_locale_folder(const char* language, const char* file_name) {
    const std::filesystem::path folder = locale_folder() / language / "LC_MESSAGES";
    std::filesystem::create_directories(folder);
    write_file(folder / file_name, "catalog");
  }

  std::filesystem::path chosen_folder() const {
    std::filesystem::create_directories(program_folder());
    return choose_message_catalog_folder("change_utf8", program_folder(), "../share/locale",
                                         "/usr/share/locale");
  }

 private:
  ScopedTempDir dir_;
};

TEST_F(MessageCatalogTest, TakesTheFolderBesideTheProgramWhenItHoldsACatalogOfTheDomain) {
  put_in_locale_folder("zh_TW", "change_utf8.mo");
  EXPECT_EQ(chosen_folder(), locale_folder());
  EXPECT_EQ(chosen_folder().filename(), "locale");  // normalised: no "bin/.." left in it
}

TEST_F(MessageCatalogTest, TakesTheFolderBesideTheProgramForACatalogInAnyLanguage) {
  put_in_locale_folder("de", "other.mo");
  put_in_locale_folder("fr", "change_utf8.mo");
  EXPECT_EQ(chosen_folder(), locale_folder());
}

TEST_F(MessageCatalogTest, FallsBackToTheConfiguredFolderWhenNothingIsBesideTheProgram) {
  EXPECT_EQ(chosen_folder(), "/usr/share/locale");
}

TEST_F(MessageCatalogTest, FallsBackWhenTheFolderBesideTheProgramHoldsOnlyOtherDomains) {
  put_in_locale_folder("zh_TW", "other.mo");
  put_in_locale_folder("zh_TW", "change_utf8.po");
  EXPECT_EQ(chosen_folder(), "/usr/share/locale");
}

TEST_F(MessageCatalogTest, FallsBackWhenTheCatalogsNameIsAFolder) {
  std::filesystem::create_directories(locale_folder() / "zh_TW" / "LC_MESSAGES" / "change_utf8.mo");
  EXPECT_EQ(chosen_folder(), "/usr/share/locale");
}

TEST_F(MessageCatalogTest, FallsBackWhenTheProgramsFolderIsUnknown) {
  put_in_locale_folder("zh_TW", "change_utf8.mo");
  EXPECT_EQ(
      choose_message_catalog_folder("change_utf8", "", "../share/locale", "/usr/share/locale"),
      "/usr/share/locale");
}

TEST_F(MessageCatalogTest, FindsACatalogOnlyWhereOneIs) {
  put_in_locale_folder("zh_TW", "change_utf8.mo");
  EXPECT_TRUE(holds_message_catalog(locale_folder(), "change_utf8"));
  EXPECT_FALSE(holds_message_catalog(locale_folder(), "other"));
  EXPECT_FALSE(holds_message_catalog(locale_folder() / "missing", "change_utf8"));
}

TEST(MessageCatalogFolderTest, FallsBackForTheRunningProgramWhenNothingIsBesideIt) {
  // No folder beside this test program holds a catalog of a domain nobody has.
  EXPECT_EQ(
      message_catalog_folder("no_such_domain_anywhere", "../share/locale", "/configured/locale"),
      std::filesystem::path("/configured/locale"));
}

}  // namespace

#include "core/message_catalog.h"

#include <gtest/gtest.h>
#include <libintl.h>

#include <clocale>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "test_support.h"

namespace {

using test_support::read_file;
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

// A catalog cut short gives each text in Chinese or in English, never empty: cut within its
// header and tables, and at each edge of the translations looked up.
TEST(MessageCatalogTextTest, GivesNoEmptyTextInTheUsersLanguageFromACatalogCutShort) {
  const std::string saved_locale = std::setlocale(LC_MESSAGES, nullptr);
  if (std::setlocale(LC_MESSAGES, "zh_TW.UTF-8") == nullptr) {
    GTEST_SKIP() << "the zh_TW.UTF-8 locale is not installed (tools/install-dependencies tests)";
  }
  const std::string saved_domain = ::textdomain(nullptr);
  const std::string catalog = read_file(CHANGE_UTF8_BUILT_CATALOG);
  // Where the whole catalog holds the translations (its folder is <locale>/zh_TW/LC_MESSAGES).
  const std::filesystem::path built_folder =
      std::filesystem::path(CHANGE_UTF8_BUILT_CATALOG).parent_path().parent_path().parent_path();
  ::bindtextdomain("change_utf8", built_folder.c_str());
  ::bind_textdomain_codeset("change_utf8", "UTF-8");
  ::textdomain("change_utf8");
  std::set<std::size_t> lengths = {0, 20, 28, 60, catalog.size() - 1, catalog.size()};
  for (const std::string_view translation :
       {std::string_view(catalog::gettext("is an empty file, or holds only white space")),
        std::string_view(catalog::ngettext("%s more entry is not a phone number",
                                           "%s more entries are not phone numbers", 2))}) {
    const std::size_t offset = catalog.find(translation);
    ASSERT_NE(offset, std::string::npos) << translation;
    for (const std::size_t edge : {offset, offset + translation.size()}) {
      lengths.insert({edge - 1, edge, edge + 1});
    }
  }
  ScopedTempDir dir;
  std::filesystem::create_directories(dir.path() / "zh_TW" / "LC_MESSAGES");
  for (const std::size_t length : lengths) {
    const std::string domain = "cut_at_" + std::to_string(length);
    write_file(dir.path() / "zh_TW" / "LC_MESSAGES" / (domain + ".mo"), catalog.substr(0, length));
    ::bindtextdomain(domain.c_str(), dir.path().c_str());
    ::textdomain(domain.c_str());
    EXPECT_STRNE(catalog::gettext("is an empty file, or holds only white space"), "") << length;
    EXPECT_STRNE(catalog::ngettext("%s more entry is not a phone number",
                                   "%s more entries are not phone numbers", 2),
                 "")
        << length;
  }
  ::textdomain(saved_domain.c_str());
  std::setlocale(LC_MESSAGES, saved_locale.c_str());
}

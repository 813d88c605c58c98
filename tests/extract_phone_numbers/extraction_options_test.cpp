#include "extract_phone_numbers/extraction_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ExtractionOptionsTest, TakesTheRegionFromTheTelephoneLocale) {
  const struct {
    std::string locale;
    std::string region;
  } rows[] = {
      {"zh_TW.UTF-8", "TW"}, {"en_US.UTF-8", "US"}, {"de_DE@euro", "DE"}, {"en_gb", "GB"},
      {"C", "TW"},           {"POSIX", "TW"},       {"", "TW"},           {"xx_XX.UTF-8", "TW"},
      {"en_USA", "TW"}};
  for (const auto& row : rows) {
    EXPECT_EQ(region_of_locale(row.locale), row.region) << row.locale;
  }
}

TEST(ExtractionOptionsTest, ReadsRegionFilesAndWrongOptions) {
  const struct {
    std::vector<std::string_view> arguments;
    std::string region;
    std::vector<std::string> files;
    std::string usage_error;
  } rows[] = {
      {{}, "TW", {}, ""},
      {{"--region=us", "a.csv", "-"}, "US", {"a.csv", "-"}, ""},
      {{"--region", "Jp", "--", "--help"}, "JP", {"--help"}, ""},
      {{"--region=xx"},
       "TW",
       {},
       "'xx' is not a region; give the two letters of a country, such as TW or US"},
      {{"--region=TWN"},
       "TW",
       {},
       "'TWN' is not a region; give the two letters of a country, such as TW or US"},
      {{"--region"}, "TW", {}, "option '--region' requires an argument"},
      {{"-x"}, "TW", {}, "unrecognized option '-x'"},
      {{"--regio=TW"}, "TW", {}, "unrecognized option '--regio=TW'"},
  };
  for (const auto& row : rows) {
    const ExtractionOptions options = read_extraction_options(row.arguments, "TW");
    EXPECT_EQ(options.region, row.region) << row.arguments.size();
    EXPECT_EQ(options.files, row.files) << row.arguments.size();
    EXPECT_EQ(options.usage_error.value_or(""), row.usage_error) << row.arguments.size();
  }
  EXPECT_TRUE(read_extraction_options(std::vector<std::string_view>{"--all"}, "TW").all);
  EXPECT_TRUE(read_extraction_options(std::vector<std::string_view>{"--help"}, "TW").help);
  EXPECT_TRUE(read_extraction_options(std::vector<std::string_view>{"--version"}, "TW").version);
}

}  // namespace

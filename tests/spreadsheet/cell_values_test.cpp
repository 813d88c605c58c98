#include "spreadsheet/cell_values.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

struct TextAndValue {
  std::string_view text;   // as the file keeps it
  std::string_view value;  // as the reader hands it out
};

TEST(CellValuesTest, WritesAnIntegralNumberInDigitsAndAnyOtherAsTheFileDoes) {
  constexpr TextAndValue kRows[] = {
      {"9.12345678E8", "912345678"},
      {"8.86912345678E+11", "886912345678"},
      {"12e3", "12000"},
      {"0091", "91"},
      {"-120E-1", "-12"},
      {"-0.0", "0"},
      {".5e1", "5"},
      {"1.5", "1.5"},
      {"-2.50E-1", "-2.50E-1"},
      {"1E400", "1E400"},  // more digits than a double's largest
      {"1E00001", "1E00001"},
      {"1e", "1e"},
      {"", ""},
  };
  for (const TextAndValue& row : kRows) {
    EXPECT_EQ(exact_number_text(row.text), row.value) << row.text;
  }
}

TEST(CellValuesTest, TakesAFormatForADateWhenItWritesItsPartsOutsideQuotesAndBrackets) {
  const struct {
    std::int64_t id;
    std::optional<std::string_view> code;
    bool date;
  } rows[] = {{13, {}, false},        {14, {}, true},        {47, {}, true},
              {48, {}, false},        {164, "[h]:mm", true}, {164, "0\" days\"", false},
              {164, "General", false}};
  for (const auto& row : rows) {
    EXPECT_EQ(is_date_number_format(row.id, row.code), row.date) << row.code.value_or("");
  }
}

TEST(CellValuesTest, UnescapesXlsxEscapesButSurrogatesAndMalformedOnes) {
  constexpr TextAndValue kRows[] = {
      {"x&y_x000D__x005F_x0041_", "x&y\r_x0041_"},
      {"_x4E00__xD83D__x12_", "\xE4\xB8\x80_xD83D__x12_"},  // U+4E00, then a surrogate
      {"_x00e9_", "\xC3\xA9"},
      {"_X000D_ _x000D", "_X000D_ _x000D"},
  };
  for (const TextAndValue& row : kRows) {
    EXPECT_EQ(unescaped_xlsx_text(row.text), row.value) << row.text;
  }
}

}  // namespace

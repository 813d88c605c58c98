#include "change_utf8/phone_number_check.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

constexpr std::string_view kWangXiaoMing = "\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E";  // 王小明
constexpr std::string_view kFullWidthZero = "\xEF\xBC\x90";                         // ０

struct EntryAndVerdict {
  std::string entry;
  bool is_phone_number;
};

// The check's verdict on `entry` given in two pieces, split after `split` bytes.
bool judge_split(PhoneNumberCheck& check, std::string_view entry, std::size_t split) {
  check.reset();
  check.add(entry.substr(0, split));
  check.add(entry.substr(split));
  return check.is_phone_number();
}

TEST(PhoneNumberCheckTest, AcceptsDigitsAndPunctuationWithSevenToTwentyDigits) {
  const EntryAndVerdict rows[] = {
      {"", false},
      {"12", false},
      {"0912", false},  // the pieces of 0912 345 678 and +886 912 345 678
      {"345", false},
      {"+886", false},
      {"123456", false},
      {"1234567", true},
      {"0912345678", true},
      {"12345678901234567890", true},    // 20 digits
      {"123456789012345678901", false},  // 21 digits
      {std::string(1000, '9'), false},
      {"+886912345678", true},
      {"+123456", false},
      {"+1234567", true},
      {"+", false},
      {"0912+345678", false},  // + not first
      {"0912345678+", false},
      {"++886912345678", false},
      {"02-1234-5678", true},
      {"02.1234.5678", true},
      {"(02)12345678", true},
      {"+886-(2)-1234.5678", true},
      {"1-2-3-4-5-6-7", true},
      {"--.()", false},
      {"1-2-3-4-5-6", false},
      {"+1234567890-12345678901", false},  // 21 digits among punctuation
      {"+(12345678901234567890)", true},
      {std::string(kWangXiaoMing) + ",0912345678", false},  // a CSV line without spaces
      {"0912345678,", false},
      {"1,000", false},
      {std::string(kFullWidthZero) + "912345678", false},
      {"0912345678" + std::string(kFullWidthZero), false},
      {"0912/345678", false},
      {"0912 345678", false},
      {"0912\t345678", false},
      {std::string("0912\0"
                   "345678",
                   11),
       false},
      {"0912345678\x80", false},
      {"#0912345678", false},
      {"abc", false},
  };
  PhoneNumberCheck check;
  for (const auto& row : rows) {
    for (std::size_t split = 0; split <= row.entry.size(); ++split) {
      EXPECT_EQ(judge_split(check, row.entry, split), row.is_phone_number)
          << row.entry << " split after " << split;
    }
  }
}

TEST(PhoneNumberCheckTest, ForgetsTheEntryOnReset) {
  PhoneNumberCheck check;
  check.add("abc");
  check.reset();
  EXPECT_FALSE(check.is_phone_number());  // an empty entry
  check.add("1234567");
  EXPECT_TRUE(check.is_phone_number());
  check.reset();
  check.add("4");
  EXPECT_FALSE(check.is_phone_number());  // the digits before the reset do not count
  check.add("+56");
  EXPECT_FALSE(check.is_phone_number());
}

}  // namespace

#include "decoded_list.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

constexpr std::string_view kNotPlainText =
    "is not plain text, perhaps a spreadsheet or word-processor file; save it as UTF-8 or "
    "Unicode text";

// The text of `bytes`, read as a list; or the reason it was refused.
std::string decoded(const std::string& bytes) {
  test_support::ScopedTempDir dir;
  test_support::write_file(dir.path() / "list", bytes);
  FileSystem files;
  DecodedList list(files);
  if (const std::optional<Failure> failure = list.open(dir.path() / "list")) {
    return failure->reason;
  }
  std::string text;
  for (ListBlock block = list.next_block(); !block.text.empty(); block = list.next_block()) {
    text += block.text;
  }
  return text;
}

TEST(DecodedListTest, ReadsUtf8Utf16AndBig5ByTheirBytes) {
  const std::string a64k(kJudgedUtf8Size, 'a');
  const struct {
    std::string bytes;
    std::string text;
  } rows[] = {
      {"\xEF\xBB\xBF"
       "0912\xE7\x8E\x8B",
       "0912\xE7\x8E\x8B"},
      {std::string("\xFF\xFE"
                   "0\x00\x8B\x73",
                   6),
       "0\xE7\x8E\x8B"},
      {std::string("\xFE\xFF\x00"
                   "0\x73\x8B",
                   6),
       "0\xE7\x8E\x8B"},
      {"\xA4\xA4\xA4\xE5 0912\r\n\xFF", "\xE4\xB8\xAD\xE6\x96\x87 0912\r\n\xEF\xBF\xBD"},
      {"0912\xA4", "0912\xEF\xBF\xBD"},
      {a64k + "\xA4\xA4", a64k + "\xA4\xA4"},
      {a64k.substr(1) + "\xE4\xB8\xAD", a64k.substr(1) + "\xE4\xB8\xAD"},
      {a64k.substr(1) + "\xA4\xA4", a64k.substr(1) + "\xE4\xB8\xAD"},
      {std::string("0912\0", 5), std::string(kNotPlainText)},
      {std::string("\xFF\xFE\x00\x00", 4), std::string(kNotPlainText)},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(decoded(row.bytes), row.text) << row.bytes.substr(0, 16);
  }
}

}  // namespace

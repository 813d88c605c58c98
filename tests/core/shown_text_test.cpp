#include "core/shown_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "test_support.h"

namespace {

using std::string_view_literals::operator""sv;

constexpr std::string_view kEscape = "\x1B";
constexpr std::string_view kBell = "\x07";
constexpr std::string_view kDelete = "\x7F";
constexpr std::string_view kCsi = "\xC2\x9B";       // U+009B, a C1 control
constexpr std::string_view kWang = "\xE7\x8E\x8B";  // U+738B, a Chinese character
constexpr std::string_view kPhoneEmoji = "\xF0\x9F\x93\xB1";

std::string repeated(std::string_view text, std::size_t count) {
  std::string result;
  for (std::size_t i = 0; i < count; ++i) {
    result += text;
  }
  return result;
}

// `text` shown one byte at a time.
std::string shown_bytewise(ShownText& shown, std::string_view text) {
  std::string out;
  for (const char byte : text) {
    shown.append(std::string_view(&byte, 1), out);
  }
  shown.finish(out);
  return out;
}

struct TextAndShown {
  std::string text;
  std::string shown;
};

// Each text shown whole, split at every byte, and one byte at a time, by one object that
// `finish` starts afresh for each.
void expect_shown(ShownText& shown, const TextAndShown& row) {
  for (std::size_t split = 0; split <= row.text.size(); ++split) {
    EXPECT_EQ(test_support::in_two_pieces(shown, &ShownText::append, row.text, split), row.shown)
        << row.text << " split " << split;
  }
  EXPECT_EQ(shown_bytewise(shown, row.text), row.shown) << row.text << " byte by byte";
}

TEST(ShownTextTest, ShowsControlsInvisibleCharactersAndIllFormedBytesAsQuestionMarks) {
  const TextAndShown rows[] = {
      {"", ""},
      {"0912345678", "0912345678"},
      {"+886 (2) 1234-5678", "+886 (2) 1234-5678"},
      // A terminal would put the text into the clipboard, then clear the screen.
      {std::string(kEscape) + "]52;c;cm0gLXJmIH4=" + std::string(kBell) + std::string(kEscape) +
           "[2J",
       "?]52;c;cm0gLXJmIH4=??[2J"},
      {"09" + std::string(kCsi) + "2J", "09?2J"},
      {"\xC2\x80\xC2\x9F\xC2\xA0", "??\xC2\xA0"},  // U+0080 and U+009F; U+00A0 is copied
      {"1" + std::string(kDelete) + "2", "1?2"},
      {"1\t2\r\n", "1 2??"},
      {std::string("1\0"
                   "2"sv),
       "1?2"},
      {std::string(kWang) + "0912" + std::string(kPhoneEmoji) + "\xEF\xBF\xBD\xEF\xBF\xBF",
       std::string(kWang) + "0912" + std::string(kPhoneEmoji) + "\xEF\xBF\xBD\xEF\xBF\xBF"},
      // Invisible and direction-changing characters, each beside a neighbour that is copied:
      // U+FEFF before a number (two UTF-16 files joined) would look like nothing at all.
      {"\xEF\xBB\xBE\xEF\xBB\xBF"
       "0922333444",
       "\xEF\xBB\xBE?0922333444"},  // U+FEFE, U+FEFF
      // U+200A, U+200B, U+200F, U+2010; U+2029, U+202A, U+202E, U+202F
      {"\xE2\x80\x8A\xE2\x80\x8B\xE2\x80\x8F\xE2\x80\x90\xE2\x80\xA9\xE2\x80\xAA\xE2\x80\xAE\xE2"
       "\x80\xAF",
       "\xE2\x80\x8A??\xE2\x80\x90\xE2\x80\xA9??\xE2\x80\xAF"},
      // U+2060, U+2064, U+2065, U+2066, U+2069, U+206A; U+E0000, U+E007F, U+E0080
      {"\xE2\x81\xA0\xE2\x81\xA4\xE2\x81\xA5\xE2\x81\xA6\xE2\x81\xA9\xE2\x81\xAA\xF3\xA0\x80\x80"
       "\xF3\xA0\x81\xBF\xF3\xA0\x82\x80",
       "??\xE2\x81\xA5??\xE2\x81\xAA??\xF3\xA0\x82\x80"},
      // Ill-formed UTF-8: one `?` for each byte.
      {"09\xFF\xFE"
       "12",
       "09??12"},
      {"\x80\xBF", "??"},                      // continuation bytes alone
      {"\xC0\xAF\xC1\xBF", "????"},            // overlong leads
      {"\xE0\x80\x80\xE0\x9F\xBF", "??????"},  // overlong three-byte forms
      {"\xF0\x80\x80\x80\xF0\x8F\xBF\xBF", "????????"},
      {"\xED\xA0\x80\xED\xBF\xBF", "??????"},  // surrogates
      {"\xF4\x90\x80\x80", "????"},            // beyond U+10FFFF
      {"\xF5\x80\x80\x80\xF8", "?????"},
      {"\xE7\x8E"
       "1",
       "??1"},  // truncated, then ASCII
      {"\xE7\x8E\x1B", "???"},
      {"\xE7\x8E\xE7\x8E\x8B", "??\xE7\x8E\x8B"},  // truncated, then whole
      {"x\xE7\x8E", "x??"},                        // truncated at the very end
      {"\xF0\x9F\x93", "???"},
  };
  ShownText shown;
  for (const auto& row : rows) {
    expect_shown(shown, row);
  }
}

TEST(ShownTextTest, ShowsTheFirstCharactersThenDotsWhenThereAreMore) {
  const TextAndShown rows[] = {
      {repeated("1", 32), repeated("1", 32)},
      {repeated("1", 33), repeated("1", 32) + "..."},
      {repeated("1", 1000), repeated("1", 32) + "..."},
      {repeated(kWang, 32), repeated(kWang, 32)},  // a Chinese character counts as one
      {repeated(kWang, 33), repeated(kWang, 32) + "..."},
      {repeated("1", 31) + std::string(kEscape), repeated("1", 31) + "?"},
      {repeated("1", 32) + std::string(kEscape), repeated("1", 32) + "..."},
      {repeated("1", 31) + std::string(kCsi) + "2", repeated("1", 31) + "?..."},
      {repeated("1", 30) + std::string(kWang) + "xy",
       repeated("1", 30) + std::string(kWang) + "x..."},
      {repeated("1", 32) + "\xE7", repeated("1", 32) + "..."},  // truncated after the limit
      {repeated("1", 31) + "\xE7\x8E", repeated("1", 31) + "?..."},
      {repeated("1", 31) + "\xFF\xFF", repeated("1", 31) + "?..."},
  };
  ShownText shown(32);
  for (const auto& row : rows) {
    expect_shown(shown, row);
  }
}

TEST(ShownTextTest, StreamsALongTextWithoutShowingMoreThanTheLimit) {
  const std::string mebibyte_of_digits(1 << 20, '7');
  ShownText shown(32);
  std::string out = "read: ";
  for (int i = 0; i < 64; ++i) {
    shown.append(mebibyte_of_digits, out);
  }
  shown.finish(out);
  EXPECT_EQ(out, "read: 77777777777777777777777777777777...");
}

TEST(ShownTextTest, ShowsNothingForAnEmptyTextEvenWithNoRoom) {
  ShownText shown(0);
  std::string out;
  shown.finish(out);
  EXPECT_EQ(out, "");
  shown.append("1", out);
  shown.finish(out);
  EXPECT_EQ(out, "...");
}

}  // namespace

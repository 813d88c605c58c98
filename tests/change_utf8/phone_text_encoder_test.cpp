#include "change_utf8/phone_text_encoder.h"

#include <gtest/gtest.h>

#include <string>

#include "well_formed_xml.h"

namespace {

// `count` times U+FFFD.
std::string replacements(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += "\xEF\xBF\xBD";
  }
  return text;
}

TEST(PhoneTextEncoderTest, WritesEveryPhoneAsTextThatXmlCanCarry) {
  struct PhoneAndText {
    std::string phone;
    std::string written;
  };
  const PhoneAndText rows[] = {
      {"09&<>\"'", "09&amp;&lt;&gt;\"'"},
      // Well-formed UTF-8 and the controls XML allows are copied: Chinese, an emoji, DEL,
      // the C1 control U+0085, U+FFFD itself.
      {"\xE7\x8E\x8B"
       "0912\xF0\x9F\x93\xB1\x7F\xC2\x85\xEF\xBF\xBD",
       "\xE7\x8E\x8B"
       "0912\xF0\x9F\x93\xB1\x7F\xC2\x85\xEF\xBF\xBD"},
      {"0912\x01"
       "345",
       "0912\xEF\xBF\xBD"
       "345"},
      {std::string("\0\x08\x0B\x0C\x0E\x1F", 6), replacements(6)},
      {"09\xFF"
       "12",
       "09\xEF\xBF\xBD"
       "12"},
      {"\x80\x80", replacements(2)},
      {"\xC0\xAF", replacements(2)},                  // overlong lead
      {"\xE0\x80\x80", replacements(3)},              // overlong form
      {"\xED\xA0\x80", replacements(3)},              // surrogate
      {"\xF4\x90\x80\x80", replacements(4)},          // beyond U+10FFFF
      {"\xEF\xBF\xBE\xEF\xBF\xBF", replacements(2)},  // U+FFFE, U+FFFF
      {"x\xE7\x8E", "x\xEF\xBF\xBD"},                 // truncated at the end
      {"\xF0\x9F\x93", "\xEF\xBF\xBD"},
      {"\xE7\x8E"
       "1",
       "\xEF\xBF\xBD"
       "1"},
      {"\xE7\x8E\xE7\x8E\x8B", "\xEF\xBF\xBD\xE7\x8E\x8B"},  // truncated, then whole
      {"&\xFF<", "&amp;\xEF\xBF\xBD&lt;"},
  };
  for (const auto& row : rows) {
    // Whole, then one byte at a time: a character split between pieces is kept whole.
    PhoneTextEncoder encoder;
    std::string whole;
    encoder.encode(row.phone, whole);
    encoder.finish(whole);
    std::string bytewise;
    for (const char byte : row.phone) {
      encoder.encode(std::string_view(&byte, 1), bytewise);
    }
    encoder.finish(bytewise);
    EXPECT_EQ(whole, row.written) << row.phone;
    EXPECT_EQ(bytewise, row.written) << row.phone;
    EXPECT_TRUE(is_well_formed_xml("<phone>" + whole + "</phone>")) << row.phone;
  }
}

}  // namespace

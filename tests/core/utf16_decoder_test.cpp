#include "core/utf16_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "test_support.h"

namespace {

using std::string_view_literals::operator""sv;

// `bytes` with the two bytes of each code unit swapped; an odd last byte stays last.
std::string swap_byte_order(std::string_view bytes) {
  std::string swapped(bytes);
  for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) {
    std::swap(swapped[i], swapped[i + 1]);
  }
  return swapped;
}

struct Utf16AndUtf8 {
  std::string_view utf16le;
  std::string_view utf8;
};

// Code units in little-endian order and the UTF-8 they give.
constexpr Utf16AndUtf8 kRows[] = {
    {""sv, ""sv},
    {"0\0"
     "9\0"sv,
     "09"sv},
    {"\0\0"sv, "\0"sv},                            // U+0000 is a character like any other
    {"\x80\0"sv, "\xC2\x80"sv},                    // U+0080
    {"\xFF\x07"sv, "\xDF\xBF"sv},                  // U+07FF
    {"\0\x08"sv, "\xE0\xA0\x80"sv},                // U+0800
    {"\x8B\x73"sv, "\xE7\x8E\x8B"sv},              // U+738B, a Chinese character
    {"\xFF\xFF"sv, "\xEF\xBF\xBF"sv},              // U+FFFF
    {"\x3D\xD8\xF1\xDC"sv, "\xF0\x9F\x93\xB1"sv},  // the pair D83D DCF1: U+1F4F1
    {"\0\xD8\0\xDC"sv, "\xF0\x90\x80\x80"sv},      // U+10000
    {"\xFF\xDB\xFF\xDF"sv, "\xF4\x8F\xBF\xBF"sv},  // U+10FFFF
    // An unpaired high surrogate; the code unit after it is decoded on its own.
    {"\x3D\xD8"
     "1\0"sv,
     "\xEF\xBF\xBD"
     "1"sv},
    {"\x3D\xD8\x3D\xD8\xF1\xDC"sv, "\xEF\xBF\xBD\xF0\x9F\x93\xB1"sv},
    {"\x3D\xD8\x8B\x73"sv, "\xEF\xBF\xBD\xE7\x8E\x8B"sv},
    {"\xF1\xDC"sv, "\xEF\xBF\xBD"sv},  // a low surrogate alone
    {"\xF1\xDC\x3D\xD8"sv, "\xEF\xBF\xBD\xEF\xBF\xBD"sv},
    {"1\0\x3D\xD8"sv, "1\xEF\xBF\xBD"sv},  // a high surrogate at the very end
    {"1\0"
     "2"sv,
     "1\xEF\xBF\xBD"sv},                               // an odd last byte
    {"\x3D\xD8\x31"sv, "\xEF\xBF\xBD\xEF\xBF\xBD"sv},  // a high surrogate, then an odd byte
};

TEST(Utf16DecoderTest, DecodesLittleEndianSplitAtEveryByte) {
  Utf16Decoder decoder(ByteOrder::LittleEndian);
  for (const auto& row : kRows) {
    for (std::size_t split = 0; split <= row.utf16le.size(); ++split) {
      EXPECT_EQ(test_support::in_two_pieces(decoder, &Utf16Decoder::decode, row.utf16le, split),
                row.utf8)
          << row.utf8 << " split after " << split;
    }
  }
}

TEST(Utf16DecoderTest, DecodesBigEndianSplitAtEveryByte) {
  Utf16Decoder decoder(ByteOrder::BigEndian);
  for (const auto& row : kRows) {
    const std::string utf16be = swap_byte_order(row.utf16le);
    for (std::size_t split = 0; split <= utf16be.size(); ++split) {
      EXPECT_EQ(test_support::in_two_pieces(decoder, &Utf16Decoder::decode, utf16be, split),
                row.utf8)
          << row.utf8 << " split after " << split;
    }
  }
}

TEST(Utf16DecoderTest, DecodesOneByteAtATime) {
  Utf16Decoder decoder(ByteOrder::LittleEndian);
  std::string utf8;
  for (const char byte :
       "0\0\x3D\xD8\xF1\xDC\x8B\x73\xF1\xDC"
       "9\0\x3D\xD8"sv) {
    decoder.decode(std::string_view(&byte, 1), utf8);
  }
  decoder.finish(utf8);
  EXPECT_EQ(utf8,
            "0\xF0\x9F\x93\xB1\xE7\x8E\x8B\xEF\xBF\xBD"
            "9\xEF\xBF\xBD");
}

// More code units than the decoder converts between two appends, with a pair across the joint.
TEST(Utf16DecoderTest, DecodesTextLongerThanItsChunks) {
  std::string utf16le;
  for (int i = 0; i < 4095; ++i) {
    utf16le += "7\0"sv;
  }
  utf16le += "\x3D\xD8\xF1\xDC";
  for (int i = 0; i < 10000; ++i) {
    utf16le += "\x8B\x73";
  }
  Utf16Decoder decoder(ByteOrder::LittleEndian);
  std::string utf8 = "kept ";
  decoder.decode(utf16le, utf8);
  decoder.finish(utf8);

  std::string expected = "kept " + std::string(4095, '7') + "\xF0\x9F\x93\xB1";
  for (int i = 0; i < 10000; ++i) {
    expected += "\xE7\x8E\x8B";
  }
  EXPECT_EQ(utf8, expected);
}

TEST(Utf16DecoderTest, FinishAppendsNothingWhenNothingIsLeft) {
  Utf16Decoder decoder(ByteOrder::LittleEndian);
  std::string utf8 = "x";
  decoder.finish(utf8);
  decoder.decode("1\0"sv, utf8);
  decoder.finish(utf8);
  decoder.finish(utf8);
  EXPECT_EQ(utf8, "x1");
}

}  // namespace

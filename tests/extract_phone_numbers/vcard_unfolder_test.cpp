#include "extract_phone_numbers/vcard_unfolder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The logical lines of `text` given in pieces of `size` bytes, each as "TEXT|LINE\n", LINE
// where it starts.
std::string unfolded(std::string_view text, std::size_t size) {
  VcardUnfolder unfolder;
  std::string lines;
  const auto add = [&lines](std::span<const VcardPiece> pieces) {
    for (const VcardPiece& piece : pieces) {
      lines += piece.text;
      if (piece.ended_line != 0) {
        lines.append("|").append(std::to_string(piece.ended_line)).append("\n");
      }
    }
  };
  for (std::size_t start = 0; start < text.size(); start += size) {
    add(unfolder.unfold(text.substr(start, size)));
  }
  add(unfolder.finish());
  return lines;
}

TEST(VcardUnfolderTest, JoinsFoldsDecodesQuotedPrintableAndLeavesOutPictures) {
  const struct {
    std::string text;
    std::string lines;  // each "TEXT|LINE WHERE IT STARTS"
  } rows[] = {
      {"BEGIN:VCARD\r\nNOTE:call 0912\r\n 345 678\r\nEND:VCARD\r\n",
       "BEGIN:VCARD|1\nNOTE:call 0912345 678|2\nEND:VCARD|4\n"},
      {"NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E7=8E=8B 0912=\n345=\r\n678=0D=0A1\nX",
       "NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:\xE7\x8E\x8B 0912345678  1|1\nX|4\n"},
      {"N;CHARSET=BIG5;QUOTED-PRINTABLE:=A4=FD=3d=4\r\nN;quoted-printable:=\r\n",
       "N;CHARSET=BIG5;QUOTED-PRINTABLE:\xE7\x8E\x8B==4|1\nN;quoted-printable:|2\n"},
      {"PHOTO;ENCODING=b:MTIz\r\n NDU2\r\nitem1.X-ABUID:0912\nbday:1980\nUID:1\nTEL:1",
       "TEL:1|6\n"},
      {"abc\n\tdef\r\rghi\r\n", "abcdef|1\n|3\nghi|4\n"},
      {"NOTE:a\\n0912\\N345\\\r\n n6\\\\n7\\,8\\", "NOTE:a 0912 345 6\\\\n7\\,8\\|1\n"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(unfolded(row.text, row.text.size()), row.lines) << row.text;
    EXPECT_EQ(unfolded(row.text, 1), row.lines) << row.text;
  }
}

TEST(VcardUnfolderTest, KnowsAVcardByItsFirstLine) {
  EXPECT_TRUE(starts_vcard("begin:vCard\r\nVERSION:3.0"));
  EXPECT_TRUE(
      starts_vcard("\xEF\xBB\xBF"
                   "BEGIN:VCARD"));
  EXPECT_FALSE(starts_vcard("BEGIN:VCARDS\n"));
  EXPECT_FALSE(starts_vcard(" BEGIN:VCARD\n"));
}

}  // namespace

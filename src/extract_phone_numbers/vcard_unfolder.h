#ifndef CHANGE_UTF8_VCARD_UNFOLDER_H_
#define CHANGE_UTF8_VCARD_UNFOLDER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_decoder.h"

// Whether `text`, the start of a list's text, begins a vCard file: its first line, after an
// optional UTF-8 byte-order mark, is BEGIN:VCARD in any case.
bool starts_vcard(std::string_view text);

// The start of a line before its colon is held up to this many bytes; a longer one is no
// property, and its line is handed out as it is.
inline constexpr std::size_t kMaxVcardHeaderBytes = 1024;

// Some text of a vCard's logical line, and whether the line ends after it.
struct VcardPiece {
  std::string_view text;  // holds no line end
  // When the logical line ends after `text`: the number (from 1) of the file's line where it
  // starts; 0 when the line goes on.
  std::int64_t ended_line = 0;
};

// Turns the text of a vCard file, given in any number of pieces, into its logical lines, as
// their numbers are to be searched: a line end (CR, LF or CR LF) followed by a space or tab
// is a fold, taken out with that space or tab; a quoted-printable value (ENCODING=
// QUOTED-PRINTABLE, or QUOTED-PRINTABLE alone, among the parameters) has its soft line
// breaks (= at a line's end) taken out and its =XX bytes decoded in its CHARSET (UTF-8
// unless it names BIG5 or CP950), line ends in it becoming spaces; in any other value, \n and
// \N (a line end) become spaces. The values of properties that hold no phone number (PHOTO,
// LOGO, SOUND, KEY, REV, BDAY, ANNIVERSARY, UID, PRODID, X-ABUID) are left out, their lines
// with them. A line without a colon is handed out as it is. It holds at most one piece of
// its input besides the start of a line before its colon (kMaxVcardHeaderBytes), so memory
// stays bounded however long a folded line is.
class VcardUnfolder {
 public:
  VcardUnfolder();
  ~VcardUnfolder();
  VcardUnfolder(const VcardUnfolder&) = delete;
  VcardUnfolder& operator=(const VcardUnfolder&) = delete;

  // The pieces of `text`, the next text of the file; valid until the next call.
  [[nodiscard]] std::span<const VcardPiece> unfold(std::string_view text);
  // The pieces left at the end of the file, its last line ended.
  [[nodiscard]] std::span<const VcardPiece> finish();
  // The number (from 1) of the file's line that the next byte given to unfold stands in.
  [[nodiscard]] std::int64_t next_byte_line() const { return lines_ + 1; }

 private:
  enum class Part { Header, Value, SkippedValue };
  enum class Break { None, AfterCr, Complete };

  void take(char byte);
  void take_in_line(char byte);
  void take_line_end(char byte);
  void take_value_byte(char byte);
  void take_escaped_byte(char byte);
  void begin_value();
  void flush_value();
  void end_line();
  void end_piece(std::int64_t ended_line);
  std::span<const VcardPiece> handed_out();

  Part part_ = Part::Header;
  Break break_ = Break::None;
  bool soft_break_ = false;  // the pending line end follows a quoted-printable =
  bool quoted_printable_ = false;
  bool after_backslash_ = false;          // a value not quoted-printable: a backslash came last
  bool in_line_ = false;                  // a byte of the logical line being read has been taken
  std::string header_;                    // the line before its colon
  std::string escape_;                    // a quoted-printable = and the hex digits after it so far
  std::string value_bytes_;               // of a quoted-printable value, not yet decoded
  std::unique_ptr<TextDecoder> decoder_;  // of the quoted-printable value
  std::int64_t lines_ = 0;                // line ends seen
  std::int64_t line_start_ = 1;           // of the logical line being read
  std::string text_;                      // of the pieces being handed out
  std::vector<std::pair<std::size_t, std::int64_t>> piece_ends_;  // in text_, and ended_line
  std::vector<VcardPiece> pieces_;
};

#endif  // CHANGE_UTF8_VCARD_UNFOLDER_H_

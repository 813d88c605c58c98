#ifndef CHANGE_UTF8_SHOWN_TEXT_H_
#define CHANGE_UTF8_SHOWN_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/utf8.h"

// Turns the bytes of one text, given in any number of pieces, into text that cannot drive a
// terminal nor hide what it holds. Each well-formed UTF-8 character is copied, except that a tab
// is shown as a space, and each other C0 control byte (00-1F), DEL (7F), C1 control character
// (U+0080 to U+009F) and invisible or direction-changing character (U+200B to U+200F, U+202A to
// U+202E, U+2060 to U+2064, U+2066 to U+2069, U+FEFF, U+E0000 to U+E007F) is shown as one `?`; each
// byte of ill-formed UTF-8 (a byte that starts no character, a truncated character, an overlong
// form, a surrogate, a code point beyond U+10FFFF) is shown as one `?` too. A character split
// between two pieces is kept whole. The state is a few bytes, whatever the text's length.
class ShownText {
 public:
  // Shows at most `max_characters` characters of each text, a `?` counting as one; the
  // characters after them are dropped, and `finish` then shows `...`.
  explicit ShownText(std::size_t max_characters = SIZE_MAX) : max_characters_(max_characters) {}

  // Appends the shown form of `piece`, the next bytes of the text, to `out`; an incomplete
  // character at its end is held back for the next piece. Nothing refers to `piece` or `out`
  // after the call.
  void append(std::string_view piece, std::string& out);

  // Ends the text: appends one `?` to `out` for each byte of a character left incomplete, then
  // `...` when characters were dropped, and starts afresh for the next text.
  void finish(std::string& out);

 private:
  struct Shown;  // what each part of the text becomes

  void show_printable_ascii(std::string_view run, std::string& out);
  void show(std::string_view character, std::string& out);
  void show_each_byte_as_question_mark(std::size_t count, std::string& out);

  std::size_t max_characters_;
  std::size_t characters_shown_ = 0;
  bool dropped_ = false;
  utf8::Walker<Shown> walker_;
};

// A note on standard error names a text (an entry of the list, an answer) by its first this
// many characters.
inline constexpr std::size_t kCharactersShownInANote = 32;

// `text` shown whole by ShownText, or its first `max_characters` characters then `...`.
std::string shown(std::string_view text, std::size_t max_characters = SIZE_MAX);

// `text` as a note names it: its first kCharactersShownInANote characters, then `...` when
// it has more, shown by ShownText.
std::string shown_in_a_note(std::string_view text);

#endif  // CHANGE_UTF8_SHOWN_TEXT_H_

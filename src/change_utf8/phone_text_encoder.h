#ifndef CHANGE_UTF8_PHONE_TEXT_ENCODER_H_
#define CHANGE_UTF8_PHONE_TEXT_ENCODER_H_

#include <string>
#include <string_view>

#include "core/utf8.h"

// Turns the bytes of one phone text, given in any number of pieces, into text that XML can
// carry: & < > become &amp; &lt; &gt;, and U+FFFD stands for each maximal subpart of
// ill-formed UTF-8, each C0 control byte but tab, line feed and carriage return, and each of
// the non-characters U+FFFE and U+FFFF. Every other byte is copied unchanged, and a character
// split between two pieces is kept whole.
class PhoneTextEncoder {
 public:
  // Appends `piece`, the next bytes of the phone text, to `out`; an incomplete character at
  // its end is held back for the next piece.
  void encode(std::string_view piece, std::string& out);

  // Ends the phone text: appends U+FFFD to `out` for a character left incomplete, and starts
  // afresh for the next phone text.
  void finish(std::string& out);

 private:
  struct Markup;  // what each part of the text becomes

  utf8::Walker<Markup> walker_;
};

#endif  // CHANGE_UTF8_PHONE_TEXT_ENCODER_H_

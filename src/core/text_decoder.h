#ifndef CHANGE_UTF8_TEXT_DECODER_H_
#define CHANGE_UTF8_TEXT_DECODER_H_

#include <string>
#include <string_view>

// Turns the bytes of one text in some encoding, given in any number of pieces, into UTF-8. A
// character split between two pieces is kept whole. The list reader feeds every list through
// one of these, whatever its encoding.
class TextDecoder {
 public:
  TextDecoder() = default;
  virtual ~TextDecoder() = default;
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  // Appends the UTF-8 of `bytes`, the next bytes of the text, to `utf8_out`; a character cut
  // short at the end of `bytes` is held back for the next call. Nothing refers to `bytes` or
  // `utf8_out` after the call.
  virtual void decode(std::string_view bytes, std::string& utf8_out) = 0;

  // Ends the text: appends what a character left cut short becomes (U+FFFD, where the
  // encoding replaces it).
  virtual void finish(std::string& utf8_out) = 0;
};

// Text taken as UTF-8: its bytes handed on as they are, ill-formed ones included, so that a
// list's entries are copied byte for byte.
class Utf8PassThrough : public TextDecoder {
 public:
  void decode(std::string_view bytes, std::string& utf8_out) override { utf8_out += bytes; }
  void finish(std::string& /*utf8_out*/) override {}
};

#endif  // CHANGE_UTF8_TEXT_DECODER_H_

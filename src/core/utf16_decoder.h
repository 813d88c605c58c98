#ifndef CHANGE_UTF8_UTF16_DECODER_H_
#define CHANGE_UTF8_UTF16_DECODER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "core/text_decoder.h"

// The order of the two bytes of each UTF-16 code unit: FF FE marks little endian, FE FF big.
enum class ByteOrder { LittleEndian, BigEndian };

// Turns UTF-16 text, given in any number of pieces, into UTF-8. A surrogate pair becomes its
// character; an unpaired surrogate (a low one alone, or a high one not followed by a low one)
// becomes U+FFFD, and the code unit after an unpaired high surrogate is decoded on its own;
// every other code unit, U+0000 included, becomes its UTF-8. A byte-order mark is decoded like
// any code unit (U+FEFF): the caller drops it before the first piece.
class Utf16Decoder : public TextDecoder {
 public:
  explicit Utf16Decoder(ByteOrder byte_order) : byte_order_(byte_order) {}

  // Appends the UTF-8 of the code units in `bytes`, the next bytes of the text, to `utf8_out`.
  // An odd byte at the end, and a high surrogate at the end waiting for its low surrogate, are
  // held back for the next call, so that a character split between two calls is kept whole.
  // Nothing refers to `bytes` or `utf8_out` after the call.
  void decode(std::string_view bytes, std::string& utf8_out) override;

  // Ends the text: appends U+FFFD for an odd last byte and for a high surrogate still waiting
  // for its low surrogate, and starts afresh for the next text in the same byte order.
  void finish(std::string& utf8_out) override;

 private:
  char16_t read_unit(unsigned char first, unsigned char second) const;
  char* decode_unit(char16_t unit, char* utf8);

  ByteOrder byte_order_;
  // The first byte of a code unit whose second byte has not come yet.
  bool has_odd_byte_ = false;
  unsigned char odd_byte_ = 0;
  // A high surrogate waiting for its low surrogate; 0 when none is waiting.
  char16_t pending_high_surrogate_ = 0;
};

#endif  // CHANGE_UTF8_UTF16_DECODER_H_

#ifndef CHANGE_UTF8_CP950_DECODER_H_
#define CHANGE_UTF8_CP950_DECODER_H_

#include <memory>
#include <string>
#include <string_view>

#include "core/text_decoder.h"

// Turns text in Big5 as Windows' code page 950 has it (glibc's iconv CP950), given in any
// number of pieces, into UTF-8. A byte that starts no character there becomes U+FFFD; without
// CP950 in the C library, every byte becomes `?`.
class Cp950Decoder : public TextDecoder {
 public:
  Cp950Decoder();

  void decode(std::string_view bytes, std::string& utf8_out) override;
  // Appends U+FFFD for a character left cut short.
  void finish(std::string& utf8_out) override;

 private:
  // Closes an iconv_t.
  struct ConverterCloser {
    void operator()(void* converter) const;
  };

  std::unique_ptr<void, ConverterCloser> converter_;  // iconv_t; null without CP950
  std::string held_;
};

#endif  // CHANGE_UTF8_CP950_DECODER_H_

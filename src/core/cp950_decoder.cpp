#include "core/cp950_decoder.h"

#include <iconv.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// CP950 takes at most two bytes for a character, and gives at most three bytes of UTF-8 for
// each byte it reads.
constexpr std::size_t kMostUtf8PerByte = 3;

}  // namespace

// iconv_open's failure, (iconv_t)-1, is kept as null.
Cp950Decoder::Cp950Decoder() {
  iconv_t converter = ::iconv_open("UTF-8", "CP950");
  if (reinterpret_cast<std::intptr_t>(converter) != -1) {
    converter_.reset(converter);
  }
}

void Cp950Decoder::ConverterCloser::operator()(void* converter) const {
  ::iconv_close(static_cast<iconv_t>(converter));
}

void Cp950Decoder::decode(std::string_view bytes, std::string& utf8_out) {
  held_ += bytes;
  if (!converter_) {  // no CP950 in this C library
    utf8_out.append(held_.size(), '?');
    held_.clear();
    return;
  }
  char* in = held_.data();
  std::size_t in_left = held_.size();
  const std::size_t old_size = utf8_out.size();
  utf8_out.resize(old_size + kMostUtf8PerByte * in_left);
  char* out = utf8_out.data() + old_size;
  std::size_t out_left = kMostUtf8PerByte * in_left;
  // iconv stops at a byte that starts no character, or before a character cut short by the
  // end of the bytes. CP950 takes at most two bytes for a character, so a stop with one byte
  // left is taken as a character cut short and held for the next call, without asking errno:
  // if that byte starts no character, the next call stops at it with more bytes after it (and
  // replaces it), or finish() replaces it; either way it gives one U+FFFD. The room given
  // suffices, so iconv never stops for want of it.
  while (in_left > 0) {
    if (::iconv(static_cast<iconv_t>(converter_.get()), &in, &in_left, &out, &out_left) !=
            static_cast<std::size_t>(-1) ||
        in_left == 1) {
      break;  // all converted, or one byte left to hold
    }
    // A byte that starts no character.
    const std::size_t written = utf8_out.size() - old_size - out_left;
    utf8_out.resize(utf8_out.size() + kReplacementCharacter.size());
    out = utf8_out.data() + old_size + written;
    out = std::copy(kReplacementCharacter.begin(), kReplacementCharacter.end(), out);
    ++in;
    --in_left;
  }
  utf8_out.resize(static_cast<std::size_t>(out - utf8_out.data()));
  held_.erase(0, held_.size() - in_left);
}

void Cp950Decoder::finish(std::string& utf8_out) {
  if (!held_.empty()) {
    utf8_out += kReplacementCharacter;
    held_.clear();
  }
}

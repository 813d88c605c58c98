#ifndef CHANGE_UTF8_UTF8_H_
#define CHANGE_UTF8_UTF8_H_

#include <cstddef>
#include <cstdint>

// The shape of well-formed UTF-8, for the units that take text apart character by character.
namespace utf8 {

// The number of bytes of the multi-byte UTF-8 character that `lead` begins; 0 when it begins
// none (an ASCII byte, a continuation byte, an overlong lead C0 or C1, or F5 and above,
// beyond U+10FFFF).
inline std::uint8_t multibyte_length(char lead) {
  const auto byte = static_cast<unsigned char>(lead);
  if (byte >= 0xC2 && byte <= 0xDF) {
    return 2;
  }
  if (byte >= 0xE0 && byte <= 0xEF) {
    return 3;
  }
  if (byte >= 0xF0 && byte <= 0xF4) {
    return 4;
  }
  return 0;
}

// Whether `next` can follow the first `held` bytes of a character that begins with `lead`.
// The second byte's range excludes overlong forms (after E0 and F0), surrogates (after ED)
// and code points beyond U+10FFFF (after F4).
inline bool continues_character(char lead, std::size_t held, char next) {
  unsigned char lowest = 0x80;
  unsigned char highest = 0xBF;
  if (held == 1) {
    switch (static_cast<unsigned char>(lead)) {
      case 0xE0:
        lowest = 0xA0;
        break;
      case 0xED:
        highest = 0x9F;
        break;
      case 0xF0:
        lowest = 0x90;
        break;
      case 0xF4:
        highest = 0x8F;
        break;
      default:
        break;
    }
  }
  const auto byte = static_cast<unsigned char>(next);
  return byte >= lowest && byte <= highest;
}

}  // namespace utf8

#endif  // CHANGE_UTF8_UTF8_H_

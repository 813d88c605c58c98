#include "core/utf16_decoder.h"

#include <algorithm>
#include <array>

#include "core/utf8.h"

namespace {

constexpr char16_t kFirstHighSurrogate = 0xD800;
constexpr char16_t kFirstLowSurrogate = 0xDC00;
constexpr char16_t kLastLowSurrogate = 0xDFFF;

// The code units decoded between two appends to the caller's string, and the most UTF-8 they
// can give: 3 bytes a code unit, and U+FFFD for a high surrogate left waiting before them.
constexpr std::size_t kUnitsPerChunk = 4096;
constexpr std::size_t kChunkUtf8Capacity = 3 * kUnitsPerChunk + 3;

bool is_high_surrogate(char16_t unit) {
  return unit >= kFirstHighSurrogate && unit < kFirstLowSurrogate;
}

bool is_low_surrogate(char16_t unit) {
  return unit >= kFirstLowSurrogate && unit <= kLastLowSurrogate;
}

// U+FFFD, written for an unpaired surrogate and an odd last byte.
char* put_replacement_character(char* utf8) {
  return utf8::encode(0xFFFD, utf8);
}

char32_t code_point_of_pair(char16_t high, char16_t low) {
  return 0x10000 + ((static_cast<char32_t>(high - kFirstHighSurrogate) << 10) |
                    static_cast<char32_t>(low - kFirstLowSurrogate));
}

}  // namespace

void Utf16Decoder::decode(std::string_view bytes, std::string& utf8_out) {
  std::array<char, kChunkUtf8Capacity> chunk;  // only what is written is read
  std::size_t next = 0;
  if (has_odd_byte_ && !bytes.empty()) {
    const auto second = static_cast<unsigned char>(bytes[0]);
    char* const end = decode_unit(read_unit(odd_byte_, second), chunk.data());
    utf8_out.append(chunk.data(), end);
    has_odd_byte_ = false;
    next = 1;
  }
  while (bytes.size() - next >= 2) {
    const std::size_t units = std::min((bytes.size() - next) / 2, kUnitsPerChunk);
    const auto* unit_bytes = reinterpret_cast<const unsigned char*>(bytes.data() + next);
    char* end = chunk.data();
    for (std::size_t i = 0; i < units; ++i, unit_bytes += 2) {
      const char16_t unit = read_unit(unit_bytes[0], unit_bytes[1]);
      // The fast path: an ASCII code unit, which is all of a list of numbers.
      if (unit < 0x80 && pending_high_surrogate_ == 0) {
        *end++ = static_cast<char>(unit);
      } else {
        end = decode_unit(unit, end);
      }
    }
    utf8_out.append(chunk.data(), end);
    next += 2 * units;
  }
  if (next < bytes.size()) {
    has_odd_byte_ = true;
    odd_byte_ = static_cast<unsigned char>(bytes[next]);
  }
}

void Utf16Decoder::finish(std::string& utf8_out) {
  std::array<char, 6> tail{};
  char* end = tail.data();
  if (pending_high_surrogate_ != 0) {
    end = put_replacement_character(end);
    pending_high_surrogate_ = 0;
  }
  if (has_odd_byte_) {
    end = put_replacement_character(end);
    has_odd_byte_ = false;
  }
  utf8_out.append(tail.data(), end);
}

char16_t Utf16Decoder::read_unit(unsigned char first, unsigned char second) const {
  if (byte_order_ == ByteOrder::LittleEndian) {
    return static_cast<char16_t>(first | (second << 8));
  }
  return static_cast<char16_t>((first << 8) | second);
}

// Writes the UTF-8 that `unit` completes at `utf8` and returns the end of what it wrote: U+FFFD
// first when a high surrogate waits for a low one and `unit` is not one.
char* Utf16Decoder::decode_unit(char16_t unit, char* utf8) {
  if (pending_high_surrogate_ != 0) {
    const char16_t high = pending_high_surrogate_;
    pending_high_surrogate_ = 0;
    if (is_low_surrogate(unit)) {
      return utf8::encode(code_point_of_pair(high, unit), utf8);
    }
    utf8 = put_replacement_character(utf8);
  }
  if (is_high_surrogate(unit)) {
    pending_high_surrogate_ = unit;
    return utf8;
  }
  if (is_low_surrogate(unit)) {
    return put_replacement_character(utf8);
  }
  return utf8::encode(unit, utf8);
}

#ifndef CHANGE_UTF8_UTF8_H_
#define CHANGE_UTF8_UTF8_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The shape of well-formed UTF-8, for the units that take text apart character by character,
// and the one encoder of a code point.
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

// The length of the well-formed UTF-8 character at the start of `text`: 1 for an ASCII byte,
// 2 to 4 for a multi-byte character; 0 when the bytes there are ill-formed: a byte that
// begins no character, or a character cut short by a byte that cannot continue it or by the
// end of `text`. REQUIRES: `text` is not empty.
inline std::size_t character_length(std::string_view text) {
  if (static_cast<unsigned char>(text[0]) < 0x80) {
    return 1;
  }
  const std::size_t length = multibyte_length(text[0]);
  if (length == 0 || length > text.size()) {
    return 0;
  }
  for (std::size_t held = 1; held < length; ++held) {
    if (!continues_character(text[0], held, text[held])) {
      return 0;
    }
  }
  return length;
}

// The bytes from the start of `text` to its next character: a well-formed character, or one
// byte of ill-formed UTF-8, which counts as a character of its own (ShownText shows it as one
// `?`). REQUIRES: `text` is not empty.
inline std::size_t step_length(std::string_view text) {
  const std::size_t length = character_length(text);
  return length == 0 ? 1 : length;
}

// Writes the UTF-8 of `code_point`, 1 to 4 bytes, at `out` and returns the end of what it
// wrote. REQUIRES: `code_point` is at most U+10FFFF and not a surrogate.
inline char* encode(char32_t code_point, char* out) {
  if (code_point < 0x80) {
    *out++ = static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code_point >> 6));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code_point >> 12));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code_point >> 18));
    *out++ = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
  }
  return out;
}

// Appends the UTF-8 of `code_point` to `text`. REQUIRES: as for encode.
inline void append(char32_t code_point, std::string& text) {
  std::array<char, 4> bytes{};
  text.append(bytes.data(), encode(code_point, bytes.data()));
}

// The code point of `character`, one whole well-formed UTF-8 character.
inline char32_t code_point(std::string_view character) {
  const auto lead = static_cast<unsigned char>(character[0]);
  if (character.size() == 1) {
    return lead;
  }
  char32_t point = lead & (0x7Fu >> character.size());  // the bits after the lead's length bits
  for (const char next : character.substr(1)) {
    point = point << 6 | (static_cast<unsigned char>(next) & 0x3Fu);
  }
  return point;
}

// Walks text given in any number of pieces character by character, keeping a character split
// between two pieces whole; a policy says what each part of the text becomes. It hands the
// policy, in order:
//   plain(run): a run of bytes for which is_plain(byte) is true (ASCII bytes only);
//   other(byte): an ASCII byte that is not plain, or a byte that begins no character;
//   character(bytes): a whole well-formed multi-byte character;
//   ill_formed(count): the first `count` bytes of a character that was cut short.
// It stops walking a piece once the policy's done() is true. The state is a few bytes.
template <typename Policy>
class Walker {
 public:
  // Walks `piece`, the next bytes of the text; an incomplete character at its end is held
  // back for the next piece.
  void walk(std::string_view piece, Policy& policy) {
    std::size_t next = 0;
    while (next < piece.size() && !policy.done()) {
      if (held_size_ > 0) {
        continue_character(piece[next++], policy);
        continue;
      }
      // The fast path: a run of plain bytes, which is all of a phone number.
      std::size_t run_end = next;
      while (run_end < piece.size() && policy.is_plain(piece[run_end])) {
        ++run_end;
      }
      policy.plain(piece.substr(next, run_end - next));
      if (run_end == piece.size()) {
        break;
      }
      begin_character(piece[run_end], policy);
      next = run_end + 1;
    }
  }

  // Ends the text: a character left incomplete is handed over as ill-formed.
  void finish(Policy& policy) {
    if (held_size_ > 0) {
      policy.ill_formed(held_size_);
      held_size_ = 0;
    }
  }

 private:
  void begin_character(char byte, Policy& policy) {
    if (multibyte_length(byte) > 0) {
      held_[0] = byte;
      held_size_ = 1;
    } else {
      policy.other(byte);
    }
  }

  // The next byte after an incomplete character: it completes or continues the character, or
  // ends it as ill-formed and starts afresh.
  void continue_character(char byte, Policy& policy) {
    if (!continues_character(held_[0], held_size_, byte)) {
      finish(policy);
      if (policy.is_plain(byte)) {
        policy.plain(std::string_view(&byte, 1));
      } else {
        begin_character(byte, policy);
      }
      return;
    }
    held_[held_size_++] = byte;
    if (held_size_ == multibyte_length(held_[0])) {
      policy.character(std::string_view(held_, held_size_));
      held_size_ = 0;
    }
  }

  char held_[4] = {};
  std::uint8_t held_size_ = 0;
};

// Finds whether texts, each given in any number of pieces, hold bytes that are not well-formed
// UTF-8 (as Big5 text does), a character cut by the end of a text included. Pieces of ASCII
// cost one quick pass; once such bytes are found, nothing more is looked at.
class IllFormedSearch {
 public:
  // Takes `piece`, the next bytes of the current text.
  void add(std::string_view piece) {
    if (found_ || (!walking_ && is_ascii(piece))) {
      return;
    }
    walking_ = true;  // a character may go on in the next piece: walk the rest of the text
    Finding finding{found_};
    walker_.walk(piece, finding);
  }

  // Ends the current text: a character left incomplete is ill-formed.
  void end_text() {
    if (walking_) {  // else nothing of the text was walked, nor held back
      Finding finding{found_};
      walker_.finish(finding);
      walking_ = false;
    }
  }

  // Whether any text so far held bytes that are not well-formed UTF-8.
  [[nodiscard]] bool found() const { return found_; }

 private:
  struct Finding {
    bool& found;
    [[nodiscard]] bool done() const { return found; }
    static bool is_plain(char byte) { return static_cast<unsigned char>(byte) < 0x80; }
    static void plain(std::string_view /*run*/) {}
    // Not plain: a byte from 0x80 that begins no character.
    void other(char /*byte*/) const { found = true; }
    static void character(std::string_view /*character*/) {}
    void ill_formed(std::size_t /*count*/) const { found = true; }
  };

  // Whether every byte of `text` is ASCII; no early exit, so the compiler can vectorise it.
  static bool is_ascii(std::string_view text) {
    unsigned char all_bits = 0;
    for (const char byte : text) {
      all_bits |= static_cast<unsigned char>(byte);
    }
    return all_bits < 0x80;
  }

  Walker<Finding> walker_;
  bool walking_ = false;
  bool found_ = false;
};

}  // namespace utf8

#endif  // CHANGE_UTF8_UTF8_H_

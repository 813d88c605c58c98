#include "phone_text.h"

#include <array>

#include "utf8.h"

namespace {

// The bytes of a phone text that markup gives a meaning to, and the entities written instead.
struct Entity {
  char byte;
  std::string_view text;
};
constexpr Entity kEntities[] = {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}};

// U+FFFD, written for what XML cannot carry.
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// ASCII bytes that XML text can carry as they are: all but the entities' bytes and the C0
// controls other than tab, line feed and carriage return. Every byte from 0x80 is part of a
// UTF-8 sequence and must be checked first.
constexpr std::array<bool, 256> make_copied_as_is_table() {
  std::array<bool, 256> table{};
  for (int byte = 0; byte < 0x80; ++byte) {
    table[byte] = byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r';
  }
  for (const Entity& entity : kEntities) {
    table[static_cast<unsigned char>(entity.byte)] = false;
  }
  return table;
}
constexpr std::array<bool, 256> kCopiedAsIs = make_copied_as_is_table();

bool is_copied_as_is(char byte) {
  return kCopiedAsIs[static_cast<unsigned char>(byte)];
}

// The entity written for `byte`; empty when it needs none.
std::string_view entity_for(char byte) {
  for (const Entity& entity : kEntities) {
    if (entity.byte == byte) {
      return entity.text;
    }
  }
  return {};
}

// U+FFFE and U+FFFF, which XML does not allow.
bool is_xml_noncharacter(std::string_view character) {
  return character == "\xEF\xBF\xBE" || character == "\xEF\xBF\xBF";
}

}  // namespace

void PhoneTextEncoder::encode(std::string_view piece, std::string& out) {
  std::size_t next = 0;
  while (next < piece.size()) {
    if (partial_size_ > 0) {
      continue_character(piece[next++], out);
      continue;
    }
    // The fast path: a run of bytes copied as they are, which is all of an ASCII number.
    std::size_t run_end = next;
    while (run_end < piece.size() && is_copied_as_is(piece[run_end])) {
      ++run_end;
    }
    out.append(piece.substr(next, run_end - next));
    if (run_end == piece.size()) {
      break;
    }
    append_special_byte(piece[run_end], out);
    next = run_end + 1;
  }
}

// An incomplete character that nothing can complete: one U+FFFD for all its bytes.
void PhoneTextEncoder::finish(std::string& out) {
  if (partial_size_ > 0) {
    out += kReplacementCharacter;
    partial_size_ = 0;
  }
}

// `byte` is not copied as it is: an entity, the start of a UTF-8 character, or a replacement.
void PhoneTextEncoder::append_special_byte(char byte, std::string& out) {
  if (const std::string_view entity = entity_for(byte); !entity.empty()) {
    out += entity;
  } else if (utf8::multibyte_length(byte) > 0) {
    partial_[0] = byte;
    partial_size_ = 1;
  } else {
    out += kReplacementCharacter;
  }
}

// The next byte after an incomplete character: it completes or continues the character, or
// ends it as ill-formed and starts afresh.
void PhoneTextEncoder::continue_character(char byte, std::string& out) {
  if (!utf8::continues_character(partial_[0], partial_size_, byte)) {
    finish(out);
    if (is_copied_as_is(byte)) {
      out += byte;
    } else {
      append_special_byte(byte, out);
    }
    return;
  }
  partial_[partial_size_++] = byte;
  if (partial_size_ == utf8::multibyte_length(partial_[0])) {
    const std::string_view character(partial_, partial_size_);
    out += is_xml_noncharacter(character) ? kReplacementCharacter : character;
    partial_size_ = 0;
  }
}

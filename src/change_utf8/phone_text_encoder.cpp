#include "change_utf8/phone_text_encoder.h"

#include <array>

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

struct PhoneTextEncoder::Markup {
  std::string& out;

  static bool done() { return false; }
  static bool is_plain(char byte) { return is_copied_as_is(byte); }
  void plain(std::string_view run) const { out.append(run); }
  // An entity, or a replacement for a byte XML cannot carry.
  void other(char byte) const {
    const std::string_view entity = entity_for(byte);
    out += entity.empty() ? kReplacementCharacter : entity;
  }
  void character(std::string_view character) const {
    out += is_xml_noncharacter(character) ? kReplacementCharacter : character;
  }
  // One U+FFFD for all the bytes of a character cut short.
  void ill_formed(std::size_t /*count*/) const { out += kReplacementCharacter; }
};

void PhoneTextEncoder::encode(std::string_view piece, std::string& out) {
  Markup markup{out};
  walker_.walk(piece, markup);
}

void PhoneTextEncoder::finish(std::string& out) {
  Markup markup{out};
  walker_.finish(markup);
}

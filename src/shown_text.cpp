#include "shown_text.h"

namespace {

// Shown for a control character and for each byte of ill-formed UTF-8.
constexpr std::string_view kQuestionMark = "?";
// Shown after the characters of a text when some were dropped.
constexpr std::string_view kEllipsis = "...";

bool is_printable_ascii(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return value >= 0x20 && value <= 0x7E;
}

// U+0080 to U+009F, whose UTF-8 is C2 80 to C2 9F.
bool is_c1_control(std::string_view character) {
  return character.size() == 2 && character[0] == '\xC2' &&
         static_cast<unsigned char>(character[1]) <= 0x9F;
}

}  // namespace

struct ShownText::Shown {
  ShownText& text;
  std::string& out;

  [[nodiscard]] bool done() const { return text.dropped_; }
  static bool is_plain(char byte) { return is_printable_ascii(byte); }
  void plain(std::string_view run) const { text.show_printable_ascii(run, out); }
  // A C0 control byte, DEL or a byte that starts no character.
  void other(char /*byte*/) const { text.show(kQuestionMark, out); }
  void character(std::string_view character) const {
    text.show(is_c1_control(character) ? kQuestionMark : character, out);
  }
  void ill_formed(std::size_t count) const { text.show_each_byte_as_question_mark(count, out); }
};

void ShownText::append(std::string_view piece, std::string& out) {
  Shown shown{*this, out};
  walker_.walk(piece, shown);
}

void ShownText::finish(std::string& out) {
  Shown shown{*this, out};
  walker_.finish(shown);
  if (dropped_) {
    out += kEllipsis;
  }
  characters_shown_ = 0;
  dropped_ = false;
}

// Shows the characters of `run`, one a byte, as far as the limit allows.
void ShownText::show_printable_ascii(std::string_view run, std::string& out) {
  const std::size_t room = max_characters_ - characters_shown_;
  if (run.size() > room) {
    run = run.substr(0, room);
    dropped_ = true;
  }
  out += run;
  characters_shown_ += run.size();
}

// Shows one character, or drops it when the limit has been reached.
void ShownText::show(std::string_view character, std::string& out) {
  if (characters_shown_ == max_characters_) {
    dropped_ = true;
    return;
  }
  out += character;
  ++characters_shown_;
}

void ShownText::show_each_byte_as_question_mark(std::size_t count, std::string& out) {
  for (std::size_t i = 0; i < count; ++i) {
    show(kQuestionMark, out);
  }
}

std::string shown_in_a_note(std::string_view text) {
  std::string shown;
  ShownText shown_text(kCharactersShownInANote);
  shown_text.append(text, shown);
  shown_text.finish(shown);
  return shown;
}

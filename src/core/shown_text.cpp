#include "core/shown_text.h"

#include <algorithm>
#include <iterator>

namespace {

// Shown for a control character and for each byte of ill-formed UTF-8.
constexpr std::string_view kQuestionMark = "?";
// Shown after the characters of a text when some were dropped.
constexpr std::string_view kEllipsis = "...";

bool is_printable_ascii(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return value >= 0x20 && value <= 0x7E;
}

// Characters beyond ASCII that a note must not show as they are: the C1 controls, and the
// characters that show nothing or change the direction of what follows (zero-width spaces and
// joiners, direction marks, embeddings, overrides and isolates, invisible operators, the
// byte-order mark U+FEFF, tag characters). Shown as they are, they would hide what a text
// holds: U+FEFF before a number looks like nothing at all.
bool is_hidden(char32_t code_point) {
  constexpr struct {
    char32_t first;
    char32_t last;
  } kHidden[] = {{0x80, 0x9F},     {0x200B, 0x200F}, {0x202A, 0x202E},  {0x2060, 0x2064},
                 {0x2066, 0x2069}, {0xFEFF, 0xFEFF}, {0xE0000, 0xE007F}};
  return std::any_of(std::begin(kHidden), std::end(kHidden), [code_point](const auto& range) {
    return code_point >= range.first && code_point <= range.last;
  });
}

}  // namespace

struct ShownText::Shown {
  ShownText& text;
  std::string& out;

  [[nodiscard]] bool done() const { return text.dropped_; }
  static bool is_plain(char byte) { return is_printable_ascii(byte); }
  void plain(std::string_view run) const { text.show_printable_ascii(run, out); }
  // A C0 control byte, DEL or a byte that starts no character: a tab as the space it looks like.
  void other(char byte) const { text.show(byte == '\t' ? " " : kQuestionMark, out); }
  void character(std::string_view character) const {
    text.show(is_hidden(utf8::code_point(character)) ? kQuestionMark : character, out);
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

std::string shown(std::string_view text, std::size_t max_characters) {
  std::string out;
  ShownText shown_text(max_characters);
  shown_text.append(text, out);
  shown_text.finish(out);
  return out;
}

std::string shown_in_a_note(std::string_view text) {
  return shown(text, kCharactersShownInANote);
}

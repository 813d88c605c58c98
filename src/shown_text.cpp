#include "shown_text.h"

#include "utf8.h"

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

void ShownText::append(std::string_view piece, std::string& out) {
  std::size_t next = 0;
  while (next < piece.size() && !dropped_) {
    if (partial_size_ > 0) {
      continue_character(piece[next++], out);
      continue;
    }
    // The fast path: a run of printable ASCII, which is all of a phone number.
    std::size_t run_end = next;
    while (run_end < piece.size() && is_printable_ascii(piece[run_end])) {
      ++run_end;
    }
    show_printable_ascii(piece.substr(next, run_end - next), out);
    if (run_end == piece.size()) {
      break;
    }
    append_special_byte(piece[run_end], out);
    next = run_end + 1;
  }
}

void ShownText::finish(std::string& out) {
  show_each_byte_as_question_mark(partial_size_, out);
  if (dropped_) {
    out += kEllipsis;
  }
  characters_shown_ = 0;
  dropped_ = false;
  partial_size_ = 0;
}

// `byte` is not printable ASCII: the start of a UTF-8 character, or a C0 control byte, DEL or
// a byte that starts no character, each shown as `?`.
void ShownText::append_special_byte(char byte, std::string& out) {
  if (utf8::multibyte_length(byte) > 0) {
    partial_[0] = byte;
    partial_size_ = 1;
  } else {
    show(kQuestionMark, out);
  }
}

// The next byte after an incomplete character: it completes or continues the character, or
// shows the held bytes as ill-formed and starts afresh with itself.
void ShownText::continue_character(char byte, std::string& out) {
  if (!utf8::continues_character(partial_[0], partial_size_, byte)) {
    show_each_byte_as_question_mark(partial_size_, out);
    partial_size_ = 0;
    if (is_printable_ascii(byte)) {
      show(std::string_view(&byte, 1), out);
    } else {
      append_special_byte(byte, out);
    }
    return;
  }
  partial_[partial_size_++] = byte;
  if (partial_size_ == utf8::multibyte_length(partial_[0])) {
    const std::string_view character(partial_, partial_size_);
    show(is_c1_control(character) ? kQuestionMark : character, out);
    partial_size_ = 0;
  }
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

#ifndef CHANGE_UTF8_ENTRY_SPLITTER_H_
#define CHANGE_UTF8_ENTRY_SPLITTER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/text_rules.h"

// A piece of an entry: an entry given in pieces may begin in one text and end in a later one.
struct EntryPiece {
  std::string_view bytes;  // the entry's next bytes; empty only for an entry ended by end()
  std::int64_t line = 0;   // the line the entry begins on, from 1 (see EntrySplitter)
  bool begins_entry = false;
  bool ends_entry = false;
};

// Splits text, given in pieces, into entries: the runs of bytes between ASCII white space
// (is_ascii_space). It keeps
// no bytes of its own; the pieces it hands out are views of the text given. Lines are counted
// as any editor counts them (ends_line).
class EntrySplitter {
 public:
  // Makes `text`, the list's next text, the text to split; it must outlive its pieces.
  // REQUIRES: the text given before is used up (next() returned nullopt).
  void give(std::string_view text) { text_ = text; }

  // The next piece of an entry in the text given; nullopt when the text is used up. An entry
  // at the end of the text stays open and goes on in the next text.
  [[nodiscard]] std::optional<EntryPiece> next() {
    if (!at_entry()) {
      return std::nullopt;
    }
    const bool begins = !entry_open_;
    after_carriage_return_ = false;
    if (begins) {
      entry_open_ = true;
      entry_line_ = line_;
    }
    std::size_t end = 0;
    while (end < text_.size() && !is_ascii_space(text_[end])) {
      ++end;
    }
    const bool ends = end < text_.size();
    entry_open_ = !ends;
    const EntryPiece piece{text_.substr(0, end), entry_line_, begins, ends};
    text_.remove_prefix(end);
    return piece;
  }

  // Skips the separators at the start of the text given. Returns whether an entry goes on or
  // begins in it.
  [[nodiscard]] bool at_entry() {
    if (entry_open_) {
      return !text_.empty();
    }
    std::size_t next = 0;
    for (; next < text_.size() && is_ascii_space(text_[next]); ++next) {
      const char byte = text_[next];
      line_ += ends_line(byte, after_carriage_return_) ? 1 : 0;
      after_carriage_return_ = byte == '\r';
    }
    text_.remove_prefix(next);
    return !text_.empty();
  }

  // The piece that ends the entry left open at the end of the text: the text has ended.
  // Nullopt when no entry is open.
  [[nodiscard]] std::optional<EntryPiece> end();

 private:
  std::string_view text_;
  std::int64_t line_ = 1;  // of the text at its next byte
  std::int64_t entry_line_ = 0;
  bool entry_open_ = false;
  bool after_carriage_return_ = false;  // the last separator was CR: a line feed ends no line
};

#endif  // CHANGE_UTF8_ENTRY_SPLITTER_H_

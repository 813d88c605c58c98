#include "entry_splitter.h"

std::optional<EntryPiece> EntrySplitter::next() {
  if (!at_entry()) {
    return std::nullopt;
  }
  const bool begins = !entry_open_;
  if (begins) {
    entry_open_ = true;
    entry_line_ = line_;
  }
  std::size_t end = 0;
  while (end < text_.size() && !is_entry_separator(text_[end])) {
    ++end;
  }
  const bool ends = end < text_.size();
  entry_open_ = !ends;
  const EntryPiece piece{text_.substr(0, end), entry_line_, begins, ends};
  text_.remove_prefix(end);
  return piece;
}

bool EntrySplitter::at_entry() {
  if (entry_open_) {
    return !text_.empty();
  }
  std::size_t next = 0;
  for (; next < text_.size() && is_entry_separator(text_[next]); ++next) {
    line_ += text_[next] == '\n' ? 1 : 0;
  }
  text_.remove_prefix(next);
  return !text_.empty();
}

std::optional<EntryPiece> EntrySplitter::end() {
  if (!entry_open_) {
    return std::nullopt;
  }
  entry_open_ = false;
  return EntryPiece{{}, entry_line_, false, true};
}

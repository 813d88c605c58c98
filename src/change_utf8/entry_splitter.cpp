#include "change_utf8/entry_splitter.h"

std::optional<EntryPiece> EntrySplitter::end() {
  if (!entry_open_) {
    return std::nullopt;
  }
  entry_open_ = false;
  return EntryPiece{{}, entry_line_, false, true};
}

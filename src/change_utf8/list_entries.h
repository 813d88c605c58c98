#ifndef CHANGE_UTF8_LIST_ENTRIES_H_
#define CHANGE_UTF8_LIST_ENTRIES_H_

#include <cstddef>
#include <optional>

#include "change_utf8/entry_splitter.h"
#include "core/failure.h"
#include "core/file_system.h"
#include "core/list_reader.h"

// A list's entries with the line each begins on: its text, as a ListReader hands it out,
// split by an EntrySplitter.
class ListEntries {
 public:
  // Reads through `files`, which must outlive it, at most `block_size` bytes a read. A ZIP
  // archive or another file that is not plain text opens, and its reader says so.
  // REQUIRES: block_size >= 1.
  ListEntries(FileSystem& files, std::size_t block_size)
      : reader_(files, block_size, {.zip_archives = true, .binary_files = true}) {}

  // The list's text, to open it and ask about it.
  [[nodiscard]] ListReader& reader() { return reader_; }

  // Reads on to the first byte of the next entry, leaving it unread. Returns whether there is
  // one; false also when a read failed (failure() then says why).
  // REQUIRES: the list is open.
  [[nodiscard]] bool find_entry();

  // The next piece of an entry, its bytes valid until the next call; nullopt when the list
  // has ended or a read failed (failure() then says why).
  // REQUIRES: the list is open, and neither call returned nullopt or false for a failure.
  [[nodiscard]] std::optional<EntryPiece> next() {
    while (true) {
      if (std::optional<EntryPiece> piece = splitter_.next()) {
        return piece;
      }
      if (ended_) {
        return failure_ ? std::nullopt : splitter_.end();
      }
      split_next_block();
    }
  }

  // Why reading the list failed; nullopt while it has not.
  [[nodiscard]] const std::optional<Failure>& failure() const { return failure_; }

 private:
  void split_next_block();

  ListReader reader_;
  EntrySplitter splitter_;
  bool ended_ = false;  // the list's last block was handed to the splitter, or a read failed
  std::optional<Failure> failure_;
};

#endif  // CHANGE_UTF8_LIST_ENTRIES_H_

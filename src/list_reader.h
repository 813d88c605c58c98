#ifndef CHANGE_UTF8_LIST_READER_H_
#define CHANGE_UTF8_LIST_READER_H_

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entry_splitter.h"
#include "failure.h"
#include "file_system.h"
#include "utf16_text.h"

// The list is read in blocks of this many bytes; a phone number may span blocks.
inline constexpr std::size_t kListBlockSize = std::size_t{256} * 1024;

// The list's first bytes, up to this many, are judged together before any of it is handed out.
inline constexpr std::size_t kJudgedStartSize = 4096;

// A block of the list's text, or why reading it failed.
struct ListBlock {
  std::string_view text;           // empty at the end of the list
  std::optional<Failure> failure;  // set when a read failed; the list then ends here
};

// Reads a phone list as UTF-8 text, block by block: opens it, judges its start, and hands out
// its text until the end or a failed read. Its failures name the list as it was given.
//
// A list that begins with a UTF-16 byte-order mark (FF FE little endian, FE FF big endian, as
// "Unicode" text from Notepad or a spreadsheet) is decoded to UTF-8 (Utf16Decoder); any other
// list is handed out as it is, a UTF-8 byte-order mark left out.
class ListReader {
 public:
  // Reads through `files`, which must outlive the reader, at most `block_size` bytes a read.
  // REQUIRES: block_size >= 1.
  ListReader(FileSystem& files, std::size_t block_size);
  // Closes the list.
  ~ListReader();

  ListReader(const ListReader&) = delete;
  ListReader& operator=(const ListReader&) = delete;

  // Opens the list at `path` and, before reading a byte of it, learns what it is; then reads
  // its first kJudgedStartSize bytes (or all of it, if it is shorter) in full, however the
  // reads split them. Fails when `path` holds a NUL byte (no file has such a name), when the
  // list cannot be opened, what it is cannot be known, it is `answers_file` (the file the
  // answers come from, if known, whose reading would take the answers away) or a terminal
  // (reading would wait for typing), when it cannot be read, or is not plain text: a NUL byte
  // among those bytes, as in UTF-16 text without a byte-order mark or in a spreadsheet's own
  // format, never is; nor, in UTF-16 text, a U+0000 code unit among them, as in UTF-32 text.
  // REQUIRES: open has not been called.
  [[nodiscard]] std::optional<Failure> open(const std::filesystem::path& path,
                                            std::optional<FileIdentity> answers_file = {});

  // The open list as the file system knows it.
  // REQUIRES: open succeeded.
  [[nodiscard]] FileIdentity identity() const { return identity_; }

  // The list's first bytes as open read them, at most kJudgedStartSize, also when open
  // refused them as not plain text; empty when open could not read them. Valid until the
  // first call of next_block.
  [[nodiscard]] std::string_view start() const { return start_; }

  // The list's name as it was given to open, shown as a note shows text (ShownText: a control
  // character or a byte of ill-formed UTF-8 as `?`), which its failures and notes name.
  [[nodiscard]] const std::string& name() const { return name_; }

  // The next block of the list's text, from at most `block_size` bytes of the list, as UTF-8;
  // the byte-order mark is left out. The text stays valid until the next call.
  // REQUIRES: open succeeded.
  [[nodiscard]] ListBlock next_block();

 private:
  [[nodiscard]] std::optional<Failure> read_start();
  [[nodiscard]] std::optional<Failure> judge_start();
  [[nodiscard]] ListBlock next_bytes();

  [[nodiscard]] std::optional<Failure> refuse_unusable_kind(
      std::optional<FileIdentity> answers_file);

  FileSystem& files_;
  const std::size_t block_size_;
  std::string name_;  // as shown, for failures
  int fd_ = -1;
  FileIdentity identity_{};
  std::vector<char> buffer_;
  std::string_view start_;             // the judged start as read
  std::string_view start_left_;        // of the judged start, not yet handed out
  std::optional<Utf16Decoder> utf16_;  // set for a UTF-16 list
  bool utf16_finished_ = false;
  std::string decoded_;  // the text of the last block of a UTF-16 list
};

// A list's entries with the line each begins on: its text, as a ListReader hands it out,
// split by an EntrySplitter.
class ListEntries {
 public:
  // Reads through `files`, which must outlive it, at most `block_size` bytes a read.
  // REQUIRES: block_size >= 1.
  ListEntries(FileSystem& files, std::size_t block_size) : reader_(files, block_size) {}

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

#endif  // CHANGE_UTF8_LIST_READER_H_

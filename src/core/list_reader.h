#ifndef CHANGE_UTF8_LIST_READER_H_
#define CHANGE_UTF8_LIST_READER_H_

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/failure.h"
#include "core/file_system.h"
#include "core/text_decoder.h"
#include "core/utf8.h"

// The list is read in blocks of this many bytes; a phone number may span blocks.
inline constexpr std::size_t kListBlockSize = std::size_t{256} * 1024;

// The list's first bytes, up to this many, are judged together before any of it is handed out:
// its byte-order mark, a ZIP archive's signature, NUL bytes.
inline constexpr std::size_t kJudgedStartSize = 4096;

// Of a list that may be in Big5 and is read as it comes (standard input, a pipe), the first this
// many bytes of its text must be well-formed UTF-8 for it to be read as UTF-8.
inline constexpr std::size_t kJudgedUtf8Size = std::size_t{64} * 1024;

// Whether `text` is well-formed UTF-8, but for a character that `text` cuts short at its end.
bool starts_as_utf8(std::string_view text);

// What a reader makes of a list besides UTF-8 and UTF-16 text. extract_phone_numbers takes
// ZIP archives and Big5; change_utf8 takes neither, but learns of a ZIP archive or another
// file that is not plain text, to advise the program that reads it.
struct ListFormats {
  // A list that starts as a ZIP archive (its first bytes "PK\3\4", as a spreadsheet's) is not
  // refused as not plain text: open succeeds and zip_archive() says so.
  bool zip_archives = false;
  // Likewise a list that starts as a compound file (its first bytes D0 CF 11 E0 A1 B1 1A E1, as
  // an Excel 97-2003 workbook's): compound_file() says so.
  bool compound_files = false;
  // A list without a UTF-16 byte-order mark whose text is not well-formed UTF-8 is decoded
  // from Big5 (CP950) throughout: all of its text judged, when it is a regular file; else its
  // first kJudgedUtf8Size bytes (starts_as_utf8), and a later byte that is not UTF-8 is read
  // as U+FFFD (ListBlock::not_utf8_from).
  bool big5 = false;
  // A list that is not plain text (see open) is not refused: open succeeds and
  // binary_file() says so, for the caller to give its own reason.
  bool binary_files = false;
};

// A block of the list's text, or why reading it failed.
struct ListBlock {
  std::string_view text;           // empty at the end of the list
  std::optional<Failure> failure;  // set when a read failed; the list then ends here
  // Where in `text` the list's first byte that is not UTF-8 stood, read as U+FFFD, in a list
  // read as UTF-8 where Big5 is taken: set in one block of the list at most.
  std::optional<std::size_t> not_utf8_from;
};

// The one way a list file comes in: opened once, its first bytes judged once, then its text
// handed out block by block as UTF-8 until the end or a failed read, or (when its formats
// allow) its open descriptor handed on to the archive or workbook reader. Its failures name the
// list as it was given, shown as a note shows text.
//
// A list that begins with a UTF-16 byte-order mark (FF FE little endian, FE FF big endian, as
// "Unicode" text from Notepad or a spreadsheet) is decoded from UTF-16 (Utf16Decoder); a list
// in Big5, where its formats allow, from CP950 (Cp950Decoder); any other list is handed out as
// it is, a UTF-8 byte-order mark left out.
class ListReader {
 public:
  // Reads through `files`, which must outlive the reader, at most `block_size` bytes a read.
  // REQUIRES: block_size >= 1.
  ListReader(FileSystem& files, std::size_t block_size, ListFormats formats = {});
  // Closes the list, unless its descriptor was handed on.
  ~ListReader();

  ListReader(const ListReader&) = delete;
  ListReader& operator=(const ListReader&) = delete;

  // Opens the list at `path` and, before reading a byte of it, learns what it is; then reads
  // its first kJudgedStartSize bytes (or all of it, if it is shorter) in full, however the
  // reads split them, and judges them. Fails when `path` holds a NUL byte (no file has such a
  // name), when the list cannot be opened, what it is cannot be known, it is `answers_file`
  // (the file the answers come from, if known, whose reading would take the answers away) or
  // a terminal (reading would wait for typing), when it cannot be read, or is not plain text:
  // a NUL byte among those bytes, as in UTF-16 text without a byte-order mark or in a
  // spreadsheet's own format, never is; nor, in UTF-16 text, a U+0000 code unit among them,
  // as in UTF-32 text. Where Big5 is taken (see ListFormats), a regular file is read through
  // once to judge its text, and a stream has kJudgedUtf8Size bytes read.
  // REQUIRES: open has not been called.
  [[nodiscard]] std::optional<Failure> open(const std::filesystem::path& path,
                                            std::optional<FileIdentity> answers_file = {});

  // The open list as the file system knows it.
  // REQUIRES: open succeeded.
  [[nodiscard]] FileIdentity identity() const { return identity_; }

  // The list's name as it was given to open, shown as a note shows text (ShownText: a control
  // character or a byte of ill-formed UTF-8 as `?`), which its failures and notes name.
  [[nodiscard]] const std::string& name() const { return name_; }

  // Whether open found the list to start as a ZIP archive; it then hands out no text.
  // REQUIRES: open succeeded.
  [[nodiscard]] bool zip_archive() const { return zip_archive_; }

  // Whether open found the list to start as a compound file; it then hands out no text.
  // REQUIRES: open succeeded.
  [[nodiscard]] bool compound_file() const { return compound_file_; }

  // Whether open found the list not to be plain text (ListFormats::binary_files); it then
  // hands out no text.
  // REQUIRES: open succeeded.
  [[nodiscard]] bool binary_file() const { return binary_file_; }

  // Whether the list is a regular file, which can be read at any position (as a ZIP archive
  // must be), unlike a pipe, a FIFO or a terminal.
  // REQUIRES: open succeeded.
  [[nodiscard]] bool readable_at_any_position() const { return regular_file_; }

  // Hands the open descriptor over to the caller, who closes it; the reader reads no more.
  // REQUIRES: open succeeded, and zip_archive() or compound_file().
  [[nodiscard]] int release_descriptor();

  // The next block of the list's text, from at most `block_size` bytes of the list, as UTF-8;
  // the byte-order mark is left out. The text stays valid until the next call.
  // REQUIRES: open succeeded, and none of zip_archive(), compound_file(), binary_file().
  [[nodiscard]] ListBlock next_block();

 private:
  [[nodiscard]] std::optional<Failure> refuse_unusable_kind(
      std::optional<FileIdentity> answers_file);
  [[nodiscard]] std::optional<Failure> read_start(std::size_t size);
  [[nodiscard]] std::optional<Failure> judge_start();
  [[nodiscard]] std::optional<Failure> choose_utf8_or_big5();
  [[nodiscard]] std::optional<Failure> find_not_utf8_after_start(utf8::IllFormedSearch& search);
  [[nodiscard]] ListBlock next_bytes();

  FileSystem& files_;
  const std::size_t block_size_;
  const ListFormats formats_;
  std::string name_;  // as shown, for failures
  int fd_ = -1;
  FileIdentity identity_{};
  bool regular_file_ = false;
  bool zip_archive_ = false;
  bool compound_file_ = false;
  bool binary_file_ = false;
  std::string start_;                 // the judged start as read
  std::size_t start_handed_out_ = 0;  // bytes of start_ handed out or left out (the mark)
  bool start_is_all_ = false;         // the list ended within the judged start
  std::vector<char> buffer_;          // for the reads after the judged start
  std::unique_ptr<TextDecoder> decoder_;
  Utf8Repair* utf8_repair_ = nullptr;  // decoder_, when it is one
  bool decoder_finished_ = false;
  std::string decoded_;  // the text of the last block
};

#endif  // CHANGE_UTF8_LIST_READER_H_

#ifndef CHANGE_UTF8_DECODED_LIST_H_
#define CHANGE_UTF8_DECODED_LIST_H_

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "failure.h"
#include "file_system.h"
#include "list_reader.h"

// The start of a list that must be well-formed UTF-8 for the list to be read as UTF-8.
inline constexpr std::size_t kJudgedUtf8Size = std::size_t{64} * 1024;

// Whether `text` is well-formed UTF-8, but for a character that `text` cuts short at its end.
bool starts_as_utf8(std::string_view text);

// Turns text in Big5 as Windows' code page 950 has it (glibc's iconv CP950), given in any
// number of pieces, into UTF-8. A byte that starts no character there becomes U+FFFD.
class Cp950Decoder {
 public:
  Cp950Decoder();

  // Appends the UTF-8 of `bytes`, the next bytes of the text, to `utf8_out`; a character cut
  // short at the end is held back for the next call.
  void decode(std::string_view bytes, std::string& utf8_out);
  // Ends the text: U+FFFD for a character left cut short.
  void finish(std::string& utf8_out);

 private:
  // Closes an iconv_t.
  struct ConverterCloser {
    void operator()(void* converter) const;
  };

  std::unique_ptr<void, ConverterCloser> converter_;  // iconv_t; null without CP950
  std::string held_;
};

// Reads a list as UTF-8 text, block by block, as ListReader does (UTF-16 with its byte-order
// mark decoded, a UTF-8 byte-order mark left out, NUL refused), and also a list in Big5: one
// whose first kJudgedUtf8Size bytes are not well-formed UTF-8 (starts_as_utf8) is decoded
// from CP950 throughout.
class DecodedList {
 public:
  // Reads through `files`, which must outlive the reader.
  explicit DecodedList(FileSystem& files);

  // Opens the list at `path` and reads its first kJudgedUtf8Size bytes to judge them. Fails
  // when the list cannot be opened or read or is not plain text, as ListReader::open. A list
  // whose first bytes start a ZIP archive (starts_as_zip_archive) is judged no further and
  // hands out no text: zip_archive() says so, whatever open returned.
  // REQUIRES: open has not been called.
  [[nodiscard]] std::optional<Failure> open(const std::filesystem::path& path);

  // Whether open found the list's first bytes to start a ZIP archive, as a spreadsheet does.
  [[nodiscard]] bool zip_archive() const { return zip_archive_; }

  // The next block of the list's text as UTF-8: empty at the end of the list. The text stays
  // valid until the next call. REQUIRES: open succeeded.
  [[nodiscard]] ListBlock next_block();

 private:
  [[nodiscard]] ListBlock next_bytes();

  ListReader reader_;
  bool zip_archive_ = false;
  std::string start_;  // the judged start, handed out as the first block
  bool start_handed_out_ = false;
  bool start_was_all_ = false;         // the list ended within the judged start
  std::optional<Cp950Decoder> cp950_;  // set for a list in Big5
  bool cp950_finished_ = false;
  std::string decoded_;  // the text of the last block of a list in Big5
};

#endif  // CHANGE_UTF8_DECODED_LIST_H_

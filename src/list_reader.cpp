#include "list_reader.h"

#include <algorithm>
#include <cassert>
#include <span>
#include <utility>

#include "message_catalog.h"
#include "shown_text.h"

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";

// Whether a UTF-16 code unit of `text` (which begins with its byte-order mark) is U+0000.
bool holds_utf16_nul(std::string_view text) {
  for (std::size_t unit = 2; unit + 1 < text.size(); unit += 2) {
    if (text[unit] == '\0' && text[unit + 1] == '\0') {
      return true;
    }
  }
  return false;
}

}  // namespace

ListReader::ListReader(FileSystem& files, std::size_t block_size)
    : files_(files), block_size_(block_size) {
  assert(block_size >= 1);
}

ListReader::~ListReader() {
  if (fd_ >= 0) {
    (void)files_.close(fd_, name_);  // the list was read: its close changes nothing
  }
}

std::optional<Failure> ListReader::open(const std::filesystem::path& path,
                                        std::optional<FileIdentity> answers_file) {
  assert(fd_ < 0);
  name_ = shown(path.native());  // it cannot drive the terminal
  if (path.native().find('\0') != std::string::npos) {
    // The name would be cut at the NUL byte, and another file opened.
    return Failure{name_, catalog::gettext("holds a NUL byte")};
  }
  OpenedFile opened = files_.open_for_reading(path, name_);
  if (opened.failure) {
    return std::move(opened.failure);
  }
  fd_ = opened.fd;
  if (std::optional<Failure> failure = refuse_unusable_kind(answers_file)) {
    return failure;
  }
  return read_start();
}

// Refuses, before a byte is read, a list whose identity cannot be known (it could be a group
// file's), the answers' own file, and a terminal.
std::optional<Failure> ListReader::refuse_unusable_kind(std::optional<FileIdentity> answers_file) {
  OpenFileStatus status = files_.status(fd_, name_);
  if (status.failure) {
    return std::move(status.failure);
  }
  identity_ = status.identity;
  if (answers_file == identity_) {
    return Failure{name_, catalog::gettext("is the standard input, which holds the answers")};
  }
  if (status.is_terminal) {
    return Failure{name_, catalog::gettext("is a terminal, not a list")};
  }
  return std::nullopt;
}

ListBlock ListReader::next_block() {
  if (!utf16_) {
    return next_bytes();
  }
  decoded_.clear();
  while (decoded_.empty() && !utf16_finished_) {
    ListBlock bytes = next_bytes();
    if (bytes.failure) {
      return bytes;
    }
    if (bytes.text.empty()) {
      utf16_->finish(decoded_);  // U+FFFD for a character cut short
      utf16_finished_ = true;
    } else {
      utf16_->decode(bytes.text, decoded_);
    }
  }
  return {decoded_, std::nullopt};
}

// The next bytes of the list as they are: first what is left of the judged start.
ListBlock ListReader::next_bytes() {
  if (!start_left_.empty()) {
    const std::string_view bytes = start_left_.substr(0, block_size_);
    start_left_.remove_prefix(bytes.size());
    return {bytes, std::nullopt};
  }
  ReadBytes got = files_.read(fd_, std::span(buffer_).first(block_size_), name_);
  return {std::string_view(buffer_.data(), got.size), std::move(got.failure)};
}

// Reads the judged start until it is whole or the list ends: a FIFO or a pipe may hand it
// over a few bytes at a time.
std::optional<Failure> ListReader::read_start() {
  buffer_.resize(std::max(block_size_, kJudgedStartSize));
  std::size_t held = 0;
  while (held < kJudgedStartSize) {
    const std::size_t wanted = std::min(block_size_, kJudgedStartSize - held);
    ReadBytes got = files_.read(fd_, std::span(buffer_).subspan(held, wanted), name_);
    if (got.failure) {
      return std::move(got.failure);
    }
    if (got.size == 0) {
      break;
    }
    held += got.size;
  }
  start_ = std::string_view(buffer_.data(), held);
  start_left_ = start_;
  return judge_start();
}

// Finds the list's encoding from its byte-order mark, leaves the mark out, and refuses a list
// that is not plain text.
std::optional<Failure> ListReader::judge_start() {
  if (start_left_.starts_with(kUtf16LittleEndianMark)) {
    utf16_.emplace(ByteOrder::LittleEndian);
  } else if (start_left_.starts_with(kUtf16BigEndianMark)) {
    utf16_.emplace(ByteOrder::BigEndian);
  }
  const bool plain_text =
      utf16_ ? !holds_utf16_nul(start_left_) : start_left_.find('\0') == std::string_view::npos;
  if (!plain_text) {
    return Failure{name_,
                   catalog::gettext("is not plain text, perhaps a spreadsheet or word-processor "
                                    "file; save it as UTF-8 or Unicode text")};
  }
  if (utf16_) {
    start_left_.remove_prefix(kUtf16LittleEndianMark.size());
  } else if (start_left_.starts_with(kUtf8ByteOrderMark)) {
    start_left_.remove_prefix(kUtf8ByteOrderMark.size());
  }
  return std::nullopt;
}

bool ListEntries::find_entry() {
  while (!ended_ && !splitter_.at_entry()) {
    split_next_block();
  }
  return !ended_ || splitter_.at_entry();
}

// Hands the next block to the splitter; a failed read ends the list.
void ListEntries::split_next_block() {
  ListBlock block = reader_.next_block();
  ended_ = block.failure || block.text.empty();
  failure_ = std::move(block.failure);
  splitter_.give(block.text);
}

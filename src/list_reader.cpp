#include "list_reader.h"

#include <libintl.h>

#include <algorithm>
#include <cassert>
#include <span>

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

ListReader::ListReader(FileSystem& files, std::size_t block_size)
    : files_(files), block_size_(block_size) {
  assert(block_size >= 1);
}

ListReader::~ListReader() {
  if (fd_ >= 0) {
    files_.close(fd_);
  }
}

std::optional<Failure> ListReader::open(const std::filesystem::path& path) {
  assert(fd_ < 0);
  name_ = path.native();
  const int fd = files_.open_for_reading(path);
  if (fd < 0) {
    return system_failure(name_, -fd);
  }
  fd_ = fd;
  return read_start();
}

FileIdentity ListReader::identity() const {
  return files_.identity(fd_);
}

ListBlock ListReader::next_block() {
  if (!start_left_.empty()) {
    const std::string_view text = start_left_.substr(0, block_size_);
    start_left_.remove_prefix(text.size());
    return {text, std::nullopt};
  }
  const long got = files_.read(fd_, std::span(buffer_).first(block_size_));
  if (got < 0) {
    return {{}, system_failure(name_, static_cast<int>(-got))};
  }
  return {std::string_view(buffer_.data(), static_cast<std::size_t>(got)), std::nullopt};
}

// Reads the judged start until it is whole or the list ends: a FIFO or a pipe may hand it
// over a few bytes at a time.
std::optional<Failure> ListReader::read_start() {
  buffer_.resize(std::max(block_size_, kJudgedStartSize));
  std::size_t held = 0;
  while (held < kJudgedStartSize) {
    const std::size_t wanted = std::min(block_size_, kJudgedStartSize - held);
    const long got = files_.read(fd_, std::span(buffer_).subspan(held, wanted));
    if (got < 0) {
      return system_failure(name_, static_cast<int>(-got));
    }
    if (got == 0) {
      break;
    }
    held += static_cast<std::size_t>(got);
  }
  start_left_ = std::string_view(buffer_.data(), held);
  if (start_left_.find('\0') != std::string_view::npos) {
    return Failure{name_, ::gettext("is not plain text, perhaps a spreadsheet or word-processor "
                                    "file; save it as UTF-8 or Unicode text")};
  }
  if (start_left_.starts_with(kUtf8ByteOrderMark)) {
    start_left_.remove_prefix(kUtf8ByteOrderMark.size());
  }
  return std::nullopt;
}

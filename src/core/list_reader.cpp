#include "core/list_reader.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <span>
#include <utility>

#include "core/cp950_decoder.h"
#include "core/message_catalog.h"
#include "core/shown_text.h"
#include "core/utf16_decoder.h"
#include "core/utf8.h"

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";
// A ZIP archive begins with a local file header.
constexpr std::string_view kZipSignature = std::string_view("PK\3\4", 4);
// A compound file (the container of Excel 97-2003 workbooks and other old office files) begins
// with its header's signature.
constexpr std::string_view kCompoundFileSignature =
    std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

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

bool starts_as_utf8(std::string_view text) {
  utf8::IllFormedSearch search;
  search.add(text);  // the text is not ended: a character cut short at its end is no fault
  return !search.found();
}

ListReader::ListReader(FileSystem& files, std::size_t block_size, ListFormats formats)
    : files_(files), block_size_(block_size), formats_(formats) {
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
  if (std::optional<Failure> failure = read_start(kJudgedStartSize)) {
    return failure;
  }
  return judge_start();
}

int ListReader::release_descriptor() {
  assert(zip_archive_ || compound_file_);
  return std::exchange(fd_, -1);
}

// Refuses, before a byte is read, a list whose identity cannot be known (it could be a group
// file's), the answers' own file, and a terminal.
std::optional<Failure> ListReader::refuse_unusable_kind(std::optional<FileIdentity> answers_file) {
  OpenFileStatus status = files_.status(fd_, name_);
  if (status.failure) {
    return std::move(status.failure);
  }
  identity_ = status.identity;
  regular_file_ = status.is_regular_file;
  if (answers_file == identity_) {
    return Failure{name_, catalog::gettext("is the standard input, which holds the answers")};
  }
  if (status.is_terminal) {
    return Failure{name_, catalog::gettext("is a terminal, not a list")};
  }
  return std::nullopt;
}

// Reads on until the judged start holds `size` bytes or the list ends: a FIFO or a pipe may
// hand them over a few bytes at a time.
std::optional<Failure> ListReader::read_start(std::size_t size) {
  buffer_.resize(block_size_);
  while (start_.size() < size && !start_is_all_) {
    const std::size_t wanted = std::min(block_size_, size - start_.size());
    ReadBytes got = files_.read(fd_, std::span(buffer_).first(wanted), name_);
    if (got.failure) {
      return std::move(got.failure);
    }
    start_is_all_ = got.size == 0;
    start_.append(buffer_.data(), got.size);
  }
  return std::nullopt;
}

// Judges the list's first bytes, in this order: a ZIP archive or a compound file (where
// taken), a byte-order mark, NUL bytes, and (where Big5 is taken) whether the text starts as
// UTF-8. Chooses the decoder and leaves the byte-order mark out.
std::optional<Failure> ListReader::judge_start() {
  const std::string_view start(start_);
  if (formats_.zip_archives && start.starts_with(kZipSignature)) {
    zip_archive_ = true;
    return std::nullopt;
  }
  if (formats_.compound_files && start.starts_with(kCompoundFileSignature)) {
    compound_file_ = true;
    return std::nullopt;
  }
  std::optional<ByteOrder> utf16;
  if (start.starts_with(kUtf16LittleEndianMark)) {
    utf16 = ByteOrder::LittleEndian;
  } else if (start.starts_with(kUtf16BigEndianMark)) {
    utf16 = ByteOrder::BigEndian;
  }
  const bool plain_text =
      utf16 ? !holds_utf16_nul(start) : start.find('\0') == std::string_view::npos;
  if (!plain_text && formats_.binary_files) {
    binary_file_ = true;
    return std::nullopt;
  }
  if (!plain_text) {
    return Failure{name_,
                   catalog::gettext("is not plain text, perhaps a spreadsheet or word-processor "
                                    "file; save it as UTF-8 or Unicode text")};
  }
  if (utf16) {
    start_handed_out_ = kUtf16LittleEndianMark.size();
    decoder_ = std::make_unique<Utf16Decoder>(*utf16);
    return std::nullopt;
  }
  if (start.starts_with(kUtf8ByteOrderMark)) {
    start_handed_out_ = kUtf8ByteOrderMark.size();
  }
  if (formats_.big5) {
    return choose_utf8_or_big5();
  }
  decoder_ = std::make_unique<Utf8PassThrough>();
  return std::nullopt;
}

// Chooses between UTF-8, where bytes that are not UTF-8 are read as U+FFFD, and Big5: on all of
// the text of a regular file, read through once from after the judged start; on the first
// kJudgedUtf8Size bytes of a stream, which cannot be read twice.
std::optional<Failure> ListReader::choose_utf8_or_big5() {
  utf8::IllFormedSearch search;
  if (regular_file_) {
    search.add(std::string_view(start_).substr(start_handed_out_));
    if (std::optional<Failure> failure = find_not_utf8_after_start(search)) {
      return failure;
    }
    search.end_text();
  } else {
    if (std::optional<Failure> failure = read_start(start_handed_out_ + kJudgedUtf8Size)) {
      return failure;
    }
    search.add(std::string_view(start_).substr(start_handed_out_, kJudgedUtf8Size));
  }
  if (search.found()) {
    decoder_ = std::make_unique<Cp950Decoder>();
    return std::nullopt;
  }
  auto repair = std::make_unique<Utf8Repair>();
  utf8_repair_ = repair.get();
  decoder_ = std::move(repair);
  return std::nullopt;
}

// Reads the regular file on from the end of the judged start to its end, without moving its
// position, into `search`, until a byte that is not UTF-8 is found.
std::optional<Failure> ListReader::find_not_utf8_after_start(utf8::IllFormedSearch& search) {
  for (std::uint64_t offset = start_.size(); !start_is_all_ && !search.found();) {
    ReadBytes got = files_.read_at(fd_, offset, std::span(buffer_), name_);
    if (got.failure) {
      return std::move(got.failure);
    }
    if (got.size == 0) {
      break;
    }
    search.add(std::string_view(buffer_.data(), got.size));
    offset += got.size;
  }
  return std::nullopt;
}

ListBlock ListReader::next_block() {
  decoded_.clear();
  std::optional<std::size_t> not_utf8_from;
  while (decoded_.empty() && !decoder_finished_) {
    ListBlock bytes = next_bytes();
    if (bytes.failure) {
      return bytes;
    }
    if (bytes.text.empty()) {
      decoder_->finish(decoded_);
      decoder_finished_ = true;
    } else {
      decoder_->decode(bytes.text, decoded_);
    }
    if (utf8_repair_ != nullptr && utf8_repair_->first_replacement()) {
      not_utf8_from = utf8_repair_->first_replacement();
    }
  }
  return {.text = decoded_, .failure = std::nullopt, .not_utf8_from = not_utf8_from};
}

// The next bytes of the list as they are: first what is left of the judged start, then what
// each read gets, until the end has been seen.
ListBlock ListReader::next_bytes() {
  if (start_handed_out_ < start_.size()) {
    const std::string_view bytes = std::string_view(start_).substr(start_handed_out_, block_size_);
    start_handed_out_ += bytes.size();
    return {.text = bytes, .failure = std::nullopt, .not_utf8_from = std::nullopt};
  }
  std::string().swap(start_);  // handed out: its memory is no longer needed
  start_handed_out_ = 0;
  if (start_is_all_) {
    return {};
  }
  ReadBytes got = files_.read(fd_, std::span(buffer_), name_);
  return {.text = std::string_view(buffer_.data(), got.size),
          .failure = std::move(got.failure),
          .not_utf8_from = std::nullopt};
}

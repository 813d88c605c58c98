#include "spreadsheet/zip_archive.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <cassert>
#include <climits>
#include <utility>
#include <vector>

#include "core/message_catalog.h"
#include "core/notes.h"
#include "core/shown_text.h"

// minizip reads the archive through these functions, which read through the file-system edge
// at a position of their own, a block at a time: minizip reads its headers a field at a time.
// A read that fails keeps its failure for the archive to tell.
struct ZipArchive::File {
  static constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

  FileSystem& files;
  int fd = -1;
  std::string name;
  std::uint64_t size = 0;
  std::uint64_t position = 0;
  std::optional<Failure> read_failure;
  std::vector<char> block = std::vector<char>(kBlockSize);
  std::uint64_t block_start = 0;  // where in the file `block` was read
  std::size_t block_size = 0;     // how many of its bytes were
};

namespace {

using File = ZipArchive::File;

// minizip "opens" the file by the name it is given: the File itself.
voidpf open_file(voidpf /*opaque*/, const void* file, int /*mode*/) {
  return const_cast<void*>(file);
}

uLong read_file(voidpf /*opaque*/, voidpf stream, void* buffer, uLong size) {
  File& file = *static_cast<File*>(stream);
  auto* bytes = static_cast<char*>(buffer);
  uLong done = 0;
  while (done < size && !file.read_failure) {
    if (file.position >= file.block_start && file.position < file.block_start + file.block_size) {
      const std::size_t from = file.position - file.block_start;
      const std::size_t copied = std::min<std::size_t>(file.block_size - from, size - done);
      std::copy_n(file.block.data() + from, copied, bytes + done);
      done += copied;
      file.position += copied;
      continue;
    }
    const ReadBytes got = file.files.read_at(file.fd, file.position, file.block, file.name);
    if (got.failure) {
      file.read_failure = got.failure;
    }
    if (got.size == 0) {
      break;
    }
    file.block_start = file.position;
    file.block_size = got.size;
  }
  return done;
}

uLong write_file(voidpf /*opaque*/, voidpf /*stream*/, const void* /*buffer*/, uLong /*size*/) {
  return 0;  // read only
}

ZPOS64_T tell_file(voidpf /*opaque*/, voidpf stream) {
  return static_cast<File*>(stream)->position;
}

long seek_file(voidpf /*opaque*/, voidpf stream, ZPOS64_T offset, int origin) {
  File& file = *static_cast<File*>(stream);
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET:
      file.position = offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_CUR:
      file.position += offset;
      return 0;
    case ZLIB_FILEFUNC_SEEK_END:
      file.position = file.size + offset;
      return 0;
    default:
      return -1;
  }
}

int close_file(voidpf /*opaque*/, voidpf /*stream*/) {
  return 0;  // the archive closes the descriptor
}

int file_error(voidpf /*opaque*/, voidpf stream) {
  return static_cast<File*>(stream)->read_failure ? 1 : 0;
}

}  // namespace

// The member's name comes from the archive: it is shown, so that it cannot drive a terminal.
Failure member_failure(std::string archive, const char* reason, std::string_view member) {
  return {std::move(archive), filled_in(reason, {shown(member)})};
}

ZipArchive::ZipArchive(FileSystem& files) : files_(files) {}

ZipArchive::~ZipArchive() {
  close_member();
  if (archive_ != nullptr) {
    unzClose(archive_);
  }
  if (file_) {
    (void)files_.close(file_->fd, file_->name);  // read only: nothing is lost
  }
}

std::optional<Failure> ZipArchive::open(int fd, std::string name) {
  assert(!file_);
  file_ = std::make_unique<File>(File{.files = files_,
                                      .fd = fd,
                                      .name = std::move(name),
                                      .size = 0,
                                      .position = 0,
                                      .read_failure = {}});
  const OpenFileStatus status = files_.status(fd, file_->name);
  if (status.failure) {
    return status.failure;
  }
  file_->size = status.size;
  zlib_filefunc64_def functions{.zopen64_file = open_file,
                                .zread_file = read_file,
                                .zwrite_file = write_file,
                                .ztell64_file = tell_file,
                                .zseek64_file = seek_file,
                                .zclose_file = close_file,
                                .zerror_file = file_error,
                                .opaque = nullptr};
  archive_ = unzOpen2_64(file_.get(), &functions);
  if (archive_ == nullptr || !index_members()) {
    return file_->read_failure
               ? *file_->read_failure
               : Failure{file_->name,
                         catalog::gettext("is damaged: it cannot be read as a ZIP archive")};
  }
  return std::nullopt;
}

// Reads the archive's directory once, keeping where each member's entry stands (the first,
// for a name given twice); false when a read fails or an entry is damaged.
bool ZipArchive::index_members() {
  std::string name;
  for (int next = unzGoToFirstFile(archive_); next != UNZ_END_OF_LIST_OF_FILE;
       next = unzGoToNextFile(archive_)) {
    unz_file_info64 entry{};
    if (next != UNZ_OK ||
        unzGetCurrentFileInfo64(archive_, &entry, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      return false;
    }
    name.resize(entry.size_filename);
    unz64_file_pos place{};
    if (unzGetCurrentFileInfo64(archive_, &entry, name.data(), name.size(), nullptr, 0, nullptr,
                                0) != UNZ_OK ||
        unzGetFilePos64(archive_, &place) != UNZ_OK) {
      return false;
    }
    members_.try_emplace(name, place.pos_in_zip_directory, place.num_of_file);
  }
  return !file_->read_failure;
}

bool ZipArchive::holds(const std::string& member) const {
  return members_.contains(member);
}

std::optional<Failure> ZipArchive::open_member(const std::string& member) {
  close_member();
  unpacked_before_ += unpacked_;
  unpacked_ = 0;
  member_name_ = member;
  const auto entry = members_.find(member);
  if (entry == members_.end()) {
    return failure_of_member(catalog::gettext("its part %s is missing"));
  }
  unz64_file_pos place{.pos_in_zip_directory = entry->second.first,
                       .num_of_file = entry->second.second};
  if (const int located = unzGoToFilePos64(archive_, &place); located != UNZ_OK) {
    return failure_of(located);
  }
  unz_file_info64 status{};
  if (const int got =
          unzGetCurrentFileInfo64(archive_, &status, nullptr, 0, nullptr, 0, nullptr, 0);
      got != UNZ_OK) {
    return failure_of(got);
  }
  constexpr uLong kEncrypted = 1;  // bit 0 of the general purpose flags
  if ((status.flag & kEncrypted) != 0 ||
      (status.compression_method != 0 && status.compression_method != Z_DEFLATED)) {
    return failure_of_member(
        catalog::gettext("its part %s is encrypted, or packed in a way that cannot be unpacked"));
  }
  packed_size_ = status.compressed_size;
  declared_size_ = status.uncompressed_size;
  if (std::optional<Failure> bomb = judge_unpacked_size(status.uncompressed_size)) {
    return bomb;
  }
  if (const int opened = unzOpenCurrentFile(archive_); opened != UNZ_OK) {
    return failure_of(opened);
  }
  member_open_ = true;
  return std::nullopt;
}

ZipRead ZipArchive::read(std::span<char> buffer) {
  if (!member_open_) {
    return {};  // ended by a failure
  }
  const auto wanted = static_cast<unsigned>(std::min<std::size_t>(buffer.size(), INT_MAX));
  const int got = unzReadCurrentFile(archive_, buffer.data(), wanted);
  std::optional<Failure> failure;
  if (got < 0) {
    failure = failure_of(got);
  } else if (got == 0) {
    // The end: the member must have given the size it declares (minizip unpacks no more), and
    // the checksum of what it gave is checked as it is closed.
    member_open_ = false;
    const int closed = unzCloseCurrentFile(archive_);
    if (closed != UNZ_OK || unpacked_ != declared_size_) {
      return {0, failure_of(closed != UNZ_OK ? closed : UNZ_BADZIPFILE)};
    }
    return {};
  } else {
    unpacked_ += static_cast<std::uint64_t>(got);
    failure = judge_unpacked_size(unpacked_);
  }
  if (failure) {
    close_member();
    return {0, std::move(failure)};
  }
  return {static_cast<std::size_t>(got), std::nullopt};
}

Failure ZipArchive::failure_of_member(const char* reason) const {
  return member_failure(file_->name, reason, member_name_);
}

// A minizip call failed: the file's failure when a read of it failed, memory when that ran
// out, and else the member's damage.
Failure ZipArchive::failure_of(int minizip_error) const {
  if (file_->read_failure) {
    return *file_->read_failure;
  }
  if (minizip_error == Z_MEM_ERROR || minizip_error == UNZ_INTERNALERROR) {
    return FileSystem::out_of_memory(file_->name);
  }
  return failure_of_member(catalog::gettext("its part %s is damaged"));
}

// Refuses a member that unpacks (or declares it unpacks) to `size` bytes, when that is more
// than any spreadsheet holds or more than its packed bytes could honestly give.
std::optional<Failure> ZipArchive::judge_unpacked_size(std::uint64_t size) const {
  if (size > kMaxMemberSize) {
    return failure_of_member(catalog::gettext(
        "its part %s unpacks to more than 1 GiB, as a ZIP bomb does; it is not read"));
  }
  // size > packed * ratio, without overflow: the packed size is below size / ratio, rounded up.
  const std::uint64_t least_honest_packed_size = (size + kMaxPackingRatio - 1) / kMaxPackingRatio;
  if (unpacked_before_ + size > kRatioJudgedFrom && packed_size_ < least_honest_packed_size) {
    return failure_of_member(catalog::gettext(
        "its part %s unpacks to more than 100 times its packed size, as a ZIP bomb "
        "does; it is not read"));
  }
  return std::nullopt;
}

void ZipArchive::close_member() {
  if (member_open_) {
    unzCloseCurrentFile(archive_);
    member_open_ = false;
  }
}

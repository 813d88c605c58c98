#include "zip_archive.h"

#include <unistd.h>
#include <zip.h>

#include <cassert>
#include <utility>

#include "file_system.h"
#include "message_catalog.h"

Failure member_failure(std::string archive, const char* reason, std::string_view member) {
  std::string text(reason);
  const std::size_t mark = text.find("%s");
  if (mark != std::string::npos) {
    text.replace(mark, 2, member);
  }
  return {std::move(archive), std::move(text)};
}

ZipArchive::ZipArchive() = default;

ZipArchive::~ZipArchive() {
  close_member();
  if (archive_ != nullptr) {
    zip_discard(archive_);  // read only: nothing to write back
  }
}

std::optional<Failure> ZipArchive::open(int fd, std::string name) {
  assert(archive_ == nullptr);
  name_ = std::move(name);
  int error = 0;
  // libzip reads the descriptor itself; the reason of a call it makes that fails is the file
  // system's, put in words by the file-system edge from the error that call left.
  FileSystem::forget_last_error();
  archive_ = zip_fdopen(fd, 0, &error);
  if (archive_ != nullptr) {
    return std::nullopt;
  }
  Failure system_failure = FileSystem::last_call_failure(name_);
  ::close(fd);  // libzip takes the descriptor over only when it succeeds
  switch (error) {
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
      return system_failure;
    case ZIP_ER_MEMORY:
      return FileSystem::out_of_memory(name_);
    default:
      return Failure{name_, catalog::gettext("is damaged: it cannot be read as a ZIP archive")};
  }
}

bool ZipArchive::holds(const std::string& member) const {
  return zip_name_locate(archive_, member.c_str(), 0) >= 0;
}

std::optional<Failure> ZipArchive::open_member(const std::string& member) {
  close_member();
  unpacked_before_ += unpacked_;
  unpacked_ = 0;
  member_name_ = member;
  const zip_int64_t index = zip_name_locate(archive_, member.c_str(), 0);
  if (index < 0) {
    return failure_of_member(catalog::gettext("its part %s is missing"));
  }
  zip_stat_t status;
  zip_stat_init(&status);
  const zip_uint64_t wanted = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE;
  if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &status) != 0 ||
      (status.valid & wanted) != wanted) {
    return failure_of_member(catalog::gettext("its part %s is damaged"));
  }
  packed_size_ = status.comp_size;
  if (std::optional<Failure> bomb = judge_unpacked_size(status.size)) {
    return bomb;
  }
  FileSystem::forget_last_error();  // the failure of a read libzip makes is told from it
  member_ = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
  if (member_ == nullptr) {
    zip_error_t* error = zip_get_error(archive_);
    switch (zip_error_code_zip(error)) {
      case ZIP_ER_NOPASSWD:
      case ZIP_ER_WRONGPASSWD:
      case ZIP_ER_ENCRNOTSUPP:
      case ZIP_ER_COMPNOTSUPP:
        return failure_of_member(catalog::gettext(
            "its part %s is encrypted, or packed in a way that cannot be unpacked"));
      default:
        return failure_of_read(error);
    }
  }
  return std::nullopt;
}

ZipRead ZipArchive::read(std::span<char> buffer) {
  if (member_ == nullptr) {
    return {};  // ended by a failure
  }
  FileSystem::forget_last_error();
  const zip_int64_t got = zip_fread(member_, buffer.data(), buffer.size());
  std::optional<Failure> failure;
  if (got < 0) {
    failure = failure_of_read(zip_file_get_error(member_));
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
  return member_failure(name_, reason, member_name_);
}

// A failed read is the file's when the system failed it (told by the error its failed call
// left), and else the member's damage.
Failure ZipArchive::failure_of_read(zip_error_t* error) const {
  const int code = zip_error_code_zip(error);
  if (code == ZIP_ER_MEMORY) {
    return FileSystem::out_of_memory(name_);
  }
  if ((code == ZIP_ER_READ || code == ZIP_ER_SEEK) && zip_error_system_type(error) == ZIP_ET_SYS &&
      zip_error_code_system(error) != 0) {
    return FileSystem::last_call_failure(name_);
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
  if (member_ != nullptr) {
    zip_fclose(member_);
    member_ = nullptr;
  }
}

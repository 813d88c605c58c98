#include "file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

FileIdentity identity_of(const struct stat& status) {
  return {status.st_dev, status.st_ino};
}

}  // namespace

int FileSystem::open_for_reading(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd >= 0 ? fd : -errno;
}

int FileSystem::create_new(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  return fd >= 0 ? fd : -errno;
}

long FileSystem::read(int fd, std::span<char> buffer) {
  while (true) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got >= 0) {
      return got;
    }
    if (errno != EINTR) {
      return -errno;
    }
  }
}

int FileSystem::write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return written < 0 ? errno : EIO;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

int FileSystem::close(int fd) {
  // Linux releases the descriptor even when close fails, EINTR included: never retry.
  return ::close(fd) == 0 ? 0 : errno;
}

int FileSystem::rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int FileSystem::remove(const std::filesystem::path& path) {
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

NameStatus FileSystem::look_up(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return {.error = errno == ENOENT ? 0 : errno,
            .taken = false,
            .is_directory = false,
            .leads_to = std::nullopt};
  }
  const bool is_directory = S_ISDIR(status.st_mode);
  if (S_ISLNK(status.st_mode) && ::stat(path.c_str(), &status) != 0) {
    if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR) {
      return {.error = errno, .taken = false, .is_directory = false, .leads_to = std::nullopt};
    }
    return {.error = 0, .taken = true, .is_directory = false, .leads_to = std::nullopt};  // nowhere
  }
  return {.error = 0, .taken = true, .is_directory = is_directory, .leads_to = identity_of(status)};
}

std::optional<FileIdentity> FileSystem::identity(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    return std::nullopt;
  }
  return identity_of(status);
}

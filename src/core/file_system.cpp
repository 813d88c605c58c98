#include "core/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <utility>

#include "core/message_catalog.h"

namespace {

// The failure of a call on `subject` with the errno `error`: the one place an errno becomes
// words.
Failure system_failure(std::string subject, int error) {
  return {std::move(subject), std::strerror(error)};
}

// The failure of the call that just failed, by its errno.
std::optional<Failure> failed(const std::string& subject) {
  return system_failure(subject, errno);
}

FileIdentity identity_of(const struct stat& status) {
  return {status.st_dev, status.st_ino};
}

OpenedFile opened(int fd, const std::string& subject) {
  if (fd >= 0) {
    return {.fd = fd, .failure = std::nullopt, .name_taken = false};
  }
  const int error = errno;
  return {.fd = -1, .failure = system_failure(subject, error), .name_taken = error == EEXIST};
}

}  // namespace

OpenedFile FileSystem::open_for_reading(const std::filesystem::path& path,
                                        const std::string& subject) {
  return opened(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC), subject);
}

OpenedFile FileSystem::create_new(const std::filesystem::path& path, const std::string& subject) {
  return opened(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666), subject);
}

ReadBytes FileSystem::read(int fd, std::span<char> buffer, const std::string& subject) {
  while (true) {
    const ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got >= 0) {
      return {static_cast<std::size_t>(got), std::nullopt};
    }
    if (errno != EINTR) {
      return {0, failed(subject)};
    }
  }
}

ReadBytes FileSystem::read_at(int fd, std::uint64_t offset, std::span<char> buffer,
                              const std::string& subject) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    return {0, system_failure(subject, EINVAL)};
  }
  while (true) {
    const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(offset));
    if (got >= 0) {
      return {static_cast<std::size_t>(got), std::nullopt};
    }
    if (errno != EINTR) {
      return {0, failed(subject)};
    }
  }
}

std::optional<Failure> FileSystem::write_all(int fd, std::string_view bytes,
                                             const std::string& subject) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return system_failure(subject, written < 0 ? errno : EIO);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return std::nullopt;
}

std::optional<Failure> FileSystem::close(int fd, const std::string& subject) {
  // Linux releases the descriptor even when close fails, EINTR included: never retry.
  return ::close(fd) == 0 ? std::nullopt : failed(subject);
}

std::optional<Failure> FileSystem::rename(const std::filesystem::path& from,
                                          const std::filesystem::path& to,
                                          const std::string& subject) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? std::nullopt : failed(subject);
}

std::optional<Failure> FileSystem::remove(const std::filesystem::path& path,
                                          const std::string& subject) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT ? std::nullopt : failed(subject);
}

NameStatus FileSystem::look_up(const std::filesystem::path& path, const std::string& subject) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return {.failure = errno == ENOENT ? std::nullopt : failed(subject),
            .taken = false,
            .is_directory = false,
            .leads_to = std::nullopt};
  }
  const bool is_directory = S_ISDIR(status.st_mode);
  if (S_ISLNK(status.st_mode) && ::stat(path.c_str(), &status) != 0) {
    if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR) {
      return {.failure = failed(subject),
              .taken = false,
              .is_directory = false,
              .leads_to = std::nullopt};
    }
    return {.failure = std::nullopt, .taken = true, .is_directory = false, .leads_to = {}};
  }
  return {.failure = std::nullopt,
          .taken = true,
          .is_directory = is_directory,
          .leads_to = identity_of(status)};
}

OpenFileStatus FileSystem::status(int fd, const std::string& subject) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    return {.failure = failed(subject),
            .identity = {},
            .is_terminal = false,
            .is_regular_file = false,
            .size = 0};
  }
  return {.failure = std::nullopt,
          .identity = identity_of(status),
          .is_terminal = ::isatty(fd) == 1,
          .is_regular_file = S_ISREG(status.st_mode),
          .size = static_cast<std::uint64_t>(std::max<off_t>(status.st_size, 0))};
}

std::optional<FileIdentity> FileSystem::identity(int fd) {
  OpenFileStatus known = status(fd, "");
  return known.failure ? std::nullopt : std::optional(known.identity);
}

Failure FileSystem::is_a_directory(std::string subject) {
  return system_failure(std::move(subject), EISDIR);
}

Failure FileSystem::name_too_long(std::string subject) {
  return system_failure(std::move(subject), ENAMETOOLONG);
}

Failure FileSystem::out_of_memory(std::string subject) {
  return {std::move(subject), catalog::gettext("too large to read in the memory available")};
}

void FileSystem::forget_last_error() {
  errno = 0;
}

Failure FileSystem::last_call_failure(std::string subject) {
  return system_failure(std::move(subject), errno != 0 ? errno : EIO);
}

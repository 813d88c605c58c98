// Loaded with LD_PRELOAD into the program under test, as a failing disk would behave: read(2)
// of the file whose name ends in $READ_ERROR_FILE fails with EIO once its offset has reached
// $READ_ERROR_FROM_OFFSET bytes. Every other read goes through unchanged.

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

bool is_failing_file(int fd) {
  const char* suffix = std::getenv("READ_ERROR_FILE");
  if (suffix == nullptr) {
    return false;
  }
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[4096];
  const ssize_t length = ::readlink(link, target, sizeof target);
  return length > 0 && std::string_view(target, static_cast<std::size_t>(length)).ends_with(suffix);
}

}  // namespace

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): names of our own
extern "C" ssize_t read(int fd, void* buffer, std::size_t count) {
  using ReadFunction = ssize_t (*)(int, void*, std::size_t);
  static const auto real_read = reinterpret_cast<ReadFunction>(::dlsym(RTLD_NEXT, "read"));
  const char* from_offset = std::getenv("READ_ERROR_FROM_OFFSET");
  if (from_offset != nullptr && is_failing_file(fd) &&
      ::lseek(fd, 0, SEEK_CUR) >= std::atoll(from_offset)) {
    errno = EIO;
    return -1;
  }
  return real_read(fd, buffer, count);
}

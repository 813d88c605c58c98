// Loaded with LD_PRELOAD into the program under test, as a slow memory card behaves: open(2)
// with O_CREAT and O_EXCL creates the file, then takes $SLOW_CREATION_MICROSECONDS more before
// it returns. Every other open goes through unchanged.

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <ctime>

namespace {

using OpenFunction = int (*)(const char*, int, ...);

int open_slowly_when_creating(OpenFunction real_open, const char* path, int flags, mode_t mode) {
  const int fd = real_open(path, flags, mode);
  const char* delay = std::getenv("SLOW_CREATION_MICROSECONDS");
  if (fd >= 0 && delay != nullptr && (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL)) {
    // A signal handled meanwhile cuts the sleep short; the rest is slept all the same.
    struct timespec left {
      std::atol(delay) / 1'000'000, (std::atol(delay) % 1'000'000) * 1000
    };
    while (::nanosleep(&left, &left) != 0) {
    }
  }
  return fd;
}

mode_t mode_argument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
}

}  // namespace

// open(2) is variadic in the C library, and its parameters' names there are reserved ones.
// NOLINTBEGIN(cert-dcl50-cpp,readability-inconsistent-declaration-parameter-name)
extern "C" int open(const char* path, int flags, ...) {
  static const auto real_open = reinterpret_cast<OpenFunction>(::dlsym(RTLD_NEXT, "open"));
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = mode_argument(flags, arguments);
  va_end(arguments);
  return open_slowly_when_creating(real_open, path, flags, mode);
}

// On 64-bit Linux open64 is open: one shim serves both names.
extern "C" int open64(const char* path, int flags, ...) __attribute__((alias("open")));
// NOLINTEND(cert-dcl50-cpp,readability-inconsistent-declaration-parameter-name)

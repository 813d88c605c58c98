#include "file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

FileIdentity identity_of(const struct stat& status) {
  return {status.st_dev, status.st_ino};
}

// The file that a termination signal removes. The path is complete whenever the flag is set,
// which is all the handler reads.
char file_to_remove[4096];
volatile std::sig_atomic_t file_to_remove_is_set = 0;

// Removes the file, then ends the process by `signal_number` with its default action. The
// process 1 of a PID namespace (a program started in a container) ignores such a signal
// raised on itself; it ends with the status a shell gives for the signal instead.
// Only async-signal-safe calls: unlink, signal, sigprocmask, raise, _exit. The signal is
// blocked while its handler runs, so it is unblocked before being raised again.
extern "C" void remove_file_and_end(int signal_number) {
  if (file_to_remove_is_set != 0) {
    ::unlink(file_to_remove);
  }
  std::signal(signal_number, SIG_DFL);
  sigset_t just_this_signal;
  sigemptyset(&just_this_signal);
  sigaddset(&just_this_signal, signal_number);
  ::sigprocmask(SIG_UNBLOCK, &just_this_signal, nullptr);
  std::raise(signal_number);
  ::_exit(128 + signal_number);
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

void FileSystem::remove(const std::filesystem::path& path) {
  ::unlink(path.c_str());
}

NameStatus FileSystem::look_up(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return {};
  }
  const bool is_directory = S_ISDIR(status.st_mode);
  if (S_ISLNK(status.st_mode) && ::stat(path.c_str(), &status) != 0) {
    return {.taken = true, .is_directory = false, .leads_to = std::nullopt};  // leads nowhere
  }
  return {.taken = true, .is_directory = is_directory, .leads_to = identity_of(status)};
}

FileIdentity FileSystem::identity(int fd) {
  struct stat status {};
  ::fstat(fd, &status);  // cannot fail on an open descriptor
  return identity_of(status);
}

void install_termination_cleanup() {
  // Every signal whose default action ends the process, but SIGKILL and SIGSTOP, which cannot
  // be caught, and those that report a fault of the program itself (SIGSEGV, SIGABRT, ...).
  // SIGPIPE and SIGXFSZ are ignored instead, by main.
  const int signals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGALRM,
                         SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU};
  struct sigaction action {};
  action.sa_handler = remove_file_and_end;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : signals) {
    sigaddset(&action.sa_mask, signal_number);  // one at a time
  }
  for (const int signal_number : signals) {
    struct sigaction previous {};
    // A signal ignored by whoever started the program (nohup) stays ignored.
    if (::sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      ::sigaction(signal_number, &action, nullptr);
    }
  }
}

void remove_on_termination(const std::filesystem::path& path) {
  file_to_remove_is_set = 0;
  const std::string& text = path.native();
  if (text.size() >= sizeof file_to_remove) {
    return;  // too long to hold; such a file outlives a signal
  }
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(file_to_remove, text.c_str(), text.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  file_to_remove_is_set = 1;
}

void remove_nothing_on_termination() {
  file_to_remove_is_set = 0;
}

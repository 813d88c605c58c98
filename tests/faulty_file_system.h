#ifndef CHANGE_UTF8_TESTS_FAULTY_FILE_SYSTEM_H_
#define CHANGE_UTF8_TESTS_FAULTY_FILE_SYSTEM_H_

#include <algorithm>
#include <cerrno>
#include <ostream>
#include <span>
#include <string_view>

#include "failure.h"
#include "file_system.h"

// How a failure shows in a test's message.
inline void PrintTo(const Failure& failure, std::ostream* out) {
  *out << failure.subject << ": " << failure.reason;
}

// The real file system, but for the calls a test makes fail, as a failing disk would.
class FaultyFileSystem : public FileSystem {
 public:
  // Reads give the first `bytes` bytes of the file, then fail with EIO.
  void fail_reads_after(long bytes) {
    readable_bytes_ = bytes;
    bytes_read_ = 0;
  }
  // Every write, close, rename, removal or look-up fails with this errno; 0: none does.
  int write_error = 0;
  int close_error = 0;
  int rename_error = 0;
  int remove_error = 0;
  int look_up_error = 0;

  long read(int fd, std::span<char> buffer) override {
    if (readable_bytes_ < 0) {
      return FileSystem::read(fd, buffer);
    }
    const auto left = static_cast<std::size_t>(readable_bytes_ - bytes_read_);
    const long got =
        left == 0 ? -EIO : FileSystem::read(fd, buffer.first(std::min(left, buffer.size())));
    bytes_read_ += std::max(got, 0L);
    return got;
  }
  int write_all(int fd, std::string_view bytes) override {
    return write_error != 0 ? write_error : FileSystem::write_all(fd, bytes);
  }
  int close(int fd) override {
    const int error = FileSystem::close(fd);
    return close_error != 0 ? close_error : error;
  }
  int rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
    return rename_error != 0 ? rename_error : FileSystem::rename(from, to);
  }
  int remove(const std::filesystem::path& path) override {
    return remove_error != 0 ? remove_error : FileSystem::remove(path);
  }
  NameStatus look_up(const std::filesystem::path& path) override {
    return look_up_error != 0 ? NameStatus{.error = look_up_error,
                                           .taken = false,
                                           .is_directory = false,
                                           .leads_to = {}}
                              : FileSystem::look_up(path);
  }

 private:
  long readable_bytes_ = -1;  // -1: no read fails
  long bytes_read_ = 0;
};

#endif  // CHANGE_UTF8_TESTS_FAULTY_FILE_SYSTEM_H_

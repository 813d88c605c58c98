#ifndef CHANGE_UTF8_TESTS_FAULTY_FILE_SYSTEM_H_
#define CHANGE_UTF8_TESTS_FAULTY_FILE_SYSTEM_H_

#include <algorithm>
#include <cstdint>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "core/failure.h"
#include "core/file_system.h"

// How a failure shows in a test's message.
inline void PrintTo(const Failure& failure, std::ostream* out) {
  *out << failure.subject << ": " << failure.reason;
}

// The real file system, but for the calls a test makes fail, as a failing disk would.
class FaultyFileSystem : public FileSystem {
 public:
  // Reads give the first `bytes` bytes of the file, then fail with an input/output error.
  void fail_reads_after(long bytes) {
    readable_bytes_ = bytes;
    bytes_read_ = 0;
  }
  // The read at a position numbered `call` (from 1, counted in read_at_calls) fails with an
  // input/output error.
  void fail_read_at_call(long call) {
    failing_read_at_call_ = call;
    read_at_calls = 0;
  }
  long read_at_calls = 0;
  long close_calls = 0;  // every close, also one that fails
  // Every write, close, rename, removal, look-up or status fails with this reason; empty: none
  // does.
  std::string write_failure;
  std::string close_failure;
  std::string rename_failure;
  std::string remove_failure;
  std::string look_up_failure;
  std::string status_failure;

  ReadBytes read(int fd, std::span<char> buffer, const std::string& subject) override {
    if (readable_bytes_ < 0) {
      return FileSystem::read(fd, buffer, subject);
    }
    const auto left = static_cast<std::size_t>(readable_bytes_ - bytes_read_);
    if (left == 0) {
      return {0, Failure{subject, "Input/output error"}};
    }
    ReadBytes got = FileSystem::read(fd, buffer.first(std::min(left, buffer.size())), subject);
    bytes_read_ += static_cast<long>(got.size);
    return got;
  }
  ReadBytes read_at(int fd, std::uint64_t offset, std::span<char> buffer,
                    const std::string& subject) override {
    if (++read_at_calls == failing_read_at_call_) {
      return {0, Failure{subject, "Input/output error"}};
    }
    return FileSystem::read_at(fd, offset, buffer, subject);
  }
  std::optional<Failure> write_all(int fd, std::string_view bytes,
                                   const std::string& subject) override {
    if (write_failure.empty()) {
      return FileSystem::write_all(fd, bytes, subject);
    }
    return Failure{subject, write_failure};
  }
  std::optional<Failure> close(int fd, const std::string& subject) override {
    ++close_calls;
    const std::optional<Failure> failure = FileSystem::close(fd, subject);
    return close_failure.empty() ? failure : Failure{subject, close_failure};
  }
  std::optional<Failure> rename(const std::filesystem::path& from, const std::filesystem::path& to,
                                const std::string& subject) override {
    if (rename_failure.empty()) {
      return FileSystem::rename(from, to, subject);
    }
    return Failure{subject, rename_failure};
  }
  std::optional<Failure> remove(const std::filesystem::path& path,
                                const std::string& subject) override {
    if (remove_failure.empty()) {
      return FileSystem::remove(path, subject);
    }
    return Failure{subject, remove_failure};
  }
  NameStatus look_up(const std::filesystem::path& path, const std::string& subject) override {
    if (look_up_failure.empty()) {
      return FileSystem::look_up(path, subject);
    }
    return {.failure = Failure{subject, look_up_failure},
            .taken = false,
            .is_directory = false,
            .leads_to = {}};
  }
  OpenFileStatus status(int fd, const std::string& subject) override {
    OpenFileStatus known = FileSystem::status(fd, subject);
    known.failure = status_failure.empty() ? known.failure : Failure{subject, status_failure};
    return known;
  }

 private:
  long readable_bytes_ = -1;  // -1: no read fails
  long bytes_read_ = 0;
  long failing_read_at_call_ = 0;  // 0: none fails
};

#endif  // CHANGE_UTF8_TESTS_FAULTY_FILE_SYSTEM_H_

#ifndef CHANGE_UTF8_FILE_SYSTEM_H_
#define CHANGE_UTF8_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/failure.h"

// A file as the file system knows it, whatever name leads to it.
struct FileIdentity {
  std::uintmax_t device;
  std::uintmax_t inode;
  bool operator==(const FileIdentity&) const = default;
};

// A file opened or created: its descriptor, or why it could not be.
struct OpenedFile {
  int fd = -1;                     // >= 0 when the call succeeded
  std::optional<Failure> failure;  // set when it failed
  bool name_taken = false;         // create_new failed because something stands under the name
};

// The bytes a read got, or why it failed.
struct ReadBytes {
  std::size_t size = 0;            // 0 at the end of the file
  std::optional<Failure> failure;  // set when it failed; then size is 0
};

// What the file open as a descriptor is, or why that cannot be known.
struct OpenFileStatus {
  std::optional<Failure> failure;  // set when it cannot be known; then all else is unknown
  FileIdentity identity{};
  bool is_terminal = false;      // a terminal, where reading waits for the user to type
  bool is_regular_file = false;  // a regular file, which can be read at any position
  std::uint64_t size = 0;        // of a regular file, in bytes
};

// What stands under a name in a folder.
struct NameStatus {
  // Why the name could not be looked up; then all else is unknown. "Nothing stands there" is
  // no failure.
  std::optional<Failure> failure;
  bool taken = false;         // something stands there: a file, a folder, a link, a FIFO
  bool is_directory = false;  // a folder itself, not a link to one
  // The file the name leads to, through a symbolic link; nullopt when it leads nowhere.
  std::optional<FileIdentity> leads_to;
};

// The program's one edge to the file system: every open, read, write, close, rename, unlink
// and stat it makes goes through here, with calls interrupted by a signal repeated and short
// writes completed. Tests derive from it to make a call fail as a failing disk would.
//
// A call that fails returns a Failure: its reason is the C library's text for the error, in
// the user's language, made here and nowhere else. A call on a path names `subject`; a call
// on a descriptor names the `subject` it is given (the file's name as the user knows it).
class FileSystem {
 public:
  FileSystem() = default;
  virtual ~FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  // Opens `path` for reading.
  virtual OpenedFile open_for_reading(const std::filesystem::path& path,
                                      const std::string& subject);

  // Creates the file `path` for writing, with the permissions 0666 less the umask, only if
  // nothing stands under that name (not even a link); name_taken says when something does.
  virtual OpenedFile create_new(const std::filesystem::path& path, const std::string& subject);

  // Reads up to `buffer.size()` bytes from `fd`.
  virtual ReadBytes read(int fd, std::span<char> buffer, const std::string& subject);

  // Reads up to `buffer.size()` bytes from `fd` at `offset`, not moving its position: `fd` is a
  // file that can be read at any position.
  virtual ReadBytes read_at(int fd, std::uint64_t offset, std::span<char> buffer,
                            const std::string& subject);

  // Writes all of `bytes` to `fd`.
  virtual std::optional<Failure> write_all(int fd, std::string_view bytes,
                                           const std::string& subject);

  // Closes `fd`; the descriptor is gone also when this fails.
  virtual std::optional<Failure> close(int fd, const std::string& subject);

  // Renames `from` to `to`, replacing whatever stands under `to` but a folder.
  virtual std::optional<Failure> rename(const std::filesystem::path& from,
                                        const std::filesystem::path& to,
                                        const std::string& subject);

  // Removes the name `path`. A name already gone is no failure: nothing stands there.
  virtual std::optional<Failure> remove(const std::filesystem::path& path,
                                        const std::string& subject);

  // What stands under `path`. Needs no permission to list the folder. A symbolic link that
  // leads nowhere (to no file, or round in a loop) is taken and leads to nothing.
  virtual NameStatus look_up(const std::filesystem::path& path, const std::string& subject);

  // What the file open as `fd` is.
  virtual OpenFileStatus status(int fd, const std::string& subject);

  // The identity of the file open as `fd`; nullopt when it cannot be known (status fails).
  std::optional<FileIdentity> identity(int fd);

  // The failure of replacing `subject`, a folder, with a file.
  static Failure is_a_directory(std::string subject);
  // The failure of reading `subject` when memory ran out (an allocation failed: a library's
  // own, or one that threw std::bad_alloc). Its reason is made from the catalog alone, no
  // larger than the catalog's text.
  static Failure out_of_memory(std::string subject);
  // The failure of opening `subject`, a name longer than any the system takes.
  static Failure name_too_long(std::string subject);

  // Forgets the error left by earlier calls of this thread, before a call made without this
  // edge (a stream's write) whose failure last_call_failure() then tells.
  static void forget_last_error();
  // The failure on `subject` of the last call made since forget_last_error(); an input/output
  // error when that call failed without saying why.
  static Failure last_call_failure(std::string subject);
};

#endif  // CHANGE_UTF8_FILE_SYSTEM_H_

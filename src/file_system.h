#ifndef CHANGE_UTF8_FILE_SYSTEM_H_
#define CHANGE_UTF8_FILE_SYSTEM_H_

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

// A file as the file system knows it, whatever name leads to it.
struct FileIdentity {
  std::uintmax_t device;
  std::uintmax_t inode;
  bool operator==(const FileIdentity&) const = default;
};

// What stands under a name in a folder.
struct NameStatus {
  int error = 0;              // the errno when the name could not be looked up; then all else
                              // is unknown. "Nothing stands there" is no error.
  bool taken = false;         // something stands there: a file, a folder, a link, a FIFO
  bool is_directory = false;  // a folder itself, not a link to one
  // The file the name leads to, through a symbolic link; nullopt when it leads nowhere.
  std::optional<FileIdentity> leads_to;
};

// The program's one edge to the file system: every open, read, write, close, rename, unlink
// and stat it makes goes through here, with calls interrupted by a signal repeated and short
// writes completed. Tests derive from it to make a call fail as a failing disk would.
//
// A call that fails returns the errno it failed with: as a negative number where it returns a
// descriptor or a count, as a positive one where it returns nothing else (0 for success), and
// in NameStatus::error for a look-up. Only failure.h turns an errno into words.
class FileSystem {
 public:
  FileSystem() = default;
  virtual ~FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  // Opens `path` for reading. Returns the descriptor, or minus the errno.
  virtual int open_for_reading(const std::filesystem::path& path);

  // Creates the file `path` for writing, with the permissions 0666 less the umask, only if
  // nothing stands under that name (not even a link). Returns the descriptor, or minus the
  // errno (EEXIST when the name is taken).
  virtual int create_new(const std::filesystem::path& path);

  // Reads up to `buffer.size()` bytes from `fd`. Returns how many (0 at the end of the file),
  // or minus the errno.
  virtual long read(int fd, std::span<char> buffer);

  // Writes all of `bytes` to `fd`. Returns 0, or the errno.
  virtual int write_all(int fd, std::string_view bytes);

  // Closes `fd`; the descriptor is gone also when this fails. Returns 0, or the errno.
  virtual int close(int fd);

  // Renames `from` to `to`, replacing whatever stands under `to` but a folder. Returns 0, or
  // the errno.
  virtual int rename(const std::filesystem::path& from, const std::filesystem::path& to);

  // Removes the name `path`. Returns 0, or the errno.
  virtual int remove(const std::filesystem::path& path);

  // What stands under `path`. Needs no permission to list the folder. A symbolic link that
  // leads nowhere (to no file, or round in a loop) is taken and leads to nothing.
  virtual NameStatus look_up(const std::filesystem::path& path);

  // The identity of the file open as `fd`; nullopt when `fd` is not open.
  virtual std::optional<FileIdentity> identity(int fd);
};

#endif  // CHANGE_UTF8_FILE_SYSTEM_H_

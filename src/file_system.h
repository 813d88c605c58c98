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
// descriptor or a count, as a positive one where it returns nothing else (0 for success).
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

  // Removes the name `path`, if it can.
  virtual void remove(const std::filesystem::path& path);

  // What stands under `path`. Needs no permission to list the folder.
  virtual NameStatus look_up(const std::filesystem::path& path);

  // The identity of the open file `fd`.
  virtual FileIdentity identity(int fd);
};

// Installs handlers for the signals that end a process (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU) that remove the file given to
// remove_on_termination(), if any, and then end the process by the same signal; as the
// process 1 of a PID namespace, which such a signal cannot end, with the exit status 128 +
// the signal's number. A signal ignored when the program started (nohup) stays ignored.
// Call once, at the start. SIGKILL cannot be caught: the file then stays.
void install_termination_cleanup();

// The file that a termination signal removes, from now on: one this process created and is
// writing. A path too long to hold is not removed.
void remove_on_termination(const std::filesystem::path& path);

// No file is to be removed by a termination signal, from now on.
void remove_nothing_on_termination();

#endif  // CHANGE_UTF8_FILE_SYSTEM_H_

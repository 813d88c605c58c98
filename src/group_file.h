#ifndef CHANGE_UTF8_GROUP_FILE_H_
#define CHANGE_UTF8_GROUP_FILE_H_

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The name of group file `group_number`: "output_<group_number>.xml".
std::string group_file_name(std::int64_t group_number);

// A file as the file system knows it, whatever name leads to it.
struct FileIdentity {
  std::uintmax_t device;
  std::uintmax_t inode;
  bool operator==(const FileIdentity&) const = default;
};

// Installs handlers for the termination signals (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM,
// SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU) that remove the group file being written (its
// temporary file), if any, and then end the process by the same signal, so that no
// half-written group is left behind; as the process 1 of a PID namespace, which cannot be
// ended so, with the exit status 128 + the signal's number. A signal ignored when the program
// started (nohup) stays ignored. Call once, before any writer is made; a process that never
// calls it is ended by these signals as usual, leaving the temporary file. SIGKILL cannot be
// caught: its temporary file stays, hidden, and a later run writes beside it.
void remove_unfinished_group_file_on_termination_signals();

// Writes contact group files into one directory, one file at a time, in the order
// begin_group, then per contact begin_contact, add_phone_bytes*, end_contact, then end_group
// (or discard_group).
//
// Each file is one line of fixed ASCII markup around the phone texts, and is always
// well-formed XML: in a phone text, & < > are written as &amp; &lt; &gt;, and each byte or
// sequence that XML cannot carry is written as U+FFFD: each maximal subpart of ill-formed
// UTF-8, each C0 control byte but tab, line feed and carriage return, and the non-characters
// U+FFFE and U+FFFF. Every other byte is copied unchanged. A character split between two
// pieces of a phone text is kept whole. Output is collected in a bounded buffer, so memory
// stays small however long one phone text is.
//
// A group is written under a temporary name of its own in the directory (".output_N.xml."
// then the process id and ".tmp", created exclusively with mode 0666 less the umask; when a
// file left by an earlier run has that name, the process id is followed by "." and a number)
// and renamed over output_N.xml only once it is complete, so output_N.xml is never seen half
// written: whatever stood under that name (an older group file, a link, a FIFO) stays as it
// was until the rename, and for good when the group fails, its temporary file then removed.
// A file this writer did not create is never written, replaced or removed, but for the one
// under the group file's own name, which the rename replaces.
class GroupFileWriter {
 public:
  // Writes into `directory`. A group file name that leads to `file_to_protect` (the same
  // device and inode, directly, through a symbolic link or as another hard link) is never
  // replaced; nullopt protects nothing.
  explicit GroupFileWriter(std::filesystem::path directory,
                           std::optional<FileIdentity> file_to_protect = std::nullopt);
  // Removes the temporary file of a group still open.
  ~GroupFileWriter();

  GroupFileWriter(const GroupFileWriter&) = delete;
  GroupFileWriter& operator=(const GroupFileWriter&) = delete;

  // Starts group_file_name(group_number): creates its temporary file and writes its head.
  // Returns false when it cannot: the name leads to the protected file or to a directory, or
  // the temporary file cannot be created (failure_reason() says why). Nothing is changed
  // then, the group's contacts are dropped and end_group does nothing.
  // REQUIRES: !group_is_open().
  [[nodiscard]] bool begin_group(std::int64_t group_number);

  // Whether a group file is being written: the last begin_group succeeded, and neither
  // end_group nor discard_group has been called since.
  [[nodiscard]] bool group_is_open() const { return fd_ >= 0; }

  // One contact at `position` (0 for the file's first contact), its phone text given in any
  // number of pieces: begin_contact, add_phone_bytes*, end_contact. When the group could not
  // begin, all three write nothing.
  // REQUIRES (begin_contact): no contact is open.
  // REQUIRES (add_phone_bytes, end_contact): begin_contact was called, end_contact not since.
  void begin_contact(std::int64_t position);
  void add_phone_bytes(std::string_view piece);
  void end_contact();

  // Writes the trailer with `total` contacts, closes the file and renames it to its group
  // file name. Returns false when the group was begun but could not be written, closed or
  // renamed completely (failure_reason() says why); its temporary file is then removed and
  // whatever stood under the name stays. Returns true when the group was written, and also
  // when none is open (nothing to report twice).
  // REQUIRES: no contact is open.
  [[nodiscard]] bool end_group(std::int64_t total);

  // Drops the open group, if any, and its open contact: removes its temporary file and leaves
  // its name alone.
  void discard_group();

  // Whether anything (a file, a folder, a link) stands under group_file_name(group_number).
  [[nodiscard]] bool group_file_exists(std::int64_t group_number) const;

  // Why the last begin_group or end_group returned false, in words for the user.
  [[nodiscard]] const std::string& failure_reason() const { return failure_reason_; }

 private:
  // The bytes of an incomplete UTF-8 character at the end of the last piece.
  struct PartialCharacter {
    char bytes[4];
    std::uint8_t size = 0;  // bytes held so far
  };

  bool name_can_be_replaced(const std::filesystem::path& path);
  bool create_temporary_file(std::string_view name);
  void write_special_byte(char byte);
  void continue_character(char byte);
  void end_partial_character();
  void flush_when_full();
  void flush_pending();
  // Marks the group as failed for `reason`, unless it has failed already.
  void fail_group(std::string_view reason);
  void remove_temporary_file();

  std::filesystem::path directory_;
  std::optional<FileIdentity> protected_file_;

  int fd_ = -1;  // the open group's temporary file
  std::filesystem::path temporary_path_;
  std::filesystem::path final_path_;
  bool contact_open_ = false;
  bool group_failed_ = false;  // since the last begin_group
  std::string failure_reason_;
  PartialCharacter partial_;
  std::string pending_;  // markup not yet written to fd_
};

#endif  // CHANGE_UTF8_GROUP_FILE_H_

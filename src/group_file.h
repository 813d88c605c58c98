#ifndef CHANGE_UTF8_GROUP_FILE_H_
#define CHANGE_UTF8_GROUP_FILE_H_

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "file_system.h"
#include "phone_text.h"

// The name of group file `group_number`: "output_<group_number>.xml".
std::string group_file_name(std::int64_t group_number);

// Writes contact group files into one directory, one file at a time, in the order
// begin_group, then per contact begin_contact, add_phone_bytes*, end_contact, then end_group
// (or discard_group).
//
// Each file is one line of fixed ASCII markup around the phone texts, which PhoneTextEncoder
// makes text that XML can carry, so the file is always well-formed XML. Output is collected
// in a bounded buffer, so memory stays small however long one phone text is.
//
// A group is written under a temporary name of its own in the directory (".output_N.xml."
// then the process id and ".tmp", created only where nothing stands, with the permissions
// 0666 less the umask; when a file left by an earlier run has that name, the process id is
// followed by "." and a number) and renamed over output_N.xml only once it is complete. So
// output_N.xml is never seen half written: whatever stood under that name (an older group
// file, a link, a FIFO) stays as it was until the rename, and for good when the group fails,
// its temporary file then removed. A termination signal removes the temporary file too. A
// file the writer did not create is never written, replaced or removed, but for the one
// under the group file's own name, which the rename replaces.
class GroupFileWriter {
 public:
  // Writes into `directory` through `files`, which must outlive the writer. A group file name
  // that leads to `file_to_protect` (directly, through a symbolic link or as another hard
  // link) is never replaced; nullopt protects nothing.
  GroupFileWriter(FileSystem& files, std::filesystem::path directory,
                  std::optional<FileIdentity> file_to_protect = std::nullopt);
  // Removes the temporary file of a group still open.
  ~GroupFileWriter();

  GroupFileWriter(const GroupFileWriter&) = delete;
  GroupFileWriter& operator=(const GroupFileWriter&) = delete;

  // Starts group_file_name(group_number): creates its temporary file and writes its head.
  // Returns false when it cannot: the name leads to the protected file or to a directory, or
  // no temporary file can be created (failure_reason() says why). Nothing is changed then,
  // the group's contacts are dropped and end_group does nothing.
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
  [[nodiscard]] bool group_file_exists(std::int64_t group_number);

  // Why the last begin_group or end_group returned false, in words for the user.
  [[nodiscard]] const std::string& failure_reason() const { return failure_reason_; }

 private:
  bool name_can_be_replaced(const std::filesystem::path& path);
  bool create_temporary_file(std::string_view name);
  void write_when_full();
  void write_pending();
  // Marks the group as failed for `reason`, unless it has failed already.
  void fail_group(std::string_view reason);
  void remove_temporary_file();

  FileSystem& files_;
  std::filesystem::path directory_;
  std::optional<FileIdentity> protected_file_;
  const std::string process_id_;  // in decimal, for the temporary files' names

  int fd_ = -1;  // the open group's temporary file
  std::filesystem::path temporary_path_;
  std::filesystem::path final_path_;
  bool contact_open_ = false;
  bool group_failed_ = false;  // since the last begin_group
  std::string failure_reason_;
  PhoneTextEncoder phone_text_;
  std::string pending_;  // markup not yet written to fd_
};

#endif  // CHANGE_UTF8_GROUP_FILE_H_

#ifndef CHANGE_UTF8_GROUP_FILE_H_
#define CHANGE_UTF8_GROUP_FILE_H_

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

// The name of group file `group_number`: "output_<group_number>.xml".
std::string group_file_name(std::int64_t group_number);

// Writes contact group files into one directory, one file at a time, in the order
// begin_group, then per contact begin_contact, add_phone_bytes*, end_contact (or add_contact),
// then end_group.
//
// Each file is one line of fixed ASCII markup around the phone texts, in which & < > are
// written as &amp; &lt; &gt; and every other byte is copied unchanged. Output is collected in
// a bounded buffer, so memory stays small however long one phone text is.
//
// A group whose file cannot be opened, or whose writing or closing fails, is reported by
// begin_group or end_group; a file that was opened and then not written completely is removed.
class GroupFileWriter {
 public:
  // Writes into `directory`. A group file name that leads to `file_to_protect` (the same
  // file by device and inode, through a link or as a second hard link) when the writer is
  // made is never opened for writing; an empty path protects nothing. The directory is
  // looked through once here, so opening a group file costs no extra system call.
  explicit GroupFileWriter(std::filesystem::path directory,
                           const std::filesystem::path& file_to_protect = {});

  GroupFileWriter(const GroupFileWriter&) = delete;
  GroupFileWriter& operator=(const GroupFileWriter&) = delete;

  // Creates or truncates group_file_name(group_number) in the directory and writes its head.
  // Returns false when the file cannot be opened or is the protected file; that path is left
  // untouched, the group's contacts are dropped and end_group does nothing.
  // REQUIRES: no group is open (end_group was called after the previous begin_group).
  [[nodiscard]] bool begin_group(std::int64_t group_number);

  // Writes one whole contact at `position` (0 for the file's first contact).
  void add_contact(std::int64_t position, std::string_view phone);

  // The same contact in pieces, for phone texts too long to hold: begin_contact, then the
  // phone's bytes in any number of pieces, then end_contact.
  void begin_contact(std::int64_t position);
  void add_phone_bytes(std::string_view piece);
  void end_contact();

  // Writes the trailer with `total` contacts and closes the file. Returns false when the
  // file was opened but could not be written or closed completely; it is then removed
  // (a directory entry that is not a regular file or a link is left alone). Returns true
  // when the file was written, and also when no file is open (nothing to report twice).
  [[nodiscard]] bool end_group(std::int64_t total);

 private:
  // Records the names in the directory that lead to `file`.
  void find_names_of(const std::filesystem::path& file);
  void write_number(std::int64_t number);
  void flush_when_full();
  void flush_pending();

  std::filesystem::path directory_;
  std::vector<std::filesystem::path> protected_names_;  // names that lead to the protected file

  std::ofstream out_;
  std::filesystem::path open_path_;
  bool write_failed_ = false;
  std::string pending_;  // markup not yet handed to out_
};

#endif  // CHANGE_UTF8_GROUP_FILE_H_

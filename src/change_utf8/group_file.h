#ifndef CHANGE_UTF8_GROUP_FILE_H_
#define CHANGE_UTF8_GROUP_FILE_H_

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "change_utf8/phone_text_encoder.h"
#include "change_utf8/replacement_file.h"
#include "core/failure.h"
#include "core/file_system.h"

// The name of group file `group_number`: "output_<group_number>.xml".
std::string group_file_name(std::int64_t group_number);

// Writes contact group files into one directory, one file at a time, in the order
// begin_group, then per contact begin_contact, add_phone_bytes*, end_contact, then end_group
// (or discard_group).
//
// Each file is one line of fixed ASCII markup around the phone texts, which PhoneTextEncoder
// makes text that XML can carry, so the file is always well-formed XML. Each group replaces
// whatever stood under its name whole, once complete (ReplacementFile), and leaves it as it
// was when the group fails. Memory stays small however long one phone text is.
class GroupFileWriter {
 public:
  // Writes into `directory` through `files`, holding each file being written in `slot`
  // (ReplacementFile); both must outlive the writer. A group file name that leads to
  // `file_to_protect` (directly, through a symbolic link or as another hard link) is never
  // replaced; nullopt protects nothing.
  GroupFileWriter(FileSystem& files, std::filesystem::path directory, TerminationSlot& slot,
                  std::optional<FileIdentity> file_to_protect = std::nullopt);

  GroupFileWriter(const GroupFileWriter&) = delete;
  GroupFileWriter& operator=(const GroupFileWriter&) = delete;

  // Starts group_file_name(group_number) and writes its head. Fails when the name cannot be
  // looked up, leads to a folder or to the protected file, or the file cannot be created:
  // nothing is changed then, the group's contacts are dropped and end_group does nothing.
  // REQUIRES: no group is open.
  [[nodiscard]] std::optional<Failure> begin_group(std::int64_t group_number);

  // One contact at `position` (0 for the file's first contact), its phone text given in any
  // number of pieces: begin_contact, add_phone_bytes*, end_contact. When the group could not
  // begin, all three write nothing.
  // REQUIRES (begin_contact): no contact is open.
  // REQUIRES (add_phone_bytes, end_contact): begin_contact was called, end_contact not since.
  void begin_contact(std::int64_t position);
  void add_phone_bytes(std::string_view piece);
  void end_contact();

  // Writes the trailer with `total` contacts and puts the file in place under its name. Fails
  // when the group was begun but could not be written completely: whatever stood under the
  // name stays, and the group is still open, for discard_group() to remove. Succeeds when
  // no group is open (a group that could not begin was reported by begin_group).
  // REQUIRES: no contact is open.
  [[nodiscard]] std::optional<Failure> end_group(std::int64_t total);

  // Drops the open group, if any, and its open contact, leaving its name alone. Fails when its
  // temporary file cannot be removed; the failure names that file.
  [[nodiscard]] std::optional<Failure> discard_group();

  // Fails when a file other than the protected one stands under group_file_name(group_number),
  // a file left by an earlier run (the failure then says so and what to do), or when the name
  // cannot be looked up (the failure then says why): either way the user should look there.
  [[nodiscard]] std::optional<Failure> check_no_file_from_earlier_run(std::int64_t group_number);

 private:
  [[nodiscard]] std::optional<Failure> check_name_can_be_replaced(
      const std::filesystem::path& path);
  void write_full_block();

  FileSystem& files_;
  std::filesystem::path directory_;
  std::optional<FileIdentity> protected_file_;
  ReplacementFile file_;
  bool contact_open_ = false;
  PhoneTextEncoder phone_text_;
  std::string markup_;  // made but not yet written: the one buffer before the file
};

#endif  // CHANGE_UTF8_GROUP_FILE_H_

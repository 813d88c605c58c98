#ifndef CHANGE_UTF8_PHONE_LIST_CONVERSION_H_
#define CHANGE_UTF8_PHONE_LIST_CONVERSION_H_

#include <cstdint>
#include <filesystem>
#include <optional>

#include "change_utf8/group_file.h"
#include "change_utf8/list_entries.h"
#include "core/failure.h"
#include "core/file_system.h"

class Console;

enum class ConversionResult {
  // Every phone number went into a group file that was written completely.
  Converted,
  // Every phone number was read, but at least one group file could not be written; each such
  // file was named on the console ("無法寫入檔案:" and its name) when its failure was known.
  SomeFilesUnwritable,
  // Reading the list failed after its first number: the groups before the one being filled
  // are written, that one is not (it may end in a number cut short), and reading stopped.
  ListReadFailed,
};

// Opens the phone list at `path` through `list` and judges whether it can be converted: it
// opens, is not `answers_file`, the file the answers come from (if known), nor a terminal
// (ListReader::open, which asks before reading a byte of it), is plain text (a spreadsheet
// or another file is refused with the extract_phone_numbers command that reads it) and holds
// an entry. Returns why it cannot be; otherwise `list` is ready at its first entry.
// Prints nothing.
// REQUIRES: `list` has not been opened.
[[nodiscard]] std::optional<Failure> open_phone_list(ListEntries& list,
                                                     const std::filesystem::path& path,
                                                     std::optional<FileIdentity> answers_file);

// Reads the phone list `list` to its end as whitespace-separated phone numbers and deals them
// out, in reading order, into groups of at most `per_file_limit` contacts: group files 1, 2,
// ..., written by `writer`, which should protect the list.
//
// Prints on `console` "輸出檔案:" and the file name when a group begins, "read:" and the
// number as read after each number, one line each, and "無法寫入檔案:" and the name of each
// group file that cannot be written. Each failure also gets a reason line on the console, and
// so does a file under the group file name just past the last group written whole (left by an
// earlier, longer run, it would be copied to the phone with this run's groups), or a failure to
// look that name up. Entries that are not phone numbers are noted on the console's standard
// error (EntryNotes), and still converted; the notes that follow the list come before the
// note on that name.
//
// Memory stays bounded however long the list or one number is: the list is read in blocks
// and each number streams through to the group file and the console.
// REQUIRES: per_file_limit >= 1; open_phone_list succeeded on `list`; no group is open.
[[nodiscard]] ConversionResult convert_phone_list(ListEntries& list, std::int32_t per_file_limit,
                                                  GroupFileWriter& writer, Console& console);

#endif  // CHANGE_UTF8_PHONE_LIST_CONVERSION_H_

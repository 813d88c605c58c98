#ifndef CHANGE_UTF8_PHONE_LIST_CONVERSION_H_
#define CHANGE_UTF8_PHONE_LIST_CONVERSION_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "file_system.h"
#include "list_reader.h"

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
  // The list could not be opened or read, holds no phone number, or is not plain text.
  // Nothing was created or written, and nothing printed on the console's standard output.
  ListUnreadable,
};

// Reads the phone list at `list_path` to its end (ListReader) as whitespace-separated phone
// numbers and deals them out, in reading order, into groups of at most `per_file_limit`
// contacts: group files 1, 2, ... in `output_directory`, written through `files`
// (GroupFileWriter). A group file name that leads to the list is never replaced.
//
// Prints on `console` "輸出檔案:" and the file name when a group begins, "read:" and the
// number as read after each number, one line each, and "無法寫入檔案:" and the name of each
// group file that cannot be written. Each failure also gets a reason line on the console, and
// so does a file under the group file name just past the last group written whole: left by an
// earlier, longer run, it would be copied to the phone with this run's groups.
//
// Each of the first 10 entries that are not phone numbers (ASCII digits and + - . ( ) only, +
// only first, 3 to 20 digits) gets a note on the console's standard error with the list's
// name, the line it begins on and its first 32 characters; the rest are counted in one note at
// the end. The notes change nothing else. `answers_file`, the file the answers come from (if
// known), is not a usable list.
//
// Memory stays bounded however long the list or one number is: the list is read in blocks of
// `block_size` bytes and each number streams through to the group file and the console.
// REQUIRES: per_file_limit >= 1; block_size >= 1.
[[nodiscard]] ConversionResult convert_phone_list(const std::filesystem::path& list_path,
                                                  std::int32_t per_file_limit,
                                                  const std::filesystem::path& output_directory,
                                                  std::optional<FileIdentity> answers_file,
                                                  FileSystem& files, Console& console,
                                                  std::size_t block_size = kListBlockSize);

#endif  // CHANGE_UTF8_PHONE_LIST_CONVERSION_H_

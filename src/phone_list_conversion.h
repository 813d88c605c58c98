#ifndef CHANGE_UTF8_PHONE_LIST_CONVERSION_H_
#define CHANGE_UTF8_PHONE_LIST_CONVERSION_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string_view>

class GroupFileWriter;

enum class ConversionResult {
  // Every phone number went into a group file that was written completely.
  Converted,
  // Every phone number was read, but at least one group file could not be written; each such
  // file was named on the console ("無法寫入檔案:" and its name) when its failure was known.
  Incomplete,
  // Reading the list failed after its first number: the groups before the one being filled
  // are written, that one is not (it may end in a number cut short), and reading stopped.
  ReadFailed,
  // The list could not be opened or read, holds no phone number, or is UTF-16 text. Nothing
  // was created or written, and nothing printed on the console's progress stream.
  ListUnreadable,
};

// Where a conversion reports to the user.
struct ConversionConsole {
  // "輸出檔案:" and "read:" lines, and "無法寫入檔案:" for each group file that failed.
  std::ostream& progress;
  // One line "change_utf8: NAME: REASON" for each failure, the list's included.
  std::ostream& reasons;
  // Hand each progress line over as soon as it ends (for a terminal); otherwise in blocks.
  bool line_by_line;
};

// The list is read in blocks of this many bytes; a phone number may span blocks.
inline constexpr std::size_t kListBlockSize = std::size_t{256} * 1024;

// Reads the open file `list_fd` to its end as whitespace-separated phone numbers (a leading
// UTF-8 byte-order mark is skipped) and deals them out, in reading order, into groups of at
// most `per_file_limit` contacts: group 1, 2, ... through `writer`. Prints "輸出檔案:" and the
// file name when a group begins and "read:" and the number as read after each number, one
// line each. A read error before the first number gives ListUnreadable, after it ReadFailed.
// `list_name` names the list in reasons. Does not close `list_fd`.
//
// Memory stays bounded however long the list or one number is: the list is read in blocks
// of `block_size` bytes and each number streams through to the group file and the console.
// REQUIRES: per_file_limit >= 1; block_size >= 1; !writer.group_is_open().
[[nodiscard]] ConversionResult convert_phone_list(int list_fd, std::string_view list_name,
                                                  std::int32_t per_file_limit,
                                                  GroupFileWriter& writer,
                                                  const ConversionConsole& console,
                                                  std::size_t block_size = kListBlockSize);

// Opens the list at `list_path` and converts it as above into group files in
// `output_directory`. A group file name that leads to the list is never replaced.
[[nodiscard]] ConversionResult convert_phone_list(const std::filesystem::path& list_path,
                                                  std::int32_t per_file_limit,
                                                  const std::filesystem::path& output_directory,
                                                  const ConversionConsole& console);

#endif  // CHANGE_UTF8_PHONE_LIST_CONVERSION_H_

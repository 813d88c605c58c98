#ifndef CHANGE_UTF8_PHONE_LIST_CONVERSION_H_
#define CHANGE_UTF8_PHONE_LIST_CONVERSION_H_

#include <cstdint>
#include <filesystem>
#include <iosfwd>

class GroupFileWriter;

enum class ConversionResult {
  // Every phone number went into a group file that was written completely.
  Converted,
  // Every phone number was read, but at least one group file could not be written; each such
  // file was named on the console ("無法寫入檔案:" and its name) when its failure was known.
  Incomplete,
  // The list could not be read, holds no phone number, or is UTF-16 text. Nothing was
  // created, written or printed.
  ListUnreadable,
};

// Reads `list` to its end as whitespace-separated phone numbers (a leading UTF-8 byte-order
// mark is skipped) and deals them out, in reading order, into groups of at most
// `per_file_limit` contacts: group 1, 2, ... through `writer`. Prints "輸出檔案:" and the file
// name when a group begins and "read:" and the number after each number, one line each, on
// `console`. A read error ends the list as its end would.
//
// Memory stays bounded however long the list or one number is: the list is read in blocks
// and each number streams through to the group file and the console.
// REQUIRES: per_file_limit >= 1; no group of `writer` is open.
[[nodiscard]] ConversionResult convert_phone_list(std::istream& list, std::int32_t per_file_limit,
                                                  GroupFileWriter& writer, std::ostream& console);

// Opens the list at `list_path` and converts it as above into group files in
// `output_directory`. The list itself is never opened for writing, even when a group file's
// name leads to it. ListUnreadable also when the list cannot be opened.
[[nodiscard]] ConversionResult convert_phone_list(const std::filesystem::path& list_path,
                                                  std::int32_t per_file_limit,
                                                  const std::filesystem::path& output_directory,
                                                  std::ostream& console);

#endif  // CHANGE_UTF8_PHONE_LIST_CONVERSION_H_

#include "phone_list_conversion.h"

#include <libintl.h>

#include <algorithm>
#include <cassert>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console.h"
#include "file_system.h"
#include "group_file.h"

namespace {

// The conversion's console texts, each followed by a file name or a number.
constexpr std::string_view kOutputFile = "輸出檔案:";
constexpr std::string_view kRead = "read:";
constexpr std::string_view kCannotWriteFile = "無法寫入檔案:";

// The list's first bytes, up to this many, are judged together before anything is written.
constexpr std::size_t kJudgedStartSize = 4096;

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";

// Space, tab, line feed, vertical tab, form feed and carriage return separate numbers.
bool is_separator(char byte) {
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// Why the list that begins with `start` is refused; empty when it is text to convert. A NUL
// byte, as in UTF-16 text without a byte-order mark or in a spreadsheet's own format, is
// never part of plain text.
std::string_view why_not_text_to_convert(std::string_view start) {
  if (start.starts_with(kUtf16LittleEndianMark) || start.starts_with(kUtf16BigEndianMark)) {
    return ::gettext("is UTF-16 text; save it as UTF-8");
  }
  if (start.find('\0') != std::string_view::npos) {
    return ::gettext("is not plain text; save it as UTF-8 text");
  }
  return {};
}

// Reads from `fd` until `buffer` is full or the file ends, at most `read_size` bytes a read.
// Returns the number of bytes read, or minus the errno of a read that failed.
long read_until_full(FileSystem& files, int fd, std::span<char> buffer, std::size_t read_size) {
  std::size_t held = 0;
  while (held < buffer.size()) {
    const long got =
        files.read(fd, buffer.subspan(held, std::min(read_size, buffer.size() - held)));
    if (got < 0) {
      return got;
    }
    if (got == 0) {
      break;
    }
    held += static_cast<std::size_t>(got);
  }
  return static_cast<long>(held);
}

// Deals the phone numbers of one list, given piece by piece as they are read, into group
// files and echoes them on the console.
class GroupDealer {
 public:
  GroupDealer(std::string_view list_name, std::int32_t per_file_limit, GroupFileWriter& writer,
              Console& console)
      : list_name_(list_name),
        per_file_limit_(per_file_limit),
        writer_(writer),
        console_(console) {}

  // Feeds `bytes`, the next bytes of the list; a number at its end may go on in the next call.
  void deal(std::string_view bytes);

  // Ends the last number and the last group. Call once, after the whole list has been dealt.
  ConversionResult finish();

  // Reading the list failed with `error`: drops the group being filled.
  ConversionResult stop_reading(int error);

  // The list cannot be converted, for `reason`.
  ConversionResult refuse_list(std::string_view reason);

 private:
  [[nodiscard]] bool has_begun() const { return group_number_ > 0; }
  void begin_entry();
  void end_entry();
  void begin_next_group();
  void end_open_group();
  void report_unwritable_file();
  void report_file_from_earlier_run();

  const std::string_view list_name_;
  const std::int32_t per_file_limit_;
  GroupFileWriter& writer_;
  Console& console_;
  std::int64_t group_number_ = 0;
  std::int32_t contacts_in_group_ = 0;
  bool entry_open_ = false;
  bool any_group_failed_ = false;
};

void GroupDealer::deal(std::string_view bytes) {
  std::size_t next = 0;
  while (next < bytes.size()) {
    if (!entry_open_) {
      while (next < bytes.size() && is_separator(bytes[next])) {
        ++next;
      }
      if (next == bytes.size()) {
        return;
      }
      begin_entry();
    }
    std::size_t end = next;
    while (end < bytes.size() && !is_separator(bytes[end])) {
      ++end;
    }
    const std::string_view piece = bytes.substr(next, end - next);
    writer_.add_phone_bytes(piece);
    console_.print(piece);
    if (end == bytes.size()) {
      return;
    }
    end_entry();
    next = end + 1;
  }
}

ConversionResult GroupDealer::finish() {
  if (entry_open_) {
    end_entry();
  }
  if (!has_begun()) {
    return refuse_list(::gettext("holds no phone number"));
  }
  end_open_group();
  report_file_from_earlier_run();
  return any_group_failed_ ? ConversionResult::Incomplete : ConversionResult::Converted;
}

ConversionResult GroupDealer::stop_reading(int error) {
  writer_.discard_group();
  if (entry_open_) {
    console_.end_line();
  }
  if (!has_begun()) {
    return refuse_list(std::strerror(error));
  }
  console_.report(list_name_, std::strerror(error));
  report_file_from_earlier_run();
  return ConversionResult::ReadFailed;
}

ConversionResult GroupDealer::refuse_list(std::string_view reason) {
  console_.report(list_name_, reason);
  return ConversionResult::ListUnreadable;
}

void GroupDealer::begin_entry() {
  if (!has_begun() || contacts_in_group_ == per_file_limit_) {
    end_open_group();
    begin_next_group();
  }
  writer_.begin_contact(contacts_in_group_);
  console_.print(kRead);
  entry_open_ = true;
}

void GroupDealer::end_entry() {
  writer_.end_contact();
  console_.end_line();
  ++contacts_in_group_;
  entry_open_ = false;
}

void GroupDealer::begin_next_group() {
  ++group_number_;
  contacts_in_group_ = 0;
  const bool opened = writer_.begin_group(group_number_);
  console_.print(kOutputFile);
  console_.print_line(group_file_name(group_number_));
  if (!opened) {
    report_unwritable_file();
  }
}

void GroupDealer::end_open_group() {
  if (has_begun() && !writer_.end_group(contacts_in_group_)) {
    report_unwritable_file();
  }
}

void GroupDealer::report_unwritable_file() {
  const std::string name = group_file_name(group_number_);
  console_.print(kCannotWriteFile);
  console_.print_line(name);
  console_.report(name, writer_.failure_reason());
  any_group_failed_ = true;
}

// A group file numbered just past this run's last stems from an earlier, longer run: copied
// to the phone with the others, it would send that group too.
void GroupDealer::report_file_from_earlier_run() {
  if (writer_.group_file_exists(group_number_ + 1)) {
    console_.report(group_file_name(group_number_ + 1),
                    ::gettext("is from an earlier run and not part of this conversion"));
  }
}

// Reads the open list `list_fd` in blocks of `block_size` bytes and deals it out, once its
// start has been judged whole, however the reads split it: a FIFO or a pipe may hand it over
// a few bytes at a time.
ConversionResult read_and_deal(FileSystem& files, int list_fd, std::size_t block_size,
                               GroupDealer& dealer) {
  std::vector<char> block(std::max(block_size, kJudgedStartSize));
  long got = read_until_full(files, list_fd, std::span(block).first(kJudgedStartSize), block_size);
  if (got < 0) {
    return dealer.stop_reading(static_cast<int>(-got));
  }
  std::string_view start(block.data(), static_cast<std::size_t>(got));
  if (const std::string_view refusal = why_not_text_to_convert(start); !refusal.empty()) {
    return dealer.refuse_list(refusal);
  }
  if (start.starts_with(kUtf8ByteOrderMark)) {
    start.remove_prefix(kUtf8ByteOrderMark.size());
  }
  dealer.deal(start);
  bool more_to_read = static_cast<std::size_t>(got) == kJudgedStartSize;
  while (more_to_read) {
    got = files.read(list_fd, std::span(block).first(block_size));
    if (got < 0) {
      return dealer.stop_reading(static_cast<int>(-got));
    }
    dealer.deal(std::string_view(block.data(), static_cast<std::size_t>(got)));
    more_to_read = got > 0;
  }
  return dealer.finish();
}

}  // namespace

ConversionResult convert_phone_list(const std::filesystem::path& list_path,
                                    std::int32_t per_file_limit,
                                    const std::filesystem::path& output_directory,
                                    FileSystem& files, Console& console, std::size_t block_size) {
  assert(per_file_limit >= 1 && block_size >= 1);
  const int list_fd = files.open_for_reading(list_path);
  if (list_fd < 0) {
    console.report(list_path.native(), std::strerror(-list_fd));
    return ConversionResult::ListUnreadable;
  }
  GroupFileWriter writer(files, output_directory, files.identity(list_fd));
  GroupDealer dealer(list_path.native(), per_file_limit, writer, console);
  const ConversionResult result = read_and_deal(files, list_fd, block_size, dealer);
  files.close(list_fd);
  return result;
}

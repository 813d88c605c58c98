#include "phone_list_conversion.h"

#include <fcntl.h>
#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "group_file.h"

namespace {

// Console lines are handed to the progress stream in blocks of about this size, unless each
// line is to be shown as it ends.
constexpr std::size_t kConsoleBlockSize = std::size_t{64} * 1024;

// The list's first bytes, up to this many, are judged together before anything is written.
constexpr std::size_t kJudgedStartSize = 4096;

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";

// Space, tab, line feed, vertical tab, form feed and carriage return separate numbers.
bool is_separator(char byte) {
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// Whether the list that begins with `start` is UTF-16 text, by its byte-order mark.
bool is_utf16_text(std::string_view start) {
  return start.starts_with(kUtf16LittleEndianMark) || start.starts_with(kUtf16BigEndianMark);
}

// Whether the list that begins with `start` is not plain text: a NUL byte, as in UTF-16 text
// without a byte-order mark or in a spreadsheet's own format, is never part of one.
bool is_not_plain_text(std::string_view start) {
  return start.find('\0') != std::string_view::npos;
}

// Why the list that begins with `start` is refused; empty when it is text to convert.
std::string_view why_not_text_to_convert(std::string_view start) {
  if (is_utf16_text(start)) {
    return ::gettext("is UTF-16 text; save it as UTF-8");
  }
  if (is_not_plain_text(start)) {
    return ::gettext("is not plain text; save it as UTF-8 text");
  }
  return {};
}

// Drops a UTF-8 byte-order mark from the front of the list's first bytes.
void skip_utf8_byte_order_mark(std::string_view& start) {
  if (start.starts_with(kUtf8ByteOrderMark)) {
    start.remove_prefix(kUtf8ByteOrderMark.size());
  }
}

// Prints "change_utf8: NAME: REASON" on the console's reasons stream, after the progress
// lines before it, so that a log of both streams reads in order.
void report_reason(const ConversionConsole& console, std::string_view name,
                   std::string_view reason) {
  console.progress.flush();
  console.reasons << "change_utf8: " << name << ": " << reason << '\n';
}

// One read(2) of at most `size` bytes, repeated when a signal interrupts it.
ssize_t read_some(int fd, char* data, std::size_t size) {
  while (true) {
    const ssize_t got = ::read(fd, data, size);
    if (got >= 0 || errno != EINTR) {
      return got;
    }
  }
}

// Reads from `fd` into `buffer` until it is full or the file ends, at most `read_size` bytes
// a read. Returns the number of bytes read, or -1 with errno set when a read fails.
ssize_t read_until_full(int fd, std::span<char> buffer, std::size_t read_size) {
  std::size_t held = 0;
  while (held < buffer.size()) {
    const ssize_t got =
        read_some(fd, buffer.data() + held, std::min(read_size, buffer.size() - held));
    if (got < 0) {
      return -1;
    }
    if (got == 0) {
      break;
    }
    held += static_cast<std::size_t>(got);
  }
  return static_cast<ssize_t>(held);
}

// Deals phone numbers, given piece by piece as they are read, into group files and echoes
// them on the console.
class GroupDealer {
 public:
  GroupDealer(std::int32_t per_file_limit, GroupFileWriter& writer,
              const ConversionConsole& console)
      : per_file_limit_(per_file_limit), writer_(writer), console_(console) {}

  // Feeds `bytes`, the next bytes of the list; a number at its end may go on in the next call.
  void deal(std::string_view bytes);

  // Whether the first number has begun, and with it the first group.
  [[nodiscard]] bool has_begun() const { return group_number_ > 0; }

  // Ends the last number and the last group. Call once, after the whole list has been dealt.
  ConversionResult finish();

  // Drops the group being filled, after the list could not be read to its end for `reason`.
  ConversionResult stop_reading(std::string_view list_name, std::string_view reason);

  // Prints a reason line after the progress lines before it.
  void report(std::string_view name, std::string_view reason);

 private:
  void begin_entry();
  void end_entry();
  void begin_next_group();
  void end_open_group();
  void report_unwritable_file();
  void report_file_from_earlier_run();
  void echo(std::string_view text);
  void end_console_line();
  void write_console_lines();

  const std::int32_t per_file_limit_;
  GroupFileWriter& writer_;
  const ConversionConsole& console_;
  std::int64_t group_number_ = 0;
  std::int32_t contacts_in_group_ = 0;
  bool entry_open_ = false;
  bool any_group_failed_ = false;
  std::string console_lines_;  // not yet handed to the progress stream
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
    echo(piece);
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
    return ConversionResult::ListUnreadable;
  }
  end_open_group();
  write_console_lines();
  report_file_from_earlier_run();
  return any_group_failed_ ? ConversionResult::Incomplete : ConversionResult::Converted;
}

ConversionResult GroupDealer::stop_reading(std::string_view list_name, std::string_view reason) {
  writer_.discard_group();
  if (entry_open_) {
    end_console_line();
  }
  report(list_name, reason);
  report_file_from_earlier_run();
  return ConversionResult::ReadFailed;
}

void GroupDealer::report(std::string_view name, std::string_view reason) {
  write_console_lines();
  report_reason(console_, name, reason);
}

void GroupDealer::begin_entry() {
  if (!has_begun() || contacts_in_group_ == per_file_limit_) {
    end_open_group();
    begin_next_group();
  }
  writer_.begin_contact(contacts_in_group_);
  echo("read:");
  entry_open_ = true;
}

void GroupDealer::end_entry() {
  writer_.end_contact();
  end_console_line();
  ++contacts_in_group_;
  entry_open_ = false;
}

void GroupDealer::begin_next_group() {
  ++group_number_;
  contacts_in_group_ = 0;
  const bool opened = writer_.begin_group(group_number_);
  echo("輸出檔案:");
  echo(group_file_name(group_number_));
  end_console_line();
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
  echo("無法寫入檔案:");
  echo(name);
  end_console_line();
  report(name, writer_.failure_reason());
  any_group_failed_ = true;
}

// A group file numbered just past this run's last stems from an earlier, longer run: copied
// to the phone with the others, it would send that group too.
void GroupDealer::report_file_from_earlier_run() {
  if (writer_.group_file_exists(group_number_ + 1)) {
    report(group_file_name(group_number_ + 1),
           ::gettext("is from an earlier run and not part of this conversion"));
  }
}

void GroupDealer::echo(std::string_view text) {
  console_lines_ += text;
  if (console_lines_.size() >= kConsoleBlockSize) {
    write_console_lines();
  }
}

void GroupDealer::end_console_line() {
  echo("\n");
  if (console_.line_by_line) {
    write_console_lines();
  }
}

void GroupDealer::write_console_lines() {
  console_.progress.write(console_lines_.data(),
                          static_cast<std::streamsize>(console_lines_.size()));
  console_lines_.clear();
  if (console_.line_by_line) {
    console_.progress.flush();
  }
}

}  // namespace

ConversionResult convert_phone_list(int list_fd, std::string_view list_name,
                                    std::int32_t per_file_limit, GroupFileWriter& writer,
                                    const ConversionConsole& console, std::size_t block_size) {
  assert(per_file_limit >= 1 && block_size >= 1 && !writer.group_is_open());
  std::vector<char> block(std::max(block_size, kJudgedStartSize));
  // The list's start is judged whole, however the reads split it: a FIFO or a pipe may hand
  // it over a few bytes at a time.
  ssize_t got = read_until_full(list_fd, std::span(block.data(), kJudgedStartSize), block_size);
  if (got < 0) {
    report_reason(console, list_name, std::strerror(errno));
    return ConversionResult::ListUnreadable;
  }
  std::string_view start(block.data(), static_cast<std::size_t>(got));
  if (const std::string_view refusal = why_not_text_to_convert(start); !refusal.empty()) {
    report_reason(console, list_name, refusal);
    return ConversionResult::ListUnreadable;
  }
  skip_utf8_byte_order_mark(start);
  GroupDealer dealer(per_file_limit, writer, console);
  dealer.deal(start);
  bool more_to_read = static_cast<std::size_t>(got) == kJudgedStartSize;
  while (more_to_read) {
    got = read_some(list_fd, block.data(), block_size);
    if (got < 0) {
      const std::string reason = std::strerror(errno);
      if (!dealer.has_begun()) {
        report_reason(console, list_name, reason);
        return ConversionResult::ListUnreadable;
      }
      return dealer.stop_reading(list_name, reason);
    }
    dealer.deal(std::string_view(block.data(), static_cast<std::size_t>(got)));
    more_to_read = got > 0;
  }
  const ConversionResult result = dealer.finish();
  if (result == ConversionResult::ListUnreadable) {
    report_reason(console, list_name, ::gettext("holds no phone number"));
  }
  return result;
}

ConversionResult convert_phone_list(const std::filesystem::path& list_path,
                                    std::int32_t per_file_limit,
                                    const std::filesystem::path& output_directory,
                                    const ConversionConsole& console) {
  const int list_fd = ::open(list_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (list_fd < 0) {
    report_reason(console, list_path.native(), std::strerror(errno));
    return ConversionResult::ListUnreadable;
  }
  struct stat status {};
  ::fstat(list_fd, &status);  // cannot fail on an open descriptor
  GroupFileWriter writer(output_directory, FileIdentity{status.st_dev, status.st_ino});
  const ConversionResult result =
      convert_phone_list(list_fd, list_path.native(), per_file_limit, writer, console);
  ::close(list_fd);
  return result;
}

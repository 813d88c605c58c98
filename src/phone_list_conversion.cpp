#include "phone_list_conversion.h"

#include <fcntl.h>
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

// Drops a UTF-8 byte-order mark from the front of the list's first bytes.
void skip_utf8_byte_order_mark(std::string_view& start) {
  if (start.starts_with(kUtf8ByteOrderMark)) {
    start.remove_prefix(kUtf8ByteOrderMark.size());
  }
}

// Prints "change_utf8: NAME: REASON" on `reasons`.
void report_reason(std::ostream& reasons, std::string_view name, std::string_view reason) {
  reasons << "change_utf8: " << name << ": " << reason << '\n';
}

// Reads from `fd` into `block` until it holds at least `wanted` bytes or the file ends.
// Returns the number of bytes read, or -1 with errno set when a read fails.
ssize_t read_at_least(int fd, std::span<char> block, std::size_t wanted) {
  std::size_t held = 0;
  while (held < wanted) {
    const ssize_t got = ::read(fd, block.data() + held, block.size() - held);
    if (got < 0 && errno == EINTR) {
      continue;
    }
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

  // Drops the group being filled, after the list could not be read to its end.
  ConversionResult stop_reading();

 private:
  void begin_entry();
  void end_entry();
  void begin_next_group();
  void end_open_group();
  void report_unwritable_file();
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
  return any_group_failed_ ? ConversionResult::Incomplete : ConversionResult::Converted;
}

ConversionResult GroupDealer::stop_reading() {
  writer_.discard_group();
  if (entry_open_) {
    end_console_line();
  }
  write_console_lines();
  return ConversionResult::ReadFailed;
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
  report_reason(console_.reasons, name, writer_.failure_reason());
  any_group_failed_ = true;
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
  GroupDealer dealer(per_file_limit, writer, console);
  std::vector<char> block(std::max(block_size, kUtf8ByteOrderMark.size()));
  // The list's first bytes are judged together, however the reads split them.
  std::size_t wanted = kUtf8ByteOrderMark.size();
  while (true) {
    const ssize_t got = read_at_least(list_fd, block, wanted);
    if (got < 0) {
      report_reason(console.reasons, list_name, std::strerror(errno));
      return dealer.has_begun() ? dealer.stop_reading() : ConversionResult::ListUnreadable;
    }
    if (got == 0) {
      break;
    }
    std::string_view bytes(block.data(), static_cast<std::size_t>(got));
    if (wanted > 1) {
      wanted = 1;
      if (is_utf16_text(bytes)) {
        report_reason(console.reasons, list_name, "is UTF-16 text; save it as UTF-8");
        return ConversionResult::ListUnreadable;
      }
      skip_utf8_byte_order_mark(bytes);
    }
    dealer.deal(bytes);
  }
  const ConversionResult result = dealer.finish();
  if (result == ConversionResult::ListUnreadable) {
    report_reason(console.reasons, list_name, "holds no phone number");
  }
  return result;
}

ConversionResult convert_phone_list(const std::filesystem::path& list_path,
                                    std::int32_t per_file_limit,
                                    const std::filesystem::path& output_directory,
                                    const ConversionConsole& console) {
  const int list_fd = ::open(list_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (list_fd < 0) {
    report_reason(console.reasons, list_path.native(), std::strerror(errno));
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

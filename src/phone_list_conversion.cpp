#include "phone_list_conversion.h"

#include <fstream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "group_file.h"

namespace {

// The list is read in blocks of this size; a phone number may span blocks.
constexpr std::size_t kReadBlockSize = std::size_t{256} * 1024;
// Console lines are handed to the console stream in blocks of about this size, unless the
// stream asks for every output to be flushed (std::unitbuf, as on a terminal).
constexpr std::size_t kConsoleBlockSize = std::size_t{64} * 1024;

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";

// Space, tab, line feed, vertical tab, form feed and carriage return separate numbers.
bool is_separator(char byte) {
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// Deals phone numbers, given piece by piece as they are read, into group files and echoes
// them on the console.
class GroupDealer {
 public:
  GroupDealer(std::int32_t per_file_limit, GroupFileWriter& writer, std::ostream& console)
      : per_file_limit_(per_file_limit), writer_(writer), console_(console) {}

  // Feeds `bytes`, the next bytes of the list; a number at its end may go on in the next call.
  void deal(std::string_view bytes);

  // Ends the last number and the last group. Call once, after the whole list has been dealt.
  ConversionResult finish();

 private:
  void begin_entry();
  void end_entry();
  void end_open_group();
  void report_unwritable_file();
  void echo(std::string_view text);
  void end_console_line();
  void write_console_lines();

  const std::int64_t per_file_limit_;
  GroupFileWriter& writer_;
  std::ostream& console_;
  std::int64_t contacts_read_ = 0;
  std::int64_t group_number_ = 0;
  bool entry_open_ = false;
  bool any_group_failed_ = false;
  std::string console_lines_;  // not yet handed to console_
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
  if (contacts_read_ == 0) {
    return ConversionResult::ListUnreadable;
  }
  end_open_group();
  write_console_lines();
  return any_group_failed_ ? ConversionResult::Incomplete : ConversionResult::Converted;
}

void GroupDealer::begin_entry() {
  const std::int64_t position = contacts_read_ % per_file_limit_;
  if (position == 0) {
    end_open_group();
    ++group_number_;
    const bool opened = writer_.begin_group(group_number_);
    echo("輸出檔案:");
    echo(group_file_name(group_number_));
    end_console_line();
    if (!opened) {
      report_unwritable_file();
    }
  }
  writer_.begin_contact(position);
  echo("read:");
  entry_open_ = true;
}

void GroupDealer::end_entry() {
  writer_.end_contact();
  end_console_line();
  ++contacts_read_;
  entry_open_ = false;
}

void GroupDealer::end_open_group() {
  if (group_number_ == 0) {
    return;
  }
  const std::int64_t total = (contacts_read_ - 1) % per_file_limit_ + 1;
  if (!writer_.end_group(total)) {
    report_unwritable_file();
  }
}

void GroupDealer::report_unwritable_file() {
  echo("無法寫入檔案:");
  echo(group_file_name(group_number_));
  end_console_line();
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
  if ((console_.flags() & std::ios::unitbuf) != 0 && !console_lines_.empty()) {
    write_console_lines();
  }
}

void GroupDealer::write_console_lines() {
  console_.write(console_lines_.data(), static_cast<std::streamsize>(console_lines_.size()));
  console_lines_.clear();
}

}  // namespace

ConversionResult convert_phone_list(std::istream& list, std::int32_t per_file_limit,
                                    GroupFileWriter& writer, std::ostream& console) {
  GroupDealer dealer(per_file_limit, writer, console);
  std::vector<char> block(kReadBlockSize);
  bool at_list_start = true;
  while (list.read(block.data(), static_cast<std::streamsize>(block.size())) || list.gcount() > 0) {
    std::string_view bytes(block.data(), static_cast<std::size_t>(list.gcount()));
    if (at_list_start) {
      at_list_start = false;
      if (bytes.starts_with(kUtf16LittleEndianMark) || bytes.starts_with(kUtf16BigEndianMark)) {
        return ConversionResult::ListUnreadable;
      }
      if (bytes.starts_with(kUtf8ByteOrderMark)) {
        bytes.remove_prefix(kUtf8ByteOrderMark.size());
      }
    }
    dealer.deal(bytes);
  }
  return dealer.finish();
}

ConversionResult convert_phone_list(const std::filesystem::path& list_path,
                                    std::int32_t per_file_limit,
                                    const std::filesystem::path& output_directory,
                                    std::ostream& console) {
  std::ifstream list(list_path, std::ios::binary);
  if (!list.is_open()) {
    return ConversionResult::ListUnreadable;
  }
  GroupFileWriter writer(output_directory, list_path);
  return convert_phone_list(list, per_file_limit, writer, console);
}

#include "group_file.h"

#include <sys/stat.h>

#include <charconv>
#include <system_error>

namespace {

// Markup is handed to the file in blocks of about this size.
constexpr std::size_t kFlushThreshold = 256 * 1024;

// & < > would break the markup; every other byte is copied as it is.
bool is_markup_byte(char byte) {
  return byte == '&' || byte == '<' || byte == '>';
}

// The entity that stands for a markup byte.
std::string_view markup_entity(char byte) {
  switch (byte) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    default:
      return "&gt;";
  }
}

// Writes `number` in decimal into `digits` and returns the number of digits.
std::size_t format_number(std::int64_t number, char (&digits)[24]) {
  return static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, number).ptr -
                                  digits);
}

// Device and inode of `path` (following links); false when it cannot be looked up.
bool file_identity(const std::filesystem::path& path, std::uintmax_t& device,
                   std::uintmax_t& inode) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return false;
  }
  device = status.st_dev;
  inode = status.st_ino;
  return true;
}

// Removes a partly written group file: a regular file or a link, never a directory or device.
void remove_partial_file(const std::filesystem::path& path) {
  std::error_code error;
  const auto type = std::filesystem::symlink_status(path, error).type();
  if (type == std::filesystem::file_type::regular || type == std::filesystem::file_type::symlink) {
    std::filesystem::remove(path, error);
  }
}

}  // namespace

std::string group_file_name(std::int64_t group_number) {
  return "output_" + std::to_string(group_number) + ".xml";
}

GroupFileWriter::GroupFileWriter(std::filesystem::path directory,
                                 const std::filesystem::path& file_to_protect)
    : directory_(std::move(directory)) {
  if (!file_to_protect.empty()) {
    protects_a_file_ = file_identity(file_to_protect, protected_device_, protected_inode_);
  }
  // pending_ does the buffering; out_ hands each block straight to the file.
  out_.rdbuf()->pubsetbuf(nullptr, 0);
  pending_.reserve(kFlushThreshold);
}

bool GroupFileWriter::begin_group(std::int64_t group_number) {
  const std::filesystem::path path = directory_ / group_file_name(group_number);
  if (is_protected(path)) {
    return false;
  }
  out_.open(path, std::ios::binary | std::ios::trunc);
  if (!out_.is_open()) {
    out_.clear();
    return false;
  }
  open_path_ = path;
  write_failed_ = false;
  pending_ += "<xml><string id=\"name\">output_";
  write_number(group_number);
  pending_ += "</string>";
  return true;
}

void GroupFileWriter::add_contact(std::int64_t position, std::string_view phone) {
  begin_contact(position);
  add_phone_bytes(phone);
  end_contact();
}

void GroupFileWriter::begin_contact(std::int64_t position) {
  if (!out_.is_open()) {
    return;
  }
  char digits[24];
  const std::string_view number(digits, format_number(position, digits));
  pending_ += "<contactData><string id=\"peopleName";
  pending_ += number;
  pending_ += "\">People</string><string id=\"peoplePhone";
  pending_ += number;
  pending_ += "\">";
}

void GroupFileWriter::add_phone_bytes(std::string_view piece) {
  if (!out_.is_open()) {
    return;
  }
  std::size_t copied_up_to = 0;
  for (std::size_t i = 0; i < piece.size(); ++i) {
    if (is_markup_byte(piece[i])) {
      pending_.append(piece.substr(copied_up_to, i - copied_up_to));
      pending_.append(markup_entity(piece[i]));
      copied_up_to = i + 1;
    }
  }
  pending_.append(piece.substr(copied_up_to));
  flush_when_full();
}

void GroupFileWriter::end_contact() {
  if (!out_.is_open()) {
    return;
  }
  pending_ += "</string></contactData>";
  flush_when_full();
}

bool GroupFileWriter::end_group(std::int64_t total) {
  if (!out_.is_open()) {
    return true;
  }
  pending_ += "<int id=\"total\">";
  write_number(total);
  pending_ += "</int></xml>";
  flush_pending();
  out_.close();
  const bool written = !write_failed_ && !out_.fail();
  out_.clear();
  if (!written) {
    remove_partial_file(open_path_);
  }
  return written;
}

bool GroupFileWriter::is_protected(const std::filesystem::path& path) const {
  std::uintmax_t device = 0;
  std::uintmax_t inode = 0;
  return protects_a_file_ && file_identity(path, device, inode) && device == protected_device_ &&
         inode == protected_inode_;
}

void GroupFileWriter::write_number(std::int64_t number) {
  char digits[24];
  pending_.append(digits, format_number(number, digits));
}

void GroupFileWriter::flush_when_full() {
  if (pending_.size() >= kFlushThreshold) {
    flush_pending();
  }
}

void GroupFileWriter::flush_pending() {
  if (!write_failed_) {
    out_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
    write_failed_ = !out_;
  }
  pending_.clear();
}

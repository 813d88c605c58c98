#include "group_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <system_error>

namespace {

// Markup is handed to the file in blocks of about this size.
constexpr std::size_t kFlushThreshold = std::size_t{256} * 1024;

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

struct FileIdentity {
  std::uintmax_t device;
  std::uintmax_t inode;
  bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path` (following links); nullopt when it cannot be looked up.
std::optional<FileIdentity> identity_of(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return FileIdentity{status.st_dev, status.st_ino};
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
    find_names_of(file_to_protect);
  }
  // pending_ does the buffering; out_ hands each block straight to the file.
  out_.rdbuf()->pubsetbuf(nullptr, 0);
  pending_.reserve(kFlushThreshold);
}

bool GroupFileWriter::begin_group(std::int64_t group_number) {
  const std::filesystem::path path = directory_ / group_file_name(group_number);
  if (std::find(protected_names_.begin(), protected_names_.end(), path.filename()) !=
      protected_names_.end()) {
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

void GroupFileWriter::find_names_of(const std::filesystem::path& file) {
  const std::optional<FileIdentity> file_identity = identity_of(file);
  if (!file_identity) {
    return;
  }
  std::error_code error;
  for (std::filesystem::directory_iterator entry(directory_, error), end; !error && entry != end;
       entry.increment(error)) {
    if (identity_of(entry->path()) == file_identity) {
      protected_names_.push_back(entry->path().filename());
    }
  }
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

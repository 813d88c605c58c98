#include "group_file.h"

#include <libintl.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>

namespace {

// Markup is written to the file in blocks of about this size.
constexpr std::size_t kWriteThreshold = std::size_t{256} * 1024;

// How many temporary names a group tries before it fails: a name may be taken by a file that
// an earlier run left behind when it was killed (in a container, with this very process id).
constexpr int kTemporaryNameAttempts = 100;

// The name of group file `name`'s temporary file on attempt `attempt` (from 0): "." and the
// group file name, then the process id, then ".tmp", or for a later attempt the process id,
// "." and the attempt's number, then ".tmp".
std::string temporary_file_name(std::string_view name, std::string_view process_id, int attempt) {
  std::string temporary = ".";
  temporary += name;
  temporary += ".";
  temporary += process_id;
  if (attempt > 0) {
    temporary += ".";
    temporary += std::to_string(attempt);
  }
  temporary += ".tmp";
  return temporary;
}

// The decimal digits of a number, formatted without allocating.
class DecimalDigits {
 public:
  explicit DecimalDigits(std::int64_t number)
      : size_(static_cast<std::size_t>(
            std::to_chars(digits_, digits_ + sizeof digits_, number).ptr - digits_)) {}
  [[nodiscard]] std::string_view view() const { return {digits_, size_}; }

 private:
  char digits_[20];  // a sign and the 19 digits of the largest 64-bit number
  std::size_t size_;
};

}  // namespace

std::string group_file_name(std::int64_t group_number) {
  return "output_" + std::to_string(group_number) + ".xml";
}

GroupFileWriter::GroupFileWriter(FileSystem& files, std::filesystem::path directory,
                                 std::optional<FileIdentity> file_to_protect)
    : files_(files),
      directory_(std::move(directory)),
      protected_file_(file_to_protect),
      process_id_(std::to_string(::getpid())) {
  pending_.reserve(kWriteThreshold);
}

GroupFileWriter::~GroupFileWriter() {
  discard_group();
}

bool GroupFileWriter::begin_group(std::int64_t group_number) {
  assert(!group_is_open());
  const std::string name = group_file_name(group_number);
  group_failed_ = false;
  final_path_ = directory_ / name;
  if (!name_can_be_replaced(final_path_) || !create_temporary_file(name)) {
    return false;
  }
  pending_ += "<xml><string id=\"name\">";
  pending_ += std::string_view(name).substr(0, name.size() - std::string_view(".xml").size());
  pending_ += "</string>";
  return true;
}

void GroupFileWriter::begin_contact(std::int64_t position) {
  assert(!contact_open_);
  contact_open_ = true;
  if (fd_ < 0) {
    return;
  }
  const DecimalDigits digits(position);
  pending_ += "<contactData><string id=\"peopleName";
  pending_ += digits.view();
  pending_ += "\">People</string><string id=\"peoplePhone";
  pending_ += digits.view();
  pending_ += "\">";
}

void GroupFileWriter::add_phone_bytes(std::string_view piece) {
  assert(contact_open_);
  if (fd_ < 0) {
    return;
  }
  phone_text_.append(piece, pending_);
  write_when_full();
}

void GroupFileWriter::end_contact() {
  assert(contact_open_);
  contact_open_ = false;
  if (fd_ < 0) {
    return;
  }
  phone_text_.finish(pending_);
  pending_ += "</string></contactData>";
  write_when_full();
}

bool GroupFileWriter::end_group(std::int64_t total) {
  assert(!contact_open_);
  if (fd_ < 0) {
    return true;
  }
  pending_ += "<int id=\"total\">";
  pending_ += DecimalDigits(total).view();
  pending_ += "</int></xml>";
  write_pending();
  if (const int error = files_.close(std::exchange(fd_, -1)); error != 0) {
    fail_group(std::strerror(error));
  }
  if (!group_failed_) {
    if (const int error = files_.rename(temporary_path_, final_path_); error != 0) {
      fail_group(std::strerror(error));
    }
  }
  if (group_failed_) {
    remove_temporary_file();
    return false;
  }
  remove_nothing_on_termination();
  return true;
}

void GroupFileWriter::discard_group() {
  contact_open_ = false;
  if (fd_ < 0) {
    return;
  }
  files_.close(std::exchange(fd_, -1));
  pending_.clear();
  phone_text_ = {};
  remove_temporary_file();
}

bool GroupFileWriter::group_file_exists(std::int64_t group_number) {
  return files_.look_up(directory_ / group_file_name(group_number)).taken;
}

bool GroupFileWriter::name_can_be_replaced(const std::filesystem::path& path) {
  const NameStatus name = files_.look_up(path);
  if (name.is_directory) {
    fail_group(std::strerror(EISDIR));
    return false;
  }
  if (protected_file_ && name.leads_to == protected_file_) {
    fail_group(::gettext("leads to the phone list being read, which is never replaced"));
    return false;
  }
  return true;
}

// Creates the group's temporary file under the first of its names that nothing stands under.
bool GroupFileWriter::create_temporary_file(std::string_view name) {
  int result = -EEXIST;
  for (int attempt = 0; attempt < kTemporaryNameAttempts && result == -EEXIST; ++attempt) {
    temporary_path_ = directory_ / temporary_file_name(name, process_id_, attempt);
    result = files_.create_new(temporary_path_);
  }
  if (result < 0) {
    fail_group(std::strerror(-result));
    return false;
  }
  fd_ = result;
  // Only now is the file this run's own, for a termination signal to remove.
  remove_on_termination(temporary_path_);
  return true;
}

void GroupFileWriter::write_when_full() {
  if (pending_.size() >= kWriteThreshold) {
    write_pending();
  }
}

void GroupFileWriter::write_pending() {
  if (!group_failed_) {
    if (const int error = files_.write_all(fd_, pending_); error != 0) {
      fail_group(std::strerror(error));
    }
  }
  pending_.clear();
}

void GroupFileWriter::fail_group(std::string_view reason) {
  if (!group_failed_) {  // the first failure is the one the user can act on
    group_failed_ = true;
    failure_reason_ = reason;
  }
}

void GroupFileWriter::remove_temporary_file() {
  files_.remove(temporary_path_);
  remove_nothing_on_termination();
}

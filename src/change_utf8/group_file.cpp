#include "change_utf8/group_file.h"

#include <cassert>
#include <charconv>
#include <utility>

#include "core/message_catalog.h"

namespace {

// Markup is written to the file in blocks of about this size.
constexpr std::size_t kWriteBlockSize = std::size_t{256} * 1024;

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
                                 TerminationSlot& slot, std::optional<FileIdentity> file_to_protect)
    : files_(files),
      directory_(std::move(directory)),
      protected_file_(file_to_protect),
      file_(files, slot) {}

std::optional<Failure> GroupFileWriter::begin_group(std::int64_t group_number) {
  assert(!file_.is_open());
  const std::string name = group_file_name(group_number);
  const std::filesystem::path path = directory_ / name;
  if (auto failure = check_name_can_be_replaced(path)) {
    return failure;
  }
  if (auto failure = file_.create(path)) {
    return failure;
  }
  markup_.reserve(kWriteBlockSize);
  markup_ += "<xml><string id=\"name\">";
  markup_ += std::string_view(name).substr(0, name.size() - std::string_view(".xml").size());
  markup_ += "</string>";
  return std::nullopt;
}

void GroupFileWriter::begin_contact(std::int64_t position) {
  assert(!contact_open_);
  contact_open_ = true;
  const DecimalDigits digits(position);
  markup_ += "<contactData><string id=\"peopleName";
  markup_ += digits.view();
  markup_ += "\">People</string><string id=\"peoplePhone";
  markup_ += digits.view();
  markup_ += "\">";
}

void GroupFileWriter::add_phone_bytes(std::string_view piece) {
  assert(contact_open_);
  phone_text_.encode(piece, markup_);
  write_full_block();
}

void GroupFileWriter::end_contact() {
  assert(contact_open_);
  contact_open_ = false;
  phone_text_.finish(markup_);
  markup_ += "</string></contactData>";
  write_full_block();
}

std::optional<Failure> GroupFileWriter::end_group(std::int64_t total) {
  assert(!contact_open_);
  if (!file_.is_open()) {
    markup_.clear();  // of a group that could not begin
    return std::nullopt;
  }
  markup_ += "<int id=\"total\">";
  markup_ += DecimalDigits(total).view();
  markup_ += "</int></xml>";
  file_.write(markup_);
  markup_.clear();
  return file_.commit();
}

std::optional<Failure> GroupFileWriter::discard_group() {
  contact_open_ = false;
  phone_text_ = {};
  markup_.clear();
  return file_.discard();
}

std::optional<Failure> GroupFileWriter::check_no_file_from_earlier_run(std::int64_t group_number) {
  const std::string subject = group_file_name(group_number);
  NameStatus name = files_.look_up(directory_ / subject, subject);
  if (name.failure) {
    return std::move(name.failure);
  }
  if (!name.taken || (protected_file_ && name.leads_to == protected_file_)) {
    return std::nullopt;
  }
  return Failure{subject,
                 catalog::gettext("is from an earlier run and not part of this conversion; "
                                  "delete it and any higher-numbered group files before "
                                  "copying them to the phone")};
}

std::optional<Failure> GroupFileWriter::check_name_can_be_replaced(
    const std::filesystem::path& path) {
  const std::string subject = path.filename().native();
  NameStatus name = files_.look_up(path, subject);
  if (name.failure) {
    // Whether the name leads to the list is unknown: it is not replaced.
    return std::move(name.failure);
  }
  if (name.is_directory) {
    return FileSystem::is_a_directory(subject);
  }
  if (protected_file_ && name.leads_to == protected_file_) {
    return Failure{subject,
                   catalog::gettext("is the phone list being read; rename the list or run the "
                                    "program in another folder")};
  }
  return std::nullopt;
}

void GroupFileWriter::write_full_block() {
  if (markup_.size() >= kWriteBlockSize) {
    file_.write(markup_);
    markup_.clear();
  }
}

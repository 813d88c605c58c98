#include "change_utf8/replacement_file.h"

#include <unistd.h>

#include <cassert>
#include <utility>

#include "core/message_catalog.h"
#include "core/notes.h"

namespace {

// How many temporary names are tried before creating fails.
constexpr int kTemporaryNameAttempts = 100;

// The temporary name for `target` on attempt `attempt` (from 0).
std::filesystem::path temporary_path(const std::filesystem::path& target,
                                     std::string_view process_id, int attempt) {
  std::string name = ".";
  name += target.filename().native();
  name += ".";
  name += process_id;
  if (attempt > 0) {
    name += ".";
    name += std::to_string(attempt);
  }
  name += ".tmp";
  return target.parent_path() / name;
}

}  // namespace

ReplacementFile::ReplacementFile(FileSystem& files, TerminationSlot& slot)
    : files_(files), slot_(slot), process_id_(std::to_string(::getpid())) {}

ReplacementFile::~ReplacementFile() {
  (void)discard();  // nobody is left to tell
}

std::optional<Failure> ReplacementFile::create(const std::filesystem::path& target) {
  assert(!is_open());
  target_ = target;
  first_failure_.reset();
  // A signal that arrives between the creation and slot_.hold() would leave the
  // file behind: it waits until the file can be removed.
  const TerminationSignalsHeld held;
  return create_first_free(target);
}

std::optional<Failure> ReplacementFile::create_first_free(const std::filesystem::path& target) {
  const std::string subject = target.filename().native();
  std::filesystem::path path;
  OpenedFile created{.fd = -1, .failure = std::nullopt, .name_taken = true};
  for (int attempt = 0; attempt < kTemporaryNameAttempts && created.name_taken; ++attempt) {
    path = temporary_path(target, process_id_, attempt);
    created = files_.create_new(path, subject);
  }
  if (created.failure) {
    if (created.name_taken) {  // left by earlier runs killed with this process id, each time
      created.failure->reason = filled_in(
          catalog::gettext("every temporary name is taken (the last tried: %s: %s); delete "
                           "the hidden .%s.*.tmp files"),
          {path.filename().native(), created.failure->reason, subject});
    }
    return std::move(created.failure);
  }
  fd_ = created.fd;
  temporary_path_ = path;
  slot_.hold(temporary_path_);
  return std::nullopt;
}

std::optional<Failure> ReplacementFile::commit() {
  assert(is_open());
  close_file();
  if (!first_failure_) {
    if (auto failure = files_.rename(temporary_path_, target_, target_.filename().native())) {
      fail(std::move(failure));
    } else {
      temporary_path_.clear();
      slot_.clear();
    }
  }
  return first_failure_;
}

std::optional<Failure> ReplacementFile::discard() {
  close_file();
  if (!is_open()) {
    return std::nullopt;
  }
  const std::filesystem::path removed = std::exchange(temporary_path_, {});
  std::optional<Failure> failure = files_.remove(removed, removed.filename().native());
  slot_.clear();
  if (failure) {
    failure->reason =
        filled_in(catalog::gettext("cannot be removed: %s; delete it by hand"), {failure->reason});
  }
  return failure;
}

void ReplacementFile::write(std::string_view bytes) {
  if (fd_ >= 0 && !first_failure_) {
    fail(files_.write_all(fd_, bytes, target_.filename().native()));
  }
}

void ReplacementFile::fail(std::optional<Failure> failure) {
  if (!first_failure_) {  // the first failure is the one the user can act on
    first_failure_ = std::move(failure);
  }
}

void ReplacementFile::close_file() {
  if (fd_ >= 0) {
    fail(files_.close(std::exchange(fd_, -1), target_.filename().native()));
  }
}

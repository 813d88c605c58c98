#ifndef CHANGE_UTF8_REPLACEMENT_FILE_H_
#define CHANGE_UTF8_REPLACEMENT_FILE_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "change_utf8/termination_signals.h"
#include "core/failure.h"
#include "core/file_system.h"

// A file that replaces whatever stands under its name (its target) whole, or not at all: it is
// written under a hidden temporary name of this process in the target's folder and renamed over
// the target only when complete, so the target is never seen half written. In use: create,
// append*, then commit or discard; then it can create the next file.
//
// While the temporary file exists, it is held in the TerminationSlot, so that a termination
// signal removes it: the slot holds one file, so one temporary file exists at a time.
class ReplacementFile {
 public:
  // Works through `files` and holds each temporary file in `slot`; both must outlive it.
  ReplacementFile(FileSystem& files, TerminationSlot& slot);
  // Discards the file, if one is open.
  ~ReplacementFile();

  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Creates the temporary file for `target` in the target's folder: "." and the target's name,
  // then "." and the process id, then ".tmp"; when a file left by an earlier run has that name
  // (killed in a container, with this very process id), the process id followed by "." and a
  // number from 1 to 99. The file is created only where nothing stands, with the permissions
  // 0666 less the umask, and termination signals are held back until a signal would remove it.
  // Fails, creating nothing, when the file cannot be created; when every name is taken, the
  // failure's reason says so, names the last one tried and asks for the hidden files to be
  // deleted.
  // REQUIRES: !is_open().
  [[nodiscard]] std::optional<Failure> create(const std::filesystem::path& target);

  // Whether a temporary file exists: create succeeded, and neither commit nor discard has
  // succeeded since.
  [[nodiscard]] bool is_open() const { return !temporary_path_.empty(); }

  // Writes `bytes` at the end of the file (the caller collects them into blocks). Once a write
  // has failed, the rest is dropped and commit reports that first failure. Does nothing when
  // no file is open.
  void write(std::string_view bytes);

  // Closes the file and renames it over the target. On failure the
  // target stays as it was and the temporary file is still open, to be discarded.
  // REQUIRES: is_open().
  [[nodiscard]] std::optional<Failure> commit();

  // Removes the temporary file, if one is open; one already gone (its folder deleted) is no
  // failure. Fails when it cannot be removed: it then stays, named by the failure, whose
  // reason asks for it to be deleted by hand, and the file is closed all the same.
  [[nodiscard]] std::optional<Failure> discard();

 private:
  [[nodiscard]] std::optional<Failure> create_first_free(const std::filesystem::path& target);
  void fail(std::optional<Failure> failure);
  void close_file();

  FileSystem& files_;
  TerminationSlot& slot_;
  const std::string process_id_;  // in decimal, for the temporary files' names
  std::filesystem::path target_;
  std::filesystem::path temporary_path_;  // empty while no file is open
  int fd_ = -1;                           // the temporary file, until it is closed
  std::optional<Failure> first_failure_;  // of a write or close since create
};

#endif  // CHANGE_UTF8_REPLACEMENT_FILE_H_

#include "change_utf8/phone_list_conversion.h"

#include <cassert>
#include <optional>
#include <string>
#include <string_view>

#include "change_utf8/console.h"
#include "change_utf8/entry_notes.h"
#include "core/message_catalog.h"

namespace {

// The conversion's console texts, each followed by a file name or a number.
constexpr std::string_view kOutputFile = "輸出檔案:";
constexpr std::string_view kRead = "read:";
constexpr std::string_view kCannotWriteFile = "無法寫入檔案:";

// Deals the entries of one list, given piece by piece, into group files of at most the limit,
// echoes them on the console, and looks for a file left by an earlier run.
class GroupDealer {
 public:
  GroupDealer(std::int32_t per_file_limit, GroupFileWriter& writer, EntryNotes& notes,
              Console& console)
      : per_file_limit_(per_file_limit), writer_(writer), notes_(notes), console_(console) {}

  // Deals `piece`, the next piece of an entry of the list.
  void deal(const EntryPiece& piece) {
    if (piece.begins_entry) {
      begin_entry(piece.line);
    }
    writer_.add_phone_bytes(piece.bytes);
    console_.print_from_list(piece.bytes);
    notes_.add(piece.bytes, piece.ends_entry);
    if (piece.ends_entry) {
      end_entry();
    }
  }

  // Ends the group being filled: the list has ended.
  void end_last_group() { end_open_group(); }

  // Drops the group being filled and the entry being read: reading the list failed.
  void drop_group_being_filled();

  // Whether a group file could not be written.
  [[nodiscard]] bool any_group_failed() const { return any_group_failed_; }

  // Notes a file under the group file name just past the last group written whole, or that
  // the name could not be looked up.
  void note_file_from_earlier_run();

 private:
  void begin_entry(std::int64_t line);
  void end_entry();
  void begin_next_group();
  void end_open_group();
  void announce_unwritable_file(const Failure& failure);
  void discard_open_group();

  const std::int32_t per_file_limit_;
  GroupFileWriter& writer_;
  EntryNotes& notes_;
  Console& console_;
  std::int64_t group_number_ = 0;
  std::int64_t last_group_written_whole_ = 0;
  std::int32_t contacts_in_group_ = 0;
  bool entry_open_ = false;
  bool any_group_failed_ = false;
};

void GroupDealer::drop_group_being_filled() {
  discard_open_group();
  if (entry_open_) {
    console_.end_line();
    entry_open_ = false;
  }
}

void GroupDealer::note_file_from_earlier_run() {
  if (const auto failure = writer_.check_no_file_from_earlier_run(last_group_written_whole_ + 1)) {
    console_.write_reason(*failure);
  }
}

void GroupDealer::begin_entry(std::int64_t line) {
  if (group_number_ == 0 || contacts_in_group_ == per_file_limit_) {
    end_open_group();
    begin_next_group();
  }
  writer_.begin_contact(contacts_in_group_);
  console_.print(kRead);
  entry_open_ = true;
  notes_.begin(line);
}

void GroupDealer::end_entry() {
  writer_.end_contact();
  console_.end_line();
  ++contacts_in_group_;
  entry_open_ = false;
  notes_.end();
}

void GroupDealer::begin_next_group() {
  ++group_number_;
  contacts_in_group_ = 0;
  const std::optional<Failure> failure = writer_.begin_group(group_number_);
  console_.print(kOutputFile);
  console_.print_line(group_file_name(group_number_));
  if (failure) {
    announce_unwritable_file(*failure);
  }
}

void GroupDealer::end_open_group() {
  if (group_number_ == 0) {
    return;
  }
  if (const std::optional<Failure> failure = writer_.end_group(contacts_in_group_)) {
    announce_unwritable_file(*failure);
    discard_open_group();
  } else {
    last_group_written_whole_ = group_number_;
  }
}

void GroupDealer::announce_unwritable_file(const Failure& failure) {
  console_.print(kCannotWriteFile);
  console_.print_line(group_file_name(group_number_));
  console_.write_reason(failure);
  any_group_failed_ = true;
}

void GroupDealer::discard_open_group() {
  if (const std::optional<Failure> failure = writer_.discard_group()) {
    console_.write_reason(*failure);  // a temporary file left behind, for the user to remove
  }
}

// Deals the list's entries to its end or to a failed read. Returns the failure, if any.
std::optional<Failure> deal_whole_list(ListEntries& list, GroupDealer& dealer) {
  while (true) {
    const std::optional<EntryPiece> piece = list.next();
    if (piece) {
      dealer.deal(*piece);
    } else if (list.failure()) {
      dealer.drop_group_being_filled();
      return list.failure();
    } else {
      dealer.end_last_group();
      return std::nullopt;
    }
  }
}

}  // namespace

std::optional<Failure> open_phone_list(ListEntries& list, const std::filesystem::path& path,
                                       std::optional<FileIdentity> answers_file) {
  if (std::optional<Failure> failure = list.reader().open(path, answers_file)) {
    return failure;
  }
  if (list.reader().zip_archive() || list.reader().binary_file()) {
    return Failure{
        list.reader().name(),
        extraction_advice(list.reader().name(),
                          catalog::gettext("is not plain text, perhaps a spreadsheet or "
                                           "word-processor file: extract_phone_numbers %s > %s "
                                           "writes only its phone numbers; then run change_utf8 "
                                           "again and type %s"))};
  }
  if (list.find_entry()) {
    return std::nullopt;
  }
  if (list.failure()) {
    return list.failure();
  }
  // Only white space is as empty as no byte: an editor shows nothing either way.
  return Failure{list.reader().name(),
                 catalog::gettext("is an empty file, or holds only white space")};
}

ConversionResult convert_phone_list(ListEntries& list, std::int32_t per_file_limit,
                                    GroupFileWriter& writer, Console& console) {
  assert(per_file_limit >= 1);
  EntryNotes notes(list.reader().name(), console);
  GroupDealer dealer(per_file_limit, writer, notes, console);
  const std::optional<Failure> read_failure = deal_whole_list(list, dealer);
  if (read_failure) {
    console.write_reason(*read_failure);
  }
  notes.note_after_list();
  dealer.note_file_from_earlier_run();
  if (read_failure) {
    return ConversionResult::ListReadFailed;
  }
  return dealer.any_group_failed() ? ConversionResult::SomeFilesUnwritable
                                   : ConversionResult::Converted;
}

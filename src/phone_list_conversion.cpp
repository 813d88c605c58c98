#include "phone_list_conversion.h"

#include <libintl.h>

#include <cassert>
#include <optional>
#include <string>
#include <string_view>

#include "console.h"
#include "failure.h"
#include "file_system.h"
#include "group_file.h"
#include "phone_entry.h"
#include "shown_text.h"

namespace {

// The conversion's console texts, each followed by a file name or a number.
constexpr std::string_view kOutputFile = "輸出檔案:";
constexpr std::string_view kRead = "read:";
constexpr std::string_view kCannotWriteFile = "無法寫入檔案:";

// Entries that are not phone numbers are named one by one up to this many; the rest counted.
constexpr std::int64_t kEntriesNamed = 10;

// Bytes that hold the characters a note shows and one more, whatever they are: a character is
// at most four bytes, and an incomplete one shows one `?` a byte.
constexpr std::size_t kBytesOfEntryKept = 4 * (kCharactersShownInANote + 1);

// Space, tab, line feed, vertical tab, form feed and carriage return separate numbers.
bool is_separator(char byte) {
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// Deals the phone numbers of one list, given block by block as its text is read, into group
// files, echoes them on the console, and names the entries that are not phone numbers.
class GroupDealer {
 public:
  GroupDealer(std::string_view list_name, std::int32_t per_file_limit, GroupFileWriter& writer,
              Console& console)
      : list_name_(list_name),
        per_file_limit_(per_file_limit),
        writer_(writer),
        console_(console) {}

  // Deals `text`, the next text of the list; a number at its end may go on in the next call.
  void deal(std::string_view text);

  // Ends the last number and the group it is in: the list has ended.
  void end_last_group();

  // Drops the group being filled and the number being read: reading the list failed.
  void drop_group_being_filled();

  // Whether any number has been dealt.
  [[nodiscard]] bool has_begun() const { return group_number_ > 0; }

  // Whether a group file could not be written.
  [[nodiscard]] bool any_group_failed() const { return any_group_failed_; }

  // Notes a file under the group file name just past the last group written whole.
  void note_file_from_earlier_run();

  // Notes how many entries that are not phone numbers were not named one by one.
  void note_entries_not_named();

 private:
  void begin_entry();
  void add_to_entry(std::string_view piece, bool entry_ends_with_it);
  void end_entry();
  void note_entry_unless_phone_number();
  void begin_next_group();
  void end_open_group();
  void announce_unwritable_file(const Failure& failure);
  void discard_open_group();

  const std::string_view list_name_;
  const std::int32_t per_file_limit_;
  GroupFileWriter& writer_;
  Console& console_;
  PhoneNumberCheck phone_number_check_;
  std::string entry_start_;  // the entry's first kBytesOfEntryKept bytes
  std::int64_t line_ = 1;    // of the list, at the text dealt so far
  std::int64_t entry_line_ = 0;
  std::int64_t entries_not_phone_numbers_ = 0;
  std::int64_t group_number_ = 0;
  std::int64_t last_group_written_whole_ = 0;
  std::int32_t contacts_in_group_ = 0;
  bool entry_open_ = false;
  bool any_group_failed_ = false;
};

void GroupDealer::deal(std::string_view text) {
  std::size_t next = 0;
  while (next < text.size()) {
    if (!entry_open_) {
      while (next < text.size() && is_separator(text[next])) {
        line_ += text[next] == '\n' ? 1 : 0;
        ++next;
      }
      if (next == text.size()) {
        return;
      }
      begin_entry();
    }
    std::size_t end = next;
    while (end < text.size() && !is_separator(text[end])) {
      ++end;
    }
    add_to_entry(text.substr(next, end - next), end < text.size());
    if (end == text.size()) {
      return;
    }
    end_entry();
    next = end;
  }
}

void GroupDealer::end_last_group() {
  if (entry_open_) {
    end_entry();
  }
  end_open_group();
}

void GroupDealer::drop_group_being_filled() {
  discard_open_group();
  if (entry_open_) {
    console_.end_line();
    entry_open_ = false;
  }
}

void GroupDealer::note_file_from_earlier_run() {
  const std::int64_t next_group = last_group_written_whole_ + 1;
  if (writer_.other_file_under_group_name(next_group)) {
    console_.write_reason(group_file_name(next_group),
                          ::gettext("is from an earlier run and not part of this conversion; "
                                    "delete it and any higher-numbered group files before "
                                    "copying them to the phone"));
  }
}

void GroupDealer::note_entries_not_named() {
  const std::int64_t not_named = entries_not_phone_numbers_ - kEntriesNamed;
  if (not_named <= 0) {
    return;
  }
  console_.write_reason(list_name_, with_number(::ngettext("%s more entry is not a phone number",
                                                           "%s more entries are not phone numbers",
                                                           static_cast<unsigned long>(not_named)),
                                                not_named));
}

void GroupDealer::begin_entry() {
  if (!has_begun() || contacts_in_group_ == per_file_limit_) {
    end_open_group();
    begin_next_group();
  }
  writer_.begin_contact(contacts_in_group_);
  console_.print(kRead);
  entry_open_ = true;
  entry_line_ = line_;
  phone_number_check_.reset();
  entry_start_.clear();
}

void GroupDealer::add_to_entry(std::string_view piece, bool entry_ends_with_it) {
  writer_.add_phone_bytes(piece);
  console_.print_from_list(piece);
  phone_number_check_.add(piece);
  // The entry's start is kept for its note, unless it cannot need one: a phone number seen
  // whole, which is nearly every entry, or one past those that are named.
  const bool may_be_named = !entry_ends_with_it || !phone_number_check_.is_phone_number();
  if (may_be_named && entries_not_phone_numbers_ < kEntriesNamed &&
      entry_start_.size() < kBytesOfEntryKept) {
    entry_start_ += piece.substr(0, kBytesOfEntryKept - entry_start_.size());
  }
}

void GroupDealer::end_entry() {
  writer_.end_contact();
  console_.end_line();
  ++contacts_in_group_;
  entry_open_ = false;
  note_entry_unless_phone_number();
}

// Names an entry that is not a phone number, as one of the first kEntriesNamed: names, header
// cells and other words of a list become contacts all the same, and the user should know.
void GroupDealer::note_entry_unless_phone_number() {
  if (phone_number_check_.is_phone_number() || ++entries_not_phone_numbers_ > kEntriesNamed) {
    return;
  }
  std::string subject(list_name_);
  subject += ':';
  subject += std::to_string(entry_line_);
  subject += ": ";
  subject += shown_in_a_note(entry_start_);
  console_.write_reason(subject, ::gettext("is not a phone number"));
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
  if (!has_begun()) {
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

// Deals the list's text to its end or to a failed read. Returns the failure, if any.
std::optional<Failure> deal_whole_list(ListReader& list, GroupDealer& dealer) {
  while (true) {
    const ListBlock block = list.next_block();
    if (block.failure) {
      dealer.drop_group_being_filled();
      return block.failure;
    }
    if (block.text.empty()) {
      dealer.end_last_group();
      return std::nullopt;
    }
    dealer.deal(block.text);
  }
}

// How a conversion that dealt at least one number ends: `read_failure` when reading the list
// failed part way.
ConversionResult end_conversion(GroupDealer& dealer, const std::optional<Failure>& read_failure,
                                Console& console) {
  if (read_failure) {
    console.write_reason(*read_failure);
  }
  dealer.note_entries_not_named();
  dealer.note_file_from_earlier_run();
  if (read_failure) {
    return ConversionResult::ListReadFailed;
  }
  return dealer.any_group_failed() ? ConversionResult::SomeFilesUnwritable
                                   : ConversionResult::Converted;
}

}  // namespace

ConversionResult convert_phone_list(const std::filesystem::path& list_path,
                                    std::int32_t per_file_limit,
                                    const std::filesystem::path& output_directory,
                                    std::optional<FileIdentity> answers_file, FileSystem& files,
                                    Console& console, std::size_t block_size) {
  assert(per_file_limit >= 1 && block_size >= 1);
  ListReader list(files, block_size);
  std::optional<Failure> why_unusable = list.open(list_path);
  if (!why_unusable && answers_file && list.identity() == answers_file) {
    // Reading it would take the answers away, or wait for the user to type the list.
    why_unusable =
        Failure{list_path.native(), ::gettext("is the standard input, which holds the answers")};
  }
  if (!why_unusable) {
    GroupFileWriter writer(files, output_directory, list.identity());
    GroupDealer dealer(list_path.native(), per_file_limit, writer, console);
    std::optional<Failure> read_failure = deal_whole_list(list, dealer);
    if (dealer.has_begun()) {
      return end_conversion(dealer, read_failure, console);
    }
    why_unusable = read_failure ? std::move(read_failure)
                                : Failure{list_path.native(), ::gettext("holds no phone number")};
  }
  console.write_reason(*why_unusable);
  return ConversionResult::ListUnreadable;
}

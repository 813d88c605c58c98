#ifndef CHANGE_UTF8_ENTRY_NOTES_H_
#define CHANGE_UTF8_ENTRY_NOTES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "change_utf8/phone_number_check.h"
#include "core/utf8.h"

class Console;

// `reason` (from the catalog), which advises running extract_phone_numbers on the list
// `list_name` and then change_utf8 on what it writes, filled in: its first %s with the list's
// name as one word of a shell command (in single quotes, or after ./, where a shell needs it),
// the other two with the file the command writes: numbers.txt, or phone_numbers.txt when
// the list is itself named numbers.txt (the shell would empty it before it is read).
std::string extraction_advice(std::string_view list_name, const char* reason);

// Notes on the console's standard error the entries of a list that are not phone numbers
// (PhoneNumberCheck): each of the first 10 with the list's name, the line it begins on and its
// first characters (shown_in_a_note); after the list, how many more there are, and the command
// that takes only the phone numbers out of such a list (and reads it also when saved as Big5).
// Names, header cells and other words of a list become contacts all the same, and the user should
// know.
class EntryNotes {
 public:
  // Notes entries of the list `list_name` on `console`; both must outlive the notes.
  EntryNotes(std::string_view list_name, Console& console)
      : list_name_(list_name), console_(console) {}

  // One entry, beginning on `line`, given in any number of pieces: begin, add*, end.
  void begin(std::int64_t line) {
    entry_line_ = line;
    phone_number_check_.reset();
    entry_start_.clear();
  }
  // `entry_ends_with_it`: no more pieces follow (so a phone number seen whole keeps nothing).
  void add(std::string_view piece, bool entry_ends_with_it) {
    phone_number_check_.add(piece);
    if (!phone_number_check_.is_phone_number()) {  // a phone number so far is ASCII
      ill_formed_utf8_.add(piece);
    }
    // The entry's start is kept for its note, unless it cannot need one: a phone number seen
    // whole, which is nearly every entry, or one past those that are named.
    if ((!entry_ends_with_it || !phone_number_check_.is_phone_number()) &&
        entries_not_phone_numbers_ < kEntriesNamed) {
      keep_start(piece);
    }
  }
  // Notes the entry, unless it is a phone number or past the first 10 that are not.
  void end() {
    ill_formed_utf8_.end_text();
    if (!phone_number_check_.is_phone_number() && ++entries_not_phone_numbers_ <= kEntriesNamed) {
      note_entry();
    }
  }

  // Ends the notes, after the list's last entry: notes how many entries that are not phone
  // numbers were not named one by one, if any; then, when an entry was not a phone number,
  // the extract_phone_numbers command that writes only the list's phone numbers, saying first
  // that entries held bytes that are not UTF-8 when they did (a list saved as Big5, which that
  // command reads).
  void note_after_list();

 private:
  // Entries that are not phone numbers are named one by one up to this many; the rest counted.
  static constexpr std::int64_t kEntriesNamed = 10;

  void keep_start(std::string_view piece);
  void note_entry();
  void note_entries_not_named();
  void note_extraction_command();

  const std::string_view list_name_;
  Console& console_;
  PhoneNumberCheck phone_number_check_;
  utf8::IllFormedSearch ill_formed_utf8_;
  std::string entry_start_;  // the entry's first bytes, kept for its note
  std::int64_t entry_line_ = 0;
  std::int64_t entries_not_phone_numbers_ = 0;
};

#endif  // CHANGE_UTF8_ENTRY_NOTES_H_

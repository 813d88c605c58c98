#include "entry_notes.h"

#include <libintl.h>

#include "console.h"
#include "shown_text.h"

namespace {

// Entries that are not phone numbers are named one by one up to this many; the rest counted.
constexpr std::int64_t kEntriesNamed = 10;

// Bytes that hold the characters a note shows and one more, whatever they are: a character is
// at most four bytes, and an incomplete one shows one `?` a byte.
constexpr std::size_t kBytesOfEntryKept = 4 * (kCharactersShownInANote + 1);

}  // namespace

void EntryNotes::begin(std::int64_t line) {
  entry_line_ = line;
  phone_number_check_.reset();
  entry_start_.clear();
}

void EntryNotes::add(std::string_view piece, bool entry_ends_with_it) {
  phone_number_check_.add(piece);
  // The entry's start is kept for its note, unless it cannot need one: a phone number seen
  // whole, which is nearly every entry, or one past those that are named.
  const bool may_be_named = !entry_ends_with_it || !phone_number_check_.is_phone_number();
  if (may_be_named && entries_not_phone_numbers_ < kEntriesNamed &&
      entry_start_.size() < kBytesOfEntryKept) {
    entry_start_ += piece.substr(0, kBytesOfEntryKept - entry_start_.size());
  }
}

void EntryNotes::end() {
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

void EntryNotes::note_entries_not_named() {
  const std::int64_t not_named = entries_not_phone_numbers_ - kEntriesNamed;
  if (not_named <= 0) {
    return;
  }
  console_.write_reason(list_name_, with_number(::ngettext("%s more entry is not a phone number",
                                                           "%s more entries are not phone numbers",
                                                           static_cast<unsigned long>(not_named)),
                                                not_named));
}

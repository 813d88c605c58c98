#include "entry_notes.h"

#include <libintl.h>

#include "console.h"
#include "shown_text.h"

namespace {

// Bytes that hold the characters a note shows and one more, whatever they are: a character is
// at most four bytes, and an incomplete one shows one `?` a byte.
constexpr std::size_t kBytesOfEntryKept = 4 * (kCharactersShownInANote + 1);

}  // namespace

void EntryNotes::keep_start(std::string_view piece) {
  if (entry_start_.size() < kBytesOfEntryKept) {
    entry_start_ += piece.substr(0, kBytesOfEntryKept - entry_start_.size());
  }
}

void EntryNotes::note_entry() {
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

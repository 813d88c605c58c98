#include "change_utf8/entry_notes.h"

#include <algorithm>
#include <filesystem>

#include "change_utf8/console.h"
#include "core/message_catalog.h"
#include "core/notes.h"
#include "core/shown_text.h"

namespace {

// Bytes that hold the characters a note shows and one more, whatever they are: a character is
// at most four bytes, and an incomplete one shows one `?` a byte.
constexpr std::size_t kBytesOfEntryKept = 4 * (kCharactersShownInANote + 1);

// Whether a shell takes `byte` in a word as itself: ASCII letters and digits, _ - . / , : + @
// % =, and the bytes of characters beyond ASCII (a Chinese file name needs no quotes).
bool is_plain_in_a_shell_word(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return (value >= 'a' && value <= 'z') || (value >= 'A' && value <= 'Z') ||
         (value >= '0' && value <= '9') || value >= 0x80 ||
         std::string_view("_-./,:+@%=").find(byte) != std::string_view::npos;
}

// `name` as one word of a command for a shell, shown so that it cannot drive a terminal: as it
// is when a shell takes it as itself and it shows unchanged; otherwise in single quotes, each
// ' written '\'' (a `?` shown for a control character then stands inside the quotes). A name
// that starts with `-` is written after `./`, so that the command takes it as a file, not an
// option.
std::string shown_shell_word(std::string_view list_name) {
  std::string name =
      list_name.starts_with('-') ? "./" + std::string(list_name) : std::string(list_name);
  if (std::all_of(name.begin(), name.end(), is_plain_in_a_shell_word) && shown(name) == name) {
    return name;
  }
  std::string word = "'";
  for (const char byte : name) {
    word += byte == '\'' ? std::string_view("'\\''") : std::string_view(&byte, 1);
  }
  word += '\'';
  return shown(word);
}

}  // namespace

std::string extraction_advice(std::string_view list_name, const char* reason) {
  const std::string_view numbers_file = std::filesystem::path(list_name).filename() == "numbers.txt"
                                            ? "phone_numbers.txt"
                                            : "numbers.txt";
  return filled_in(reason, {shown_shell_word(list_name), numbers_file, numbers_file});
}

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
  console_.write_reason(subject, catalog::gettext("is not a phone number"));
}

void EntryNotes::note_after_list() {
  note_entries_not_named();
  if (entries_not_phone_numbers_ > 0) {
    note_extraction_command();
  }
}

void EntryNotes::note_entries_not_named() {
  const std::int64_t not_named = entries_not_phone_numbers_ - kEntriesNamed;
  if (not_named <= 0) {
    return;
  }
  console_.write_reason(list_name_,
                        filled_in(catalog::ngettext("%s more entry is not a phone number",
                                                    "%s more entries are not phone numbers",
                                                    static_cast<unsigned long>(not_named)),
                                  {std::to_string(not_named)}));
}

// The second program of this package takes the phone numbers out of a list of any shape, and
// reads Big5 too: one note says how, with the cause when the list held bytes that are not UTF-8
// (an entry that held them was not a phone number, which is ASCII).
void EntryNotes::note_extraction_command() {
  console_.write_reason(
      list_name_,
      extraction_advice(
          list_name_,
          ill_formed_utf8_.found()
              ? catalog::gettext("holds bytes that are not UTF-8, perhaps Big5 (Notepad's "
                                 "\"ANSI\"): extract_phone_numbers %s > %s writes only its "
                                 "phone numbers; then run change_utf8 again and type %s")
              : catalog::gettext("extract_phone_numbers %s > %s writes only its phone numbers, "
                                 "one a line; then run change_utf8 again and type %s")));
}

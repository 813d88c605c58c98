#ifndef CHANGE_UTF8_NOTES_H_
#define CHANGE_UTF8_NOTES_H_

#include <initializer_list>
#include <iosfwd>
#include <string>
#include <string_view>

// How both programs word their notes on standard error.

// `text`, a reason from the message catalog, with each "%s" in it replaced in turn by the next
// of `fillings` (a "%s" in a filling stays as it is); a "%s" left over stays.
std::string filled_in(std::string_view text, std::initializer_list<std::string_view> fillings);

// Writes one note of the program `program` and a line end on `out`: "PROGRAM: SUBJECT: REASON",
// or "PROGRAM: REASON" when `subject` is empty. The subject is written shown (shown()), so
// that a file's name, a sheet's name or a cell's text can neither drive a terminal nor hide
// what it holds; a subject shown already is written as it is.
void write_note_line(std::ostream& out, std::string_view program, std::string_view subject,
                     std::string_view reason);

#endif  // CHANGE_UTF8_NOTES_H_

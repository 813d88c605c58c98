#include "extract_phone_numbers/extraction_notes.h"

#include <algorithm>
#include <ostream>
#include <utility>

#include "core/message_catalog.h"
#include "core/notes.h"
#include "core/text_rules.h"
#include "core/utf8.h"

namespace {

constexpr std::string_view kProgramName = "extract_phone_numbers";

// Whether the character at the start of `text` may stand between the digits of a number
// written out: + - . ( ), a space, a no-break or an ideographic space.
bool joins_digits(std::string_view text) {
  return std::string_view("+-.() ").find(text[0]) != std::string_view::npos ||
         text.starts_with("\xC2\xA0") || text.starts_with("\xE3\x80\x80");
}

// The count as ngettext takes it, to choose a plural form.
unsigned long plural_of(std::int64_t count) {
  return static_cast<unsigned long>(count);
}

}  // namespace

void write_note(std::ostream& notes, const Failure& note) {
  write_note_line(notes, kProgramName, note.subject, note.reason);
}

// Shows `text` for the notes, and notes whether it completes a run of digits joined only by
// the characters a number written out has between its digits.
void LineSketch::add(std::string_view text) {
  shown_text_.append(text, line_.shown);
  for (std::size_t next = 0; next < text.size();) {
    const std::string_view rest = text.substr(next);
    if (const std::size_t digit = digit_length(rest); digit > 0) {
      line_.holds_digit_run = line_.holds_digit_run || ++digits_in_run_ >= kFewestDigitsOfANumber;
      next += digit;
      continue;
    }
    if (!joins_digits(rest)) {
      digits_in_run_ = 0;
    }
    next += utf8::step_length(rest);
  }
}

NotedLine LineSketch::finish(std::string_view label) {
  shown_text_.finish(line_.shown);
  line_.label = label;
  NotedLine line = std::move(line_);
  line_ = {};
  digits_in_run_ = 0;
  return line;
}

void NoteWriter::begin_source(std::string_view name) {
  name_ = name;
  counts_ = {};
}

void NoteWriter::number_taken(bool found_before) {
  line_gave_number_ = true;
  ++counts_.numbers;
  counts_.numbers_found_before += found_before ? 1 : 0;
}

void NoteWriter::number_left_out(std::string_view dialled, bool named_before) {
  line_gave_number_ = true;  // a number, though not one to write: nothing was missed
  if (named_before) {
    return;
  }
  if (counts_.left_out_noted + static_cast<std::int64_t>(left_out_.size()) < kNotesPerSource) {
    left_out_.emplace_back(dialled);
  } else {
    ++counts_.left_out_not_noted;
  }
}

void NoteWriter::cell_taken(std::string_view cell, std::string_view dialled,
                            std::string_view prefix) {
  if (counts_.cells_noted + static_cast<std::int64_t>(taken_cells_.size()) < kNotesPerSource) {
    taken_cells_.push_back({shown_in_a_note(cell), std::string(dialled), std::string(prefix)});
  } else {
    ++counts_.cells_not_noted;
  }
}

void NoteWriter::e_notation_seen() {
  line_holds_e_notation_ = true;
}

// The notes on a line: the cells taken, the numbers left out, or why it looks like a number was
// missed.
void NoteWriter::end_line(const NotedLine& line) {
  const std::string subject = name_ + ":" + line.label;
  for (const TakenCell& cell : taken_cells_) {
    note(subject + ": " + cell.shown,
         filled_in(catalog::gettext("taken as %s, with the leading %s it lacked"),
                   {cell.dialled, cell.prefix}));
    ++counts_.cells_noted;
  }
  taken_cells_.clear();
  for (const std::string& dialled : left_out_) {
    note(std::string(subject).append(": ").append(dialled),
         catalog::gettext("is not a mobile number; a text message cannot reach it"));
    ++counts_.left_out_noted;
  }
  left_out_.clear();
  const bool gave_number = line_gave_number_;
  const bool holds_e_notation = line_holds_e_notation_;
  line_gave_number_ = false;
  line_holds_e_notation_ = false;
  if (gave_number || (!holds_e_notation && !line.holds_digit_run)) {
    return;
  }
  if (counts_.lines_noted == kNotesPerSource) {
    ++counts_.lines_not_noted;
    return;
  }
  ++counts_.lines_noted;
  note(subject + ": " + line.shown,
       holds_e_notation
           ? catalog::gettext(
                 "holds a number in E notation, whose digits are lost; save the column as "
                 "text")
           : catalog::gettext("holds digits but no phone number"));
}

void NoteWriter::end_source() {
  if (counts_.lines_not_noted > 0) {
    note(name_, filled_in(catalog::ngettext("%s more line holds digits but no phone number",
                                            "%s more lines hold digits but no phone number",
                                            plural_of(counts_.lines_not_noted)),
                          {std::to_string(counts_.lines_not_noted)}));
  }
  if (counts_.cells_not_noted > 0) {
    note(name_,
         filled_in(catalog::ngettext("%s more cell taken with the leading digits it lacked",
                                     "%s more cells taken with the leading digits they lacked",
                                     plural_of(counts_.cells_not_noted)),
                   {std::to_string(counts_.cells_not_noted)}));
  }
  if (counts_.left_out_not_noted > 0) {
    note(name_, filled_in(catalog::ngettext("%s more number is not a mobile number",
                                            "%s more numbers are not mobile numbers",
                                            plural_of(counts_.left_out_not_noted)),
                          {std::to_string(counts_.left_out_not_noted)}));
  }
  if (counts_.numbers_found_before == 0) {
    note(name_, filled_in(catalog::ngettext("%s phone number", "%s phone numbers",
                                            plural_of(counts_.numbers)),
                          {std::to_string(counts_.numbers)}));
  } else {
    note(name_, filled_in(catalog::ngettext("%s phone number, %s of them found before",
                                            "%s phone numbers, %s of them found before",
                                            static_cast<unsigned long>(counts_.numbers)),
                          {std::to_string(counts_.numbers),
                           std::to_string(counts_.numbers_found_before)}));
  }
}

void NoteWriter::note(std::string subject, std::string reason) {
  write_note(notes_, {std::move(subject), std::move(reason)});
}

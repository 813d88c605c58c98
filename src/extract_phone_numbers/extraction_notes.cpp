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
// written out: + - . ( ), a space, a no-break or an ideographic space, a dot of
// group_dot_length.
bool joins_digits(std::string_view text) {
  return std::string_view("+-.() ").find(text[0]) != std::string_view::npos ||
         text.starts_with("\xC2\xA0") || text.starts_with("\xE3\x80\x80") ||
         group_dot_length(text) > 0;
}

// The number of ASCII digits at byte `at` of `text`.
std::size_t digits_at(std::string_view text, std::size_t at) {
  std::size_t end = at;
  while (end < text.size() && is_ascii_digit(text[end])) {
    ++end;
  }
  return end - at;
}

// Whether `text` has 1 or 2 ASCII digits at byte `at`, then no digit, making a value from 1
// to `most`; `end` is then the byte after them.
bool has_day_or_month(std::string_view text, std::size_t at, int most, std::size_t& end) {
  const std::size_t digits = digits_at(text, at);
  if (digits == 0 || digits > 2) {
    return false;
  }
  const int value = std::stoi(std::string(text.substr(at, digits)));
  end = at + digits;
  return value >= 1 && value <= most;
}

// The bytes of a time, HH:MM or HH:MM:SS, at byte `at` of `text`; 0 when none is there.
std::size_t time_length(std::string_view text, std::size_t at) {
  if (digits_at(text, at) != 2 || !text.substr(at + 2).starts_with(':') ||
      digits_at(text, at + 3) != 2) {
    return 0;
  }
  const bool seconds = text.substr(at + 5).starts_with(':') && digits_at(text, at + 6) == 2;
  return seconds ? 8 : 5;
}

// The bytes of a date as iCalendar and vCard write one with its time, YYYYMMDDTHHMMSS[Z] or
// YYYYMMDDTHHMM[Z], at the start of `text`; 0 when none is there.
std::size_t compact_date_time_length(std::string_view text) {
  if (digits_at(text, 0) != 8 || !text.substr(8).starts_with('T')) {
    return 0;
  }
  const std::size_t time = digits_at(text, 9);
  if (time != 4 && time != 6) {
    return 0;
  }
  return 9 + time + (text.substr(9 + time).starts_with('Z') ? 1 : 0);
}

// The bytes of the separator between a date's parts at the start of `text`: - / . or a dot of
// group_dot_length; 0 when there is none.
std::size_t date_separator_length(std::string_view text) {
  if (!text.empty() && std::string_view("-/.").find(text[0]) != std::string_view::npos) {
    return 1;
  }
  return group_dot_length(text);
}

// The bytes of the date and the time after it at the start of `text`: YYYY-MM-DD, YYYY/MM/DD,
// YYYY.MM.DD (or a middle dot between the parts) or the ROC's YYY/MM/DD, perhaps followed by a
// space or T and a time; or compact_date_time_length. 0 when no date starts there.
std::size_t date_length(std::string_view text) {
  if (const std::size_t compact = compact_date_time_length(text); compact > 0) {
    return compact;
  }
  const std::size_t year = digits_at(text, 0);
  if (year >= text.size() || (year != 4 && !((year == 2 || year == 3) && text[year] == '/'))) {
    return 0;
  }
  const std::size_t separator_length = date_separator_length(text.substr(year));
  const std::string_view separator = text.substr(year, separator_length);
  std::size_t end = 0;
  if (separator_length == 0 || !has_day_or_month(text, year + separator_length, 12, end) ||
      !text.substr(end).starts_with(separator) ||
      !has_day_or_month(text, end + separator_length, 31, end)) {
    return 0;
  }
  if (text.substr(end).starts_with(' ') || text.substr(end).starts_with('T')) {
    const std::size_t time = time_length(text, end + 1);
    end += time > 0 ? 1 + time : 0;
  }
  return end;
}

// Whether the run of digits `run`, its ASCII or full-width digits being `digits` in ASCII, is a
// number of another country written with 00 before its country code, or with its country code
// as a group of its own.
bool of_another_country(const PhoneNumberFinder& finder, std::string_view run,
                        std::string_view digits) {
  if (digits.starts_with("00")) {
    return finder.is_number_of_another_country(digits.substr(2));
  }
  const std::size_t first_group = digits_at(run, 0);
  return first_group >= 1 && first_group <= 3 && first_group < run.size() &&
         finder.is_number_of_another_country(digits);
}

// The count as ngettext takes it, to choose a plural form.
unsigned long plural_of(std::int64_t count) {
  return static_cast<unsigned long>(count);
}

// Why hidden rows and columns that held something were not read: the rows, the columns, or
// both, a part for none left out.
std::string hidden_rows_and_columns_reason(std::int64_t rows, std::int64_t columns) {
  const std::string row_count = std::to_string(rows);
  const std::string column_count = std::to_string(columns);
  if (columns == 0) {
    return filled_in(catalog::ngettext("%s hidden row was not read; unhide it to include it",
                                       "%s hidden rows were not read; unhide them to include them",
                                       plural_of(rows)),
                     {row_count});
  }
  if (rows == 0) {
    return filled_in(
        catalog::ngettext("%s hidden column was not read; unhide it to include it",
                          "%s hidden columns were not read; unhide them to include them",
                          plural_of(columns)),
        {column_count});
  }
  const std::string hidden_rows =
      filled_in(catalog::ngettext("%s hidden row", "%s hidden rows", plural_of(rows)), {row_count});
  return filled_in(
      catalog::ngettext("%s and %s hidden column were not read; unhide them to include them",
                        "%s and %s hidden columns were not read; unhide them to include them",
                        plural_of(columns)),
      {hidden_rows, column_count});
}

}  // namespace

void write_note(std::ostream& notes, const Failure& note) {
  write_note_line(notes, kProgramName, note.subject, note.reason);
}

void LineSketch::add(std::string_view text) {
  shown_text_.append(text, line_.shown);
}

DigitsMissed digits_missed(const PhoneNumberFinder& finder, std::string_view piece,
                           const std::vector<FoundNumber>& numbers) {
  std::vector<bool> taken(piece.size(), false);
  for (const FoundNumber& number : numbers) {
    std::fill(taken.begin() + static_cast<std::ptrdiff_t>(number.begin),
              taken.begin() + static_cast<std::ptrdiff_t>(number.end), true);
  }
  DigitsMissed missed = DigitsMissed::None;
  std::string digits;  // of the run, in ASCII
  std::size_t run_begin = 0;
  std::size_t run_end = 0;
  const auto end_run = [&] {
    if (digits.size() >= std::size_t{kFewestDigitsOfANumber}) {
      const bool foreign =
          of_another_country(finder, piece.substr(run_begin, run_end - run_begin), digits);
      missed = std::max(missed, foreign ? DigitsMissed::OfAnotherCountry : DigitsMissed::Some);
    }
    digits.clear();
  };
  for (std::size_t next = 0; next < piece.size();) {
    const std::string_view rest = piece.substr(next);
    const bool after_digit = next > 0 && is_ascii_digit(piece[next - 1]);
    const std::size_t date = taken[next] || after_digit ? 0 : date_length(rest);
    if (taken[next] || date > 0) {
      end_run();
      next += std::max<std::size_t>(date, 1);
      continue;
    }
    if (const std::size_t digit = digit_length(rest); digit > 0) {
      run_begin = digits.empty() ? next : run_begin;
      digits += digit == 1 ? rest[0] : static_cast<char>('0' + (rest[2] - '\x90'));
      next += digit;
      run_end = next;
      continue;
    }
    if (!joins_digits(rest)) {
      end_run();
    }
    next += utf8::step_length(rest);
  }
  end_run();
  return missed;
}

NotedLine LineSketch::finish(std::string_view label) {
  shown_text_.finish(line_.shown);
  line_.label = label;
  NotedLine line = std::move(line_);
  line_ = {};
  return line;
}

void NoteWriter::begin_source(std::string_view name) {
  name_ = name;
  counts_ = {};
}

void NoteWriter::number_taken(bool found_before) {
  line_gave_number_ = true;
  if (found_before) {
    ++counts_.numbers_found_before;
  } else {
    ++counts_.new_numbers;
  }
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

void NoteWriter::bytes_not_utf8(std::string_view label) {
  note(name_ + ":" + std::string(label),
       catalog::gettext("holds bytes that are not UTF-8 from this line on; they are read as "
                        "U+FFFD"));
}

void NoteWriter::digits_seen(DigitsMissed missed) {
  line_missed_ = std::max(line_missed_, missed);
}

// The notes on a line: the cells taken, the numbers left out, or why it looks like a number was
// missed.
void NoteWriter::end_line(const NotedLine& line) {
  const bool e_notation_noted = !line_gave_number_ && line_holds_e_notation_;
  const DigitsMissed missed = line_missed_;
  line_gave_number_ = false;
  line_holds_e_notation_ = false;
  line_missed_ = DigitsMissed::None;
  if (taken_cells_.empty() && left_out_.empty() && !e_notation_noted &&
      missed == DigitsMissed::None) {
    return;  // nothing to note, as on most lines
  }
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
  if (!e_notation_noted && missed == DigitsMissed::None) {
    return;
  }
  if (counts_.lines_noted == kNotesPerSource) {
    ++counts_.lines_not_noted;
    return;
  }
  ++counts_.lines_noted;
  if (e_notation_noted) {
    note(subject + ": " + line.shown,
         catalog::gettext(
             "holds a number in E notation, whose digits are lost; give extract_phone_numbers "
             "the .xlsx or .ods it was saved from, which keeps every digit (a CSV alone: "
             "format the column as text and type the numbers again)"));
  } else if (missed == DigitsMissed::OfAnotherCountry) {
    note(subject + ": " + line.shown,
         catalog::gettext("holds digits but no phone number; a number of another country needs "
                          "+ and its country code"));
  } else {
    note(subject + ": " + line.shown, catalog::gettext("holds digits but no phone number"));
  }
}

void NoteWriter::sheet_hidden(std::string_view sheet) {
  note(std::string(name_).append(":").append(sheet),
       catalog::gettext("is hidden and was not read; unhide it to include it"));
}

void NoteWriter::hidden_rows_and_columns(std::string_view sheet, std::int64_t rows,
                                         std::int64_t columns) {
  note(std::string(name_).append(":").append(sheet), hidden_rows_and_columns_reason(rows, columns));
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
                                            plural_of(counts_.new_numbers)),
                          {std::to_string(counts_.new_numbers)}));
  } else {
    note(name_,
         filled_in(
             catalog::ngettext("%s new phone number; %s found before, not written again",
                               "%s new phone numbers; %s found before, not written again",
                               plural_of(counts_.new_numbers)),
             {std::to_string(counts_.new_numbers), std::to_string(counts_.numbers_found_before)}));
  }
}

void NoteWriter::note(std::string subject, std::string reason) {
  write_note(notes_, {std::move(subject), std::move(reason)});
}

#ifndef CHANGE_UTF8_EXTRACTION_NOTES_H_
#define CHANGE_UTF8_EXTRACTION_NOTES_H_

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "core/failure.h"
#include "core/shown_text.h"
#include "extract_phone_numbers/phone_number_finder.h"

// Of each kind of note, this many are given for a source; the rest are counted after it.
inline constexpr std::int64_t kNotesPerSource = 10;

// Writes "extract_phone_numbers: SUBJECT: REASON", or "extract_phone_numbers: REASON" when the
// subject is empty, and a line end on `notes` (write_note_line: the subject shown).
void write_note(std::ostream& notes, const Failure& note);

// What the notes on a line need of it.
struct NotedLine {
  std::string label;  // FILE:LABEL names the line in its notes
  std::string shown;  // its first kCharactersShownInANote characters, shown
};

// Takes what NotedLine needs of a line given in any number of texts, as they come.
class LineSketch {
 public:
  // Takes `text`, the next text of the line.
  void add(std::string_view text);
  // Ends the line, labelled `label`, and starts afresh for the next.
  [[nodiscard]] NotedLine finish(std::string_view label);

 private:
  ShownText shown_text_{kCharactersShownInANote};
  NotedLine line_;
};

// Whether a text holds digits that look like a number missed, and of what kind.
enum class DigitsMissed {
  None,
  Some,
  // Some of them make a number of another country written without its +.
  OfAnotherCountry,
};

// Whether `piece`, a text searched with `finder`, holds a run of kFewestDigitsOfANumber or more
// digits that overlaps none of `numbers` (taken from it, bytes of `piece`): digits joined only
// by the characters a number written out has between its digits (+ - . ( ), a space, a dot of
// group_dot_length), a date and the time after it (2024-05-10, 2024.05.10 12:00, the ROC's
// 113/05/10, 20240510T001200Z) standing for none. OfAnotherCountry when such a run is a
// number of another country (PhoneNumberFinder::is_number_of_another_country) written with
// 00 before its country code or with its country code as a group of its own (84 903 123 456).
[[nodiscard]] DigitsMissed digits_missed(const PhoneNumberFinder& finder, std::string_view piece,
                                         const std::vector<FoundNumber>& numbers);

// The notes on the lines of sources and after each source, written with write_note, the
// reasons from the message catalog: for each cell taken as a number that lost its national
// prefix; for each number left out as no mobile, once a source; for a line that holds digits
// missed (digits_missed), or that holds no number but a number in E notation; for what a sheet hid
// and was not read; and after each source, the counts past kNotesPerSource of each, how many
// new numbers it gave and how many times it held a number found before.
class NoteWriter {
 public:
  // Writes on `notes`, which must outlive the writer.
  explicit NoteWriter(std::ostream& notes) : notes_(notes) {}

  // Starts the notes of the source `name`.
  void begin_source(std::string_view name);
  // A number taken from the current line; `found_before`: in this source or an earlier one.
  void number_taken(bool found_before);
  // A number of the current line left out, `dialled`, as it is no mobile; `named_before`: in this
  // source, when it is not named again.
  void number_left_out(std::string_view dialled, bool named_before);
  // A cell of the current line, `cell`, taken as `dialled`, which adds `prefix` before its
  // digits: noted with the line.
  void cell_taken(std::string_view cell, std::string_view dialled, std::string_view prefix);
  // A cell of the current line is a number in E notation.
  void e_notation_seen();
  // A piece of the current line holds `missed` (digits_missed).
  void digits_seen(DigitsMissed missed);
  // Ends the current line, `line`: notes its cells taken, then whether it looks like a number
  // was missed in it.
  void end_line(const NotedLine& line);
  // The sheet `sheet` of the source is hidden and was not read.
  void sheet_hidden(std::string_view sheet);
  // Of the sheet `sheet`, `rows` hidden rows and `columns` hidden columns that held something
  // were not read.
  // REQUIRES: rows > 0 or columns > 0.
  void hidden_rows_and_columns(std::string_view sheet, std::int64_t rows, std::int64_t columns);
  // The line labelled `label` and those after it hold bytes that are not UTF-8, read as U+FFFD.
  void bytes_not_utf8(std::string_view label);
  // Ends the source: the counts past kNotesPerSource, and the numbers it gave.
  void end_source();

 private:
  struct TakenCell {
    std::string shown;
    std::string dialled;
    std::string prefix;
  };

  // What is counted of a source.
  struct SourceCounts {
    std::int64_t new_numbers = 0;           // each number the first time it is found
    std::int64_t numbers_found_before = 0;  // each time one is found again
    std::int64_t lines_noted = 0;
    std::int64_t lines_not_noted = 0;
    std::int64_t cells_noted = 0;
    std::int64_t cells_not_noted = 0;
    std::int64_t left_out_noted = 0;
    std::int64_t left_out_not_noted = 0;
  };

  void note(std::string subject, std::string reason);

  std::ostream& notes_;
  std::string name_;
  SourceCounts counts_;
  // The current line.
  bool line_gave_number_ = false;
  bool line_holds_e_notation_ = false;
  DigitsMissed line_missed_ = DigitsMissed::None;
  std::vector<TakenCell> taken_cells_;  // to be noted, at most kNotesPerSource
  std::vector<std::string> left_out_;   // the dialled forms to be noted, likewise
};

#endif  // CHANGE_UTF8_EXTRACTION_NOTES_H_

#ifndef CHANGE_UTF8_EXTRACTION_NOTES_H_
#define CHANGE_UTF8_EXTRACTION_NOTES_H_

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "core/failure.h"
#include "core/shown_text.h"

// Of each kind of note, this many are given for a source; the rest are counted after it.
inline constexpr std::int64_t kNotesPerSource = 10;

// Writes "extract_phone_numbers: SUBJECT: REASON", or "extract_phone_numbers: REASON" when the
// subject is empty, and a line end on `notes` (write_note_line: the subject shown).
void write_note(std::ostream& notes, const Failure& note);

// What the notes on a line need of it.
struct NotedLine {
  std::string label;  // FILE:LABEL names the line in its notes
  std::string shown;  // its first kCharactersShownInANote characters, shown
  // Whether it holds a run of kFewestDigitsOfANumber or more digits joined only by the
  // characters a number written out has between its digits.
  bool holds_digit_run = false;
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
  int digits_in_run_ = 0;
};

// The notes on the lines of sources and after each source, written with write_note, the
// reasons from the message catalog: for each cell taken as a number that lost its national
// prefix;
// for each number left out as no mobile, once a source; for a line that holds no number but a
// run of digits (NotedLine) or a number in E notation; and after each source, the counts past
// kNotesPerSource of each and how many numbers it gave.
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
  // Ends the current line, `line`: notes its cells taken, then whether it looks like a number
  // was missed in it.
  void end_line(const NotedLine& line);
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
    std::int64_t numbers = 0;
    std::int64_t numbers_found_before = 0;
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
  std::vector<TakenCell> taken_cells_;  // to be noted, at most kNotesPerSource
  std::vector<std::string> left_out_;   // the dialled forms to be noted, likewise
};

#endif  // CHANGE_UTF8_EXTRACTION_NOTES_H_

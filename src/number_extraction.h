#ifndef CHANGE_UTF8_NUMBER_EXTRACTION_H_
#define CHANGE_UTF8_NUMBER_EXTRACTION_H_

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "failure.h"
#include "phone_number_finder.h"
#include "shown_text.h"

// A line is searched in pieces of at most this many characters, each ending at whitespace or
// another cell separator where the line has some, so that memory stays bounded however long
// the line is.
inline constexpr std::size_t kLongestPiece = 4096;

// Of each kind of note, this many are given for a source; the rest are counted after it.
inline constexpr std::int64_t kNotesPerSource = 10;

// A set of number keys (FoundNumber::key, never 0) in one array, open addressing: 9 to 18
// bytes a key, a third of what a node-based set takes.
class NumberKeySet {
 public:
  // Adds `key`; false when it was there already. REQUIRES: key != 0.
  bool insert(std::uint64_t key);
  // Removes `key`, if it is there.
  void erase(std::uint64_t key);

 private:
  [[nodiscard]] std::size_t home_of(std::uint64_t key) const;
  void grow();

  std::vector<std::uint64_t> slots_ = std::vector<std::uint64_t>(1024);  // 0: empty
  std::size_t size_ = 0;
};

// What searching a piece of a line gives.
struct PieceYield {
  // The numbers PhoneNumberFinder found in the piece, in order, and after them each cell of 7
  // to 15 digits that overlaps none of them and is a valid number, in order, its begin and end
  // being the cell's place in the piece.
  std::vector<FoundNumber> numbers;
  std::size_t cells_taken = 0;  // how many of `numbers`, at their end, are such cells
  // Whether a cell of the piece is a number in E notation as a spreadsheet writes it.
  bool holds_e_notation = false;
};

// Writes "extract_phone_numbers: SUBJECT: REASON", or "extract_phone_numbers: REASON" when the
// subject is empty, and a line end on `notes`.
void write_note(std::ostream& notes, const Failure& note);

// Takes the phone numbers out of the lines of sources (files, or the cells of a sheet), each
// number once over all sources, and writes notes on what it found and missed.
//
// A source's text comes line by line: add_text any number of times, then end_line with the
// line's label (FILE:LABEL in notes: a line number, or a cell such as 工作表1!B7); or whole
// blocks of text through add_lines, which ends lines at CR, LF and CR LF and labels them with
// their numbers. In each line it takes the numbers PhoneNumberFinder finds, and then each cell
// (the text between whitespace, `,` `;` `|` `、` `，` `；`) of 7 to 15 ASCII or full-width
// digits that overlaps none of them and is a valid number for the region, as a column that
// lost its leading 0.
//
// Numbers and notes come in the order of the lines, though lines are searched a batch at a time
// on two threads: new numbers are all there once take_new_numbers is called, and the notes
// of a source once end_source returns.
//
// Notes go to `notes`, one a line, "extract_phone_numbers: SUBJECT: REASON", the reasons from
// the message catalog: for a line that gives no number but holds a run of 7 or more digits
// (or a number in E notation); for a cell taken as a number; and after each source, the
// counts past kNotesPerSource of both and how many numbers it gave.
class NumberExtraction {
 public:
  // `finder` and `notes` must outlive the extraction.
  NumberExtraction(const PhoneNumberFinder& finder, std::ostream& notes);

  // Starts a source named `name` in notes.
  void begin_source(std::string_view name);
  // The next text of the current line; it holds no line end.
  void add_text(std::string_view text);
  // Ends the current line, labelled `label` in its notes.
  void end_line(std::string_view label);
  // The next text of the source, lines ended by CR, LF or CR LF, labelled 1, 2, ...
  void add_lines(std::string_view text);
  // Ends the source: the last line (add_lines' line without a line end), and then the notes
  // after the source.
  void end_source();
  // Ends a source that failed, without the notes after it: the numbers it gave since the
  // last take_new_numbers are forgotten, as if never found, so that a later source gives them
  // again.
  // REQUIRES: each line of the source was ended by end_line.
  void abandon_source();

  // The numbers found for the first time since the last call, one a line (LF).
  [[nodiscard]] std::string take_new_numbers();
  // How many numbers have been found for the first time, over all sources.
  [[nodiscard]] std::int64_t numbers_found() const { return numbers_found_; }

 private:
  struct TakenCell {
    std::string shown;
    std::string dialled;
  };

  // The end of a line, waiting with what its notes need for the pieces before it.
  struct PendingLineEnd {
    std::size_t pieces_before = 0;  // how many of pending_pieces_ are of it or earlier lines
    std::string label;
    std::string shown;
    bool holds_digit_run = false;
  };

  void queue_pieces(bool line_ended);
  void search_if_batch_full();
  void search_pending();
  void take_yield(std::string_view piece, const PieceYield& yield);
  void take(const FoundNumber& number);
  void scan_digit_runs(std::string_view text);
  void note_line(const PendingLineEnd& line_end);
  void note(std::string subject, std::string reason);

  const PhoneNumberFinder& finder_;
  std::ostream& notes_;
  NumberKeySet seen_;
  std::string new_numbers_;
  std::vector<std::uint64_t> new_keys_;  // of new_numbers_, to forget them
  std::int64_t numbers_found_ = 0;

  // What is counted of a source.
  struct SourceCounts {
    std::int64_t numbers = 0;
    std::int64_t numbers_found_before = 0;
    std::int64_t lines_noted = 0;
    std::int64_t lines_not_noted = 0;
    std::int64_t cells_noted = 0;
    std::int64_t cells_not_noted = 0;
    std::int64_t lines = 0;  // ended by add_lines
  };

  // The source.
  std::string name_;
  SourceCounts counts_;
  bool after_cr_ = false;

  // The line as it comes: what its notes need of its text.
  bool line_open_ = false;
  std::string unsearched_;
  ShownText shown_text_{kCharactersShownInANote};
  std::string shown_line_;
  bool line_holds_digit_run_ = false;
  int digits_in_run_ = 0;

  // The pieces and line ends not yet searched and taken, in order. Searching is nearly all of
  // the time, and each piece is searched alone, so a batch of pieces is searched on two
  // threads; then their numbers are taken and the lines noted in order.
  std::string pending_text_;
  std::vector<std::pair<std::size_t, std::size_t>> pending_pieces_;  // bytes of pending_text_
  std::vector<PendingLineEnd> pending_line_ends_;

  // The line as its pieces are taken.
  bool line_gave_number_ = false;
  bool line_holds_e_notation_ = false;
  std::vector<TakenCell> taken_cells_;  // to be noted, at most kNotesPerSource
};

#endif  // CHANGE_UTF8_NUMBER_EXTRACTION_H_

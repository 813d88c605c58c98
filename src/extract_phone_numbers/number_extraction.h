#ifndef CHANGE_UTF8_NUMBER_EXTRACTION_H_
#define CHANGE_UTF8_NUMBER_EXTRACTION_H_

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "extract_phone_numbers/batch_search.h"
#include "extract_phone_numbers/extraction_notes.h"  // also write_note, for the notes of those who read the sources
#include "extract_phone_numbers/number_key_set.h"
#include "extract_phone_numbers/phone_number_finder.h"
#include "spreadsheet/spreadsheet_reader.h"

// The most bytes in one block of new numbers (NumberExtraction::take_new_numbers).
inline constexpr std::size_t kNumbersBlockSize = std::size_t{64} * 1024;

// When the new numbers of a source are given.
enum class SourceNumbers {
  AsFound,  // written as take_new_numbers gives them, while its lines are searched
  // Held by the caller until the source has been read whole, as a spreadsheet's are: when it
  // fails instead (abandon_source), the extraction forgets them, and a later source gives them.
  HeldUntilItEnds,
};

// Which of the numbers found are written.
enum class NumbersWritten {
  // Those a text message reaches (FoundNumber::mobile); each other one is left out, and named
  // in a note once a source.
  Mobiles,
  All,
};

// Takes the phone numbers out of the lines of sources (files, or the cells of a sheet), each
// number once over all sources, and writes notes on what it found, left out and missed.
//
// A source's text comes line by line: add_text any number of times, then end_line with the
// line's label (FILE:LABEL in notes: a line number, or a cell such as 工作表1!B7); or whole
// blocks of text through add_lines, which ends lines at CR, LF and CR LF and labels them with
// their numbers. In each line it takes the numbers PhoneNumberFinder finds, and then each cell
// that is a number read alone, as a column that lost its leading 0 is (search_piece); a
// spreadsheet's number cell comes through add_number_cell.
//
// Numbers and notes come in the order of the lines, though lines are searched a batch at a time
// on two threads while the next batch is read (BatchSearch): take_new_numbers gives those of
// the batches searched so far, the numbers of a source are all there once end_lines returns,
// and its notes once end_source returns.
//
// Notes go to `notes`, one a line, "extract_phone_numbers: SUBJECT: REASON" (NoteWriter).
class NumberExtraction {
 public:
  // `finder` and `notes` must outlive the extraction.
  NumberExtraction(const PhoneNumberFinder& finder, std::ostream& notes,
                   NumbersWritten written = NumbersWritten::Mobiles);

  // Starts a source named `name` in notes, whose new numbers are given as `numbers` says.
  void begin_source(std::string_view name, SourceNumbers numbers = SourceNumbers::AsFound);
  // The next text of the current line; it holds no line end.
  void add_text(std::string_view text);
  // The current line is a spreadsheet's number cell of the exact value `value`
  // (SpreadsheetCell): searched without the matcher (search_number_cell), and noted as a line.
  // REQUIRES: the current line has no text yet; end_line follows.
  void add_number_cell(std::string_view value);
  // Ends the current line, labelled `label` in its notes.
  void end_line(std::string_view label);
  // The next text of the source, lines ended by CR, LF or CR LF, labelled 1, 2, ...
  void add_lines(std::string_view text);
  // Notes what a sheet of the source hid and was not read, after the notes of the lines
  // before: the whole sheet, or its hidden rows and columns that held something.
  void note_hidden(const HiddenInSheet& hidden);
  // Notes that the line `line` of the source (by default the current line of add_lines), and
  // those after it, hold bytes that are not UTF-8, read as U+FFFD: after the notes on the
  // lines before it.
  void note_bytes_not_utf8(std::optional<std::int64_t> line = std::nullopt);
  // Ends the last line (add_lines' line without a line end) and searches every line given:
  // the source's numbers are then all there for take_new_numbers.
  void end_lines();
  // Ends the source, first its lines (end_lines), then the notes after it.
  void end_source();
  // Ends a source that failed, without the notes after it: the numbers it gave are forgotten,
  // as if never found, so that a later source gives them again.
  // REQUIRES: the source was begun with SourceNumbers::HeldUntilItEnds, and each of its lines
  // was ended by end_line.
  void abandon_source();

  // The numbers found for the first time since the last call, one a line (LF), in blocks of
  // at most kNumbersBlockSize bytes: so a source whose numbers are held until it ends holds
  // them without ever copying them whole.
  [[nodiscard]] std::vector<std::string> take_new_numbers();
  // How many numbers have been found for the first time and written, over all sources.
  [[nodiscard]] std::int64_t numbers_found() const { return numbers_found_; }

 private:
  void queue_pieces(bool line_ended);
  void queue(std::string_view piece);
  void search_if_batch_full();
  void search_batch();
  void search_all();
  void take_batch(const PieceBatch& batch, const std::vector<PieceYield>& yields);
  void take_yield(std::string_view piece, const PieceYield& yield);
  bool take(const FoundNumber& number);

  const PhoneNumberFinder& finder_;
  NoteWriter notes_;
  const NumbersWritten written_;
  NumberKeySet seen_;
  NumberKeySet left_out_;  // of the current source
  std::vector<std::string> new_numbers_;
  std::int64_t numbers_found_ = 0;
  // Whether the new numbers of the current source are held until it ends: their keys are
  // then held in seen_.
  bool numbers_held_ = false;

  // The source's lines as add_lines ends them.
  std::int64_t lines_ = 0;
  bool after_cr_ = false;

  // The line as it comes: its text not yet queued, and what its notes need of it.
  bool line_open_ = false;
  std::string unsearched_;
  LineSketch line_sketch_;

  PieceBatch batch_;  // the pieces and line ends not yet searched
  // The batch before batch_, searched while batch_ fills; its numbers not yet taken.
  std::unique_ptr<BatchSearch> searching_;
};

#endif  // CHANGE_UTF8_NUMBER_EXTRACTION_H_

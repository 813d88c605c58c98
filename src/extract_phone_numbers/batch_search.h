#ifndef CHANGE_UTF8_BATCH_SEARCH_H_
#define CHANGE_UTF8_BATCH_SEARCH_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "extract_phone_numbers/extraction_notes.h"
#include "extract_phone_numbers/phone_number_finder.h"
#include "extract_phone_numbers/piece_search.h"

// The pieces of lines not yet searched and the ends of their lines, in order. Searching is
// nearly all of the time, and each piece is searched alone, so a batch of pieces is searched
// on two threads; then their numbers are taken and the lines noted in order.
class PieceBatch {
 public:
  // The end of a line, after the pieces of it and the lines before.
  struct LineEnd {
    std::size_t pieces_before = 0;
    NotedLine line;
  };

  // Adds a copy of `piece`, the text of a line or a part of it (search_piece); or, when
  // `number_cell`, the value of a spreadsheet's number cell (search_number_cell).
  void add_piece(std::string_view piece, bool number_cell = false);
  // Adds the end of the line whose pieces were added last.
  void add_line_end(NotedLine line);
  // Whether the batch is big enough to search: enough to keep two threads busy for
  // milliseconds, little enough to hold little memory.
  [[nodiscard]] bool full() const;

  // The yields of the pieces, in order, searched on this thread and on a second
  // one where one can be started. An exception on either thread is thrown here once both have
  // stopped.
  [[nodiscard]] std::vector<PieceYield> search(const PhoneNumberFinder& finder) const;
  [[nodiscard]] std::size_t piece_count() const { return pieces_.size(); }
  [[nodiscard]] std::string_view piece(std::size_t index) const;
  [[nodiscard]] const std::vector<LineEnd>& line_ends() const { return line_ends_; }

  // Empties the batch.
  void clear();

 private:
  std::string text_;
  struct Piece {
    std::size_t begin = 0;  // bytes [begin, end) of text_
    std::size_t end = 0;
    bool number_cell = false;
  };

  std::vector<Piece> pieces_;
  std::vector<LineEnd> line_ends_;
};

#endif  // CHANGE_UTF8_BATCH_SEARCH_H_

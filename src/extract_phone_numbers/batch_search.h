#ifndef CHANGE_UTF8_BATCH_SEARCH_H_
#define CHANGE_UTF8_BATCH_SEARCH_H_

#include <atomic>
#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "extract_phone_numbers/extraction_notes.h"
#include "extract_phone_numbers/phone_number_finder.h"
#include "extract_phone_numbers/piece_search.h"

// The pieces of lines not yet searched and the ends of their lines, in order.
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
  // Whether it holds neither a piece nor a line end.
  [[nodiscard]] bool empty() const { return pieces_.empty() && line_ends_.empty(); }

  [[nodiscard]] std::size_t piece_count() const { return pieces_.size(); }
  [[nodiscard]] std::string_view piece(std::size_t index) const;
  [[nodiscard]] bool is_number_cell(std::size_t index) const { return pieces_[index].number_cell; }
  [[nodiscard]] const std::vector<LineEnd>& line_ends() const { return line_ends_; }

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

// The search of one batch: on a thread of its own while the thread that started it reads the
// next batch, then on both once that one waits. Searching is nearly all of the time and each
// piece is searched alone, so reading costs no time of its own, and never more than two
// threads run.
class BatchSearch {
 public:
  // Starts searching the pieces of `batch` with `finder`, which must outlive the search, on a
  // new thread, where one can be started.
  BatchSearch(PieceBatch batch, const PhoneNumberFinder& finder);
  // Stops the search, if wait was not called, and waits for its thread.
  ~BatchSearch();
  BatchSearch(const BatchSearch&) = delete;
  BatchSearch& operator=(const BatchSearch&) = delete;

  // Searches on this thread too the pieces not yet taken, and waits for the other thread: the
  // yields of the pieces, in order. An exception on either thread is thrown here once both
  // have stopped. REQUIRES: called once.
  [[nodiscard]] std::vector<PieceYield> wait();
  [[nodiscard]] const PieceBatch& batch() const { return batch_; }

 private:
  // Searches the next piece not yet taken, until none is left; keeps what it throws in
  // `failure`, and then the other thread stops too.
  void search_pieces(std::exception_ptr& failure);
  void stop_and_join();

  const PieceBatch batch_;
  const PhoneNumberFinder& finder_;
  std::vector<PieceYield> yields_;
  std::atomic<std::size_t> next_to_search_ = 0;
  std::optional<std::thread> thread_;
  std::exception_ptr thread_failure_;
  std::exception_ptr wait_failure_;
};

#endif  // CHANGE_UTF8_BATCH_SEARCH_H_

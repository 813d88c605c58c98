#include "extract_phone_numbers/batch_search.h"

#include <system_error>
#include <utility>

namespace {

// A batch is full at this many pieces (or this many line ends), or this many bytes of them.
constexpr std::size_t kPiecesPerBatch = 512;
constexpr std::size_t kBytesPerBatch = std::size_t{64} * 1024;

}  // namespace

void PieceBatch::add_piece(std::string_view piece, bool number_cell) {
  pieces_.push_back({text_.size(), text_.size() + piece.size(), number_cell});
  text_ += piece;
}

void PieceBatch::add_line_end(NotedLine line) {
  line_ends_.push_back({.pieces_before = pieces_.size(), .line = std::move(line)});
}

bool PieceBatch::full() const {
  return pieces_.size() >= kPiecesPerBatch || text_.size() >= kBytesPerBatch ||
         line_ends_.size() >= kPiecesPerBatch;
}

std::string_view PieceBatch::piece(std::size_t index) const {
  const Piece& piece = pieces_[index];
  return std::string_view(text_).substr(piece.begin, piece.end - piece.begin);
}

BatchSearch::BatchSearch(PieceBatch batch, const PhoneNumberFinder& finder)
    : batch_(std::move(batch)), finder_(finder), yields_(batch_.piece_count()) {
  if (batch_.piece_count() > 1) {
    try {
      thread_.emplace([this] { search_pieces(thread_failure_); });
    } catch (const std::system_error&) {
      // No thread to be had: wait searches all.
    }
  }
}

BatchSearch::~BatchSearch() {
  stop_and_join();
}

std::vector<PieceYield> BatchSearch::wait() {
  search_pieces(wait_failure_);
  stop_and_join();
  for (const std::exception_ptr& failure : {thread_failure_, wait_failure_}) {
    if (failure) {
      std::rethrow_exception(failure);
    }
  }
  return std::move(yields_);
}

void BatchSearch::search_pieces(std::exception_ptr& failure) {
  try {
    for (std::size_t piece = next_to_search_++; piece < batch_.piece_count();
         piece = next_to_search_++) {
      yields_[piece] = batch_.is_number_cell(piece)
                           ? search_number_cell(finder_, batch_.piece(piece))
                           : search_piece(finder_, batch_.piece(piece));
    }
  } catch (...) {
    failure = std::current_exception();
    next_to_search_ = batch_.piece_count();
  }
}

void BatchSearch::stop_and_join() {
  next_to_search_ = batch_.piece_count();  // the thread ends with the piece it searches
  if (thread_ && thread_->joinable()) {
    thread_->join();
  }
}

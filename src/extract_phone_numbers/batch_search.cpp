#include "extract_phone_numbers/batch_search.h"

#include <atomic>
#include <exception>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// A batch is full at this many pieces (or this many line ends), or this many bytes of them.
constexpr std::size_t kPiecesPerBatch = 1024;
constexpr std::size_t kBytesPerBatch = std::size_t{256} * 1024;

// A piece to search: a text, or a number cell's value.
struct PieceToSearch {
  std::string_view text;
  bool number_cell = false;
};

// Searches each of `pieces` into its yield with `finder`, each thread taking the next piece
// not yet taken.
std::vector<PieceYield> search_on_two_threads(const std::vector<PieceToSearch>& pieces,
                                              const PhoneNumberFinder& finder) {
  std::vector<PieceYield> yields(pieces.size());
  std::atomic<std::size_t> next_to_search = 0;
  const auto search = [&] {
    for (std::size_t piece = next_to_search++; piece < pieces.size(); piece = next_to_search++) {
      const PieceToSearch& to_search = pieces[piece];
      yields[piece] = to_search.number_cell ? search_number_cell(finder, to_search.text)
                                            : search_piece(finder, to_search.text);
    }
  };
  std::exception_ptr second_failure;
  std::optional<std::thread> second;
  if (pieces.size() > 1) {
    try {
      second.emplace([&] {
        try {
          search();
        } catch (...) {
          second_failure = std::current_exception();
          next_to_search = pieces.size();  // this thread searches no more either
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: this one searches all.
    }
  }
  try {
    search();
  } catch (...) {
    next_to_search = pieces.size();
    if (second) {
      second->join();
    }
    throw;
  }
  if (second) {
    second->join();
  }
  if (second_failure) {
    std::rethrow_exception(second_failure);
  }
  return yields;
}

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

std::vector<PieceYield> PieceBatch::search(const PhoneNumberFinder& finder) const {
  std::vector<PieceToSearch> pieces;
  pieces.reserve(pieces_.size());
  for (std::size_t index = 0; index < pieces_.size(); ++index) {
    pieces.push_back({piece(index), pieces_[index].number_cell});
  }
  return search_on_two_threads(pieces, finder);
}

std::string_view PieceBatch::piece(std::size_t index) const {
  const Piece& piece = pieces_[index];
  return std::string_view(text_).substr(piece.begin, piece.end - piece.begin);
}

void PieceBatch::clear() {
  text_.clear();
  pieces_.clear();
  line_ends_.clear();
}

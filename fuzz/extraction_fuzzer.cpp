// Fuzzes the taking of numbers out of a list: arbitrary bytes, decoded as extract_phone_numbers
// decodes a file (as UTF-8 when they start as UTF-8, else from CP950), handed to the extraction
// in two blocks split where the first byte says; a vCard's lines unfolded first, as the program
// unfolds them. Aborts when an output line is not a number
// libphonenumber calls valid for the region, or a number is written twice.

#include <cstdint>
#include <cstdlib>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <string_view>

#include "core/cp950_decoder.h"
#include "core/list_reader.h"
#include "extract_phone_numbers/number_extraction.h"
#include "extract_phone_numbers/phone_number_finder.h"
#include "extract_phone_numbers/vcard_unfolder.h"

namespace {

const PhoneNumberFinder& finder() {
  static const PhoneNumberFinder taiwan("TW");
  return taiwan;
}

// The list's text as UTF-8, decoded as the program decodes it.
std::string text_of(std::string_view bytes) {
  if (starts_as_utf8(bytes.substr(0, kJudgedUtf8Size))) {
    return std::string(bytes);
  }
  std::string text;
  Cp950Decoder decoder;
  decoder.decode(bytes, text);
  decoder.finish(text);
  return text;
}

void add_vcard_pieces(std::span<const VcardPiece> pieces, NumberExtraction& extraction) {
  for (const VcardPiece& piece : pieces) {
    extraction.add_text(piece.text);
    if (piece.ended_line != 0) {
      extraction.end_line(std::to_string(piece.ended_line));
    }
  }
}

// Hands `text` to `extraction` in two blocks split at `split`.
void extract(std::string_view text, std::size_t split, NumberExtraction& extraction) {
  if (!starts_vcard(text)) {
    extraction.add_lines(text.substr(0, split));
    extraction.add_lines(text.substr(split));
    return;
  }
  VcardUnfolder unfolder;
  add_vcard_pieces(unfolder.unfold(text.substr(0, split)), extraction);
  add_vcard_pieces(unfolder.unfold(text.substr(split)), extraction);
  add_vcard_pieces(unfolder.finish(), extraction);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::string text =
      text_of(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  const std::size_t split = std::min<std::size_t>(data[0], text.size());
  std::ostringstream notes;
  NumberExtraction extraction(finder(), notes);
  extraction.begin_source("list");
  extract(text, split, extraction);
  extraction.end_source();
  std::string numbers;
  for (const std::string& block : extraction.take_new_numbers()) {
    numbers += block;
  }
  std::set<std::string> written;
  for (std::size_t start = 0, end; start < numbers.size(); start = end + 1) {
    end = numbers.find('\n', start);
    const std::string number = numbers.substr(start, end - start);
    if (!finder().cell_number(number) || !written.insert(number).second) {
      std::abort();
    }
  }
  return 0;
}

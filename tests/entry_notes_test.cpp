#include "entry_notes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "console.h"

namespace {

// The notes on `entries`, each given in pieces of at most `piece_size` bytes, one a line.
std::string notes_on(const std::vector<std::string>& entries, std::size_t piece_size) {
  std::istringstream no_answers;
  std::ostringstream output;
  std::ostringstream errors;
  Console console(no_answers, output, errors, false);
  EntryNotes notes("list.txt", console);
  std::int64_t line = 0;
  for (const std::string_view entry : entries) {
    notes.begin(++line);
    for (std::size_t at = 0; at < entry.size(); at += piece_size) {
      notes.add(entry.substr(at, piece_size), at + piece_size >= entry.size());
    }
    notes.end();
  }
  notes.note_after_list();
  return errors.str();
}

std::string note(int line, std::string_view shown) {
  return "change_utf8: list.txt:" + std::to_string(line) + ": " + std::string(shown) +
         ": is not a phone number\n";
}

TEST(EntryNotesTest, NamesTheFirstTenEntriesThatAreNotPhoneNumbersAndCountsTheRest) {
  const std::vector<std::string> phones = {"0912-345-678", "(02)2345.6789", "+886912345678"};
  std::vector<std::string> words;
  std::string named;
  for (int word = 1; word <= 12; ++word) {
    words.push_back("x" + std::to_string(word));
    named += word <= 10 ? note(word, words.back()) : "";
  }
  std::vector<std::string> eleven(words.begin(), words.begin() + 11);
  const std::string no_number = "\x1B]52;c;cm0gLXJmIH4=\x07";
  const struct {
    std::vector<std::string> entries;
    std::string notes;
  } rows[] = {
      {phones, ""},
      {words, named + "change_utf8: list.txt: 2 more entries are not phone numbers\n"},
      {eleven, named + "change_utf8: list.txt: 1 more entry is not a phone number\n"},
      {{no_number, std::string(33, '9'), std::string(32, '9') + "x"},
       note(1, "?]52;c;cm0gLXJmIH4=?") + note(2, std::string(32, '9') + "...") +
           note(3, std::string(32, '9') + "...")},
  };
  for (const auto& row : rows) {
    for (const std::size_t piece_size : {std::size_t{1}, std::size_t{5}, std::size_t{100}}) {
      EXPECT_EQ(notes_on(row.entries, piece_size), row.notes) << piece_size;
    }
  }
}

}  // namespace

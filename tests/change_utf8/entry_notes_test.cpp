#include "change_utf8/entry_notes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "change_utf8/console.h"

namespace {

// The notes on `entries` of the list `list`, each given in pieces of at most `piece_size`
// bytes, one a line.
std::string notes_on(const std::vector<std::string>& entries, std::size_t piece_size,
                     std::string_view list = "list.txt") {
  std::istringstream no_answers;
  std::ostringstream output;
  std::ostringstream errors;
  Console console(no_answers, output, errors, false);
  EntryNotes notes(list, console);
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

constexpr std::string_view kNotUtf8Hint =
    "change_utf8: list.txt: holds bytes that are not UTF-8, perhaps Big5 (Notepad's \"ANSI\"): "
    "extract_phone_numbers list.txt > numbers.txt writes only its phone numbers; then run "
    "change_utf8 again and type numbers.txt\n";
constexpr std::string_view kHintEnd =
    " > numbers.txt writes only its phone numbers, one a line; then run change_utf8 again and "
    "type numbers.txt\n";

TEST(EntryNotesTest, NamesTheFirstTenEntriesThatAreNotPhoneNumbersCountsTheRestAndPointsTheWay) {
  const std::vector<std::string> phones = {"0912-345-678", "(02)2345.6789", "+886912345678",
                                           "1234567"};
  const std::string big5_wang = "\xA4\xFD";  // 王 in Big5
  const std::string wang = "\xE7\x8E\x8B";
  const std::string hint =
      "change_utf8: list.txt: extract_phone_numbers list.txt" + std::string(kHintEnd);
  const std::string not_utf8_and_hint(kNotUtf8Hint);  // one note, in place of the hint
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
      {words, named + "change_utf8: list.txt: 2 more entries are not phone numbers\n" + hint},
      {eleven, named + "change_utf8: list.txt: 1 more entry is not a phone number\n" + hint},
      {{no_number, std::string(33, '9'), std::string(32, '9') + "x"},
       note(1, "?]52;c;cm0gLXJmIH4=?") + note(2, std::string(32, '9') + "...") +
           note(3, std::string(32, '9') + "...") + hint},
      {{"0912", "345", "678", "+886"},  // the pieces of 0912 345 678 and +886 ...
       note(1, "0912") + note(2, "345") + note(3, "678") + note(4, "+886") + hint},
      {{"0912345678", "09" + big5_wang + "12", wang},
       note(2, "09??12") + note(3, wang) + not_utf8_and_hint},
      {{"x\xE7\x8E", "0912345678"}, note(1, "x??") + not_utf8_and_hint},  // cut at its end
      {{"\xE7\x8E", "\x8B"}, note(1, "??") + note(2, "?") + not_utf8_and_hint},
  };
  for (const auto& row : rows) {
    for (const std::size_t piece_size : {std::size_t{1}, std::size_t{5}, std::size_t{100}}) {
      EXPECT_EQ(notes_on(row.entries, piece_size), row.notes) << piece_size;
    }
  }
}

TEST(EntryNotesTest, QuotesTheListInTheCommandWhereAShellWouldTakeItApart) {
  const std::pair<std::string, std::string> rows[] = {
      // The shell would empty the list before the command reads it: another file is written.
      {"dir/numbers.txt",
       "dir/numbers.txt > phone_numbers.txt writes only its phone numbers, one a line; then run "
       "change_utf8 again and type phone_numbers.txt\n"},
      {"/home/lin/2026-12_list,v1:+@%=.txt", "/home/lin/2026-12_list,v1:+@%=.txt"},
      {"電話清單.txt", "電話清單.txt"},
      {"my list.txt", "'my list.txt'"},
      {"Lin's.txt", "'Lin'\\''s.txt'"},
      {"$HOME;*?[]{}~#!&|<>()`\"\\^", "'$HOME;*?[]{}~#!&|<>()`\"\\^'"},
      {"a\tb\x1B[2J", "'a?b?[2J'"},  // each `?` inside the quotes
      {"\xEF\xBB\xBF.txt", "'?.txt'"},
      {"-x.txt", "./-x.txt"},
      {"-my list", "'./-my list'"},
  };
  for (const auto& [list, word] : rows) {
    const std::string notes = notes_on({"x"}, 100, list);
    EXPECT_EQ(notes.substr(notes.rfind(": extract")),
              ": extract_phone_numbers " + word + std::string(word.ends_with('\n') ? "" : kHintEnd))
        << list;
  }
}

}  // namespace

#include "entry_notes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "console.h"

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

constexpr std::string_view kNotUtf8 =
    "change_utf8: list.txt: holds bytes that are not UTF-8, perhaps Big5 (Notepad's \"ANSI\"); "
    "save it as UTF-8 or Unicode text\n";
constexpr std::string_view kHint =
    "change_utf8: list.txt: extract_phone_numbers list.txt > numbers.txt writes only its phone "
    "numbers, one a line\n";

TEST(EntryNotesTest, NamesTheFirstTenEntriesThatAreNotPhoneNumbersCountsTheRestAndPointsTheWay) {
  const std::vector<std::string> phones = {"0912-345-678", "(02)2345.6789", "+886912345678",
                                           "1234567"};
  const std::string big5_wang = "\xA4\xFD";  // 王 in Big5
  const std::string wang = "\xE7\x8E\x8B";
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
      {words, named + "change_utf8: list.txt: 2 more entries are not phone numbers\n" +
                  std::string(kHint)},
      {eleven,
       named + "change_utf8: list.txt: 1 more entry is not a phone number\n" + std::string(kHint)},
      {{no_number, std::string(33, '9'), std::string(32, '9') + "x"},
       note(1, "?]52;c;cm0gLXJmIH4=?") + note(2, std::string(32, '9') + "...") +
           note(3, std::string(32, '9') + "...") + std::string(kHint)},
      {{"0912", "345", "678", "+886"},  // the pieces of 0912 345 678 and +886 ...
       note(1, "0912") + note(2, "345") + note(3, "678") + note(4, "+886") + std::string(kHint)},
      {{wang, "0912345678"}, note(1, wang) + std::string(kHint)},
      {{"0912345678", "09" + big5_wang + "12", wang},
       note(2, "09??12") + note(3, wang) + std::string(kNotUtf8) + std::string(kHint)},
      {{"x\xE7\x8E", "0912345678"}, note(1, "x??") + std::string(kNotUtf8) + std::string(kHint)},
      {{"\xE7\x8E", "\x8B"},
       note(1, "??") + note(2, "?") + std::string(kNotUtf8) + std::string(kHint)},
  };
  for (const auto& row : rows) {
    for (const std::size_t piece_size : {std::size_t{1}, std::size_t{5}, std::size_t{100}}) {
      EXPECT_EQ(notes_on(row.entries, piece_size), row.notes) << piece_size;
    }
  }
}

TEST(EntryNotesTest, QuotesTheListInTheCommandWhereAShellWouldTakeItApart) {
  const struct {
    std::string list;
    std::string word;
  } rows[] = {
      {"list.txt", "list.txt"},
      {"/home/lin/2026-12_list,v1:+@%=.txt", "/home/lin/2026-12_list,v1:+@%=.txt"},
      {"電話清單.txt", "電話清單.txt"},
      {"my list.txt", "'my list.txt'"},
      {"Lin's.txt", "'Lin'\\''s.txt'"},
      {"$HOME;rm", "'$HOME;rm'"},
      {"*?[]{}~#!&|<>()`\"\\^", "'*?[]{}~#!&|<>()`\"\\^'"},
      {"a\tb\x1B[2J", "'a?b?[2J'"},
      {"\xEF\xBB\xBF"
       "0912.txt",
       "'?0912.txt'"},  // shown as `?`: inside the quotes
      {"\xA4\xFD.txt", "'??.txt'"},
  };
  for (const auto& row : rows) {
    const std::string notes = notes_on({"x"}, 100, row.list);
    const std::size_t command = notes.rfind("extract_phone_numbers ");
    EXPECT_EQ(notes.substr(command), "extract_phone_numbers " + row.word +
                                         " > numbers.txt writes only its phone numbers, one a "
                                         "line\n")
        << row.list;
  }
}

}  // namespace

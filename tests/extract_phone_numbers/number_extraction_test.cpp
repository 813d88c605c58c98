#include "extract_phone_numbers/number_extraction.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "extract_phone_numbers/phone_number_finder.h"

namespace {

constexpr std::string_view kPrefix = "extract_phone_numbers: list.csv";

struct Extracted {
  std::string numbers;
  std::string notes;
};

// Extracts from `text` given in blocks of 1,000 bytes, its new numbers taken after each, as a
// file is read.
Extracted extract(std::string_view text) {
  const PhoneNumberFinder finder("TW");
  std::ostringstream notes;
  NumberExtraction extraction(finder, notes);
  extraction.begin_source("list.csv");
  std::string numbers;
  for (std::size_t block = 0; block < text.size(); block += 1000) {
    extraction.add_lines(text.substr(block, 1000));
    numbers += extraction.take_new_numbers();
  }
  extraction.end_source();
  return {numbers + extraction.take_new_numbers(), notes.str()};
}

std::string repeated(std::string_view text, int times) {
  std::string result;
  for (int time = 0; time < times; ++time) {
    result += text;
  }
  return result;
}

// The notes of `extracted` but the last, which counts the numbers of the source.
std::string notes_on_lines(const Extracted& extracted) {
  return extracted.notes.substr(0, extracted.notes.rfind("extract_phone_numbers: list.csv: "));
}

TEST(NumberExtractionTest, TakesNumbersAndCellsThatLostTheirLeadingZeroAndNotesMissedOnes) {
  const struct {
    std::string text;
    std::string numbers;
    std::string notes_on_lines;
  } rows[] = {
      {"\xE7\x8E\x8B,0912 345 678\n+1 415 555 2671", "0912345678\n+14155552671\n", ""},
      {"0912345678\r\n+886 912 345 678\r886912345678", "0912345678\n", ""},
      {"916796020", "0916796020\n",
       "extract_phone_numbers: list.csv:1: 916796020: taken as 0916796020, with the leading 0 it "
       "lacked\n"},
      {"a\xE3\x80\x81\xEF\xBC\x99\xEF\xBC\x91\xEF\xBC\x96\xEF\xBC\x97\xEF\xBC\x99\xEF\xBC\x96"
       "\xEF\xBC\x90\xEF\xBC\x92\xEF\xBC\x90",
       "0916796020\n",
       "extract_phone_numbers: list.csv:1: \xEF\xBC\x99\xEF\xBC\x91\xEF\xBC\x96\xEF\xBC\x97\xEF\xBC"
       "\x99\xEF\xBC\x96\xEF\xBC\x90\xEF\xBC\x92\xEF\xBC\x90: taken as 0916796020, with the "
       "leading 0 it lacked\n"},
      {"BEGIN:VCARD\nVERSION:3.0\n2026/12/01 15:04\n123456\n0912345678 0000000\n", "0912345678\n",
       ""},
      // An ill-formed byte is one character: the separator after it stays a separator.
      {"\xE4,912345678", "0912345678\n",
       "extract_phone_numbers: list.csv:1: 912345678: taken as 0912345678, with the leading 0 it "
       "lacked\n"},
      {"x,9.16796E+08", "",
       "extract_phone_numbers: list.csv:1: x,9.16796E+08: holds a number in E notation, whose "
       "digits are lost; save the column as text\n"},
      {"\n\r\n0912-345 67\x01" + std::string(40, 'a'), "",
       "extract_phone_numbers: list.csv:3: 0912-345 67?aaaaaaaaaaaaaaaaaaaa...: holds digits but "
       "no phone number\n"},
      // A landline is left out, named once; a landline's digits without the 0 are no cell taken.
      {"(02)2345-6789\n0223456789\n53545810", "",
       "extract_phone_numbers: list.csv:1: 0223456789: is not a mobile number; a text message "
       "cannot reach it\n"
       "extract_phone_numbers: list.csv:3: 53545810: holds digits but no phone number\n"},
  };
  for (const auto& row : rows) {
    const Extracted extracted = extract(row.text);
    EXPECT_EQ(extracted.numbers, row.numbers) << row.text;
    EXPECT_EQ(notes_on_lines(extracted), row.notes_on_lines) << row.text;
  }
}

constexpr std::string_view kCellNote = "extract_phone_numbers: list.csv:A1: ";

// The numbers and the note on one cell after kCellNote, a spreadsheet's number cell or a text,
// read for `region`.
Extracted extract_cell(std::string_view region, std::string_view cell, bool number_cell) {
  const PhoneNumberFinder finder(region);
  std::ostringstream notes;
  NumberExtraction extraction(finder, notes);
  extraction.begin_source("list.csv");
  number_cell ? extraction.add_number_cell(cell) : extraction.add_text(cell);
  extraction.end_line("A1");
  extraction.end_source();
  std::string on_cell = notes_on_lines({"", notes.str()});  // one line at most
  on_cell.erase(0, on_cell.starts_with(kCellNote) ? kCellNote.size() : 0);
  return {extraction.take_new_numbers(), on_cell};
}

TEST(NumberExtractionTest, TakesACellReadAloneAndNotesOnlyThePrefixItLacked) {
  const struct {
    std::string_view region;
    std::string_view cell;
    bool number_cell;
    std::string numbers;
    std::string note;  // after kCellNote
  } rows[] = {
      {"TW", "912345678", true, "0912345678\n",
       "912345678: taken as 0912345678, with the leading 0 it lacked\n"},
      {"TW", "886912345678", true, "0912345678\n", ""},
      {"TW", "223456789", true, "", "223456789: holds digits but no phone number\n"},
      {"TW", "912345678.5", true, "", "912345678.5: holds digits but no phone number\n"},
      {"RU", "9123456789", true, "89123456789\n",
       "9123456789: taken as 89123456789, with the leading 8 it lacked\n"},
      {"UZ", "901234567", true, "+998901234567\n", ""},
      {"UZ", "8901234567", true, "+998901234567\n", ""},
      {"SG", "91234567", true, "91234567\n", ""},
      // A control character after it hides a number from the matcher, but not the cell.
      {"TW", "0912345678\v", false, "0912345678\n", ""},
      {"TW", "886912345678\v", false, "0912345678\n", ""},
      {"HU", "201234567", false, "06201234567\n",
       "201234567: taken as 06201234567, with the leading 06 it lacked\n"},
      {"UZ", "901234567", false, "+998901234567\n", ""},
  };
  for (const auto& row : rows) {
    const Extracted extracted = extract_cell(row.region, row.cell, row.number_cell);
    EXPECT_EQ(extracted.numbers, row.numbers) << row.region << " " << row.cell;
    EXPECT_EQ(extracted.notes, row.note) << row.region << " " << row.cell;
  }
}

TEST(NumberExtractionTest, CountsWhatItDoesNotNotePastTenAndTheNumbersOfEachSource) {
  // 1,020 lines of numbers first: the notes cross the end of the first batch of lines searched.
  std::string numbers;
  for (int line = 0; line < 1020; ++line) {
    numbers += "0912" + std::to_string(100000 + line) + "\n";
  }
  const Extracted extracted =
      extract(numbers + repeated("0000000\n", 12) + repeated("916796020 ", 12) + "0916796020\n" +
              "0223456700 0223456701 0223456702 0223456703 0223456704 0223456705 0223456706 "
              "0223456707 0223456708 0223456709 0223456710 0223456700 0223456711");
  std::string expected;
  for (int line = 1021; line <= 1030; ++line) {
    expected += std::string(kPrefix) + ":" + std::to_string(line) +
                ": 0000000: holds digits but no phone number\n";
  }
  expected += repeated(std::string(kPrefix) +
                           ":1033: 916796020: taken as 0916796020, with the leading 0 it lacked\n",
                       10);
  for (int number = 0; number < 10; ++number) {
    expected += std::string(kPrefix) + ":1034: 022345670" + std::to_string(number) +
                ": is not a mobile number; a text message cannot reach it\n";
  }
  expected += std::string(kPrefix) + ": 2 more lines hold digits but no phone number\n" +
              std::string(kPrefix) + ": 2 more cells taken with the leading digits they lacked\n" +
              std::string(kPrefix) + ": 2 more numbers are not mobile numbers\n" +
              std::string(kPrefix) + ": 1033 phone numbers, 12 of them found before\n";
  EXPECT_EQ(extracted.notes, expected);
  EXPECT_EQ(extracted.numbers, numbers + "0916796020\n");
}

TEST(NumberExtractionTest, FindsEveryNumberOfALineLongerThanAPiece) {
  std::string line;
  std::string numbers;
  for (int number = 0; number < 1000; ++number) {
    const std::string mobile = "0912" + std::to_string(100000 + number);
    line += mobile + (number % 2 == 0 ? " " : "\xE3\x80\x80");
    numbers += mobile + "\n";
  }
  EXPECT_EQ(extract(line).numbers, numbers);
  EXPECT_EQ(extract(std::string(5000, '7') + " 0912345678").numbers, "0912345678\n");
}

}  // namespace

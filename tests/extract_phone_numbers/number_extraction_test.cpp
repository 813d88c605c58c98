#include "extract_phone_numbers/number_extraction.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "extract_phone_numbers/phone_number_finder.h"
#include "test_support.h"

namespace {

constexpr std::string_view kPrefix = "extract_phone_numbers: list.csv";

struct Extracted {
  std::string numbers;
  std::string notes;
};

// Extracts from `text` given in blocks of 1,000 bytes, its new numbers taken after each, as a
// file is read.
Extracted extract(std::string_view text, std::string_view region = "TW",
                  NumbersWritten written = NumbersWritten::Mobiles) {
  const PhoneNumberFinder finder(region);
  std::ostringstream notes;
  NumberExtraction extraction(finder, notes, written);
  extraction.begin_source("list.csv");
  std::string numbers;
  for (std::size_t block = 0; block < text.size(); block += 1000) {
    extraction.add_lines(text.substr(block, 1000));
    numbers += test_support::joined(extraction.take_new_numbers());
  }
  extraction.end_source();
  return {numbers + test_support::joined(extraction.take_new_numbers()), notes.str()};
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
       "extract_phone_numbers: list.csv:5: 0912345678 0000000: holds digits but no phone number\n"},
      // An ill-formed byte is one character: the separator after it stays a separator.
      {"\xE4,912345678", "0912345678\n",
       "extract_phone_numbers: list.csv:1: 912345678: taken as 0912345678, with the leading 0 it "
       "lacked\n"},
      {"x,9.16796E+08", "",
       "extract_phone_numbers: list.csv:1: x,9.16796E+08: holds a number in E notation, whose "
       "digits are lost; give extract_phone_numbers the .xlsx or .ods it was saved from, which "
       "keeps every digit (a CSV alone: format the column as text and type the numbers again)\n"},
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

// The dots people write between the groups of a number.
const std::string kMiddleDot = "\xC2\xB7";
const std::string kHyphenationPoint = "\xE2\x80\xA7";
const std::string kKatakanaMiddleDot = "\xE3\x83\xBB";
const std::string kHalfWidthKatakanaMiddleDot = "\xEF\xBD\xA5";
const std::string kBullet = "\xE2\x80\xA2";

struct LineInRegion {
  std::string line;
  std::string region;
  std::string expected;
};

TEST(NumberExtractionTest, FindsNumbersAsPeopleWriteThem) {
  const LineInRegion rows[] = {
      // expected: all the numbers written with NumbersWritten::All
      {"0979 950 574  0974 770 521", "TW", "0979950574\n0974770521\n"},
      {"0912 345 678 0922-333-444", "TW", "0912345678\n0922333444\n"},
      {"0791 314 026 083 130 1140", "DE", ""},  // splits in two ways
      // 33 groups, however many numbers stand side by side
      {"0912 345 678 0912 345 678 0912 345 678 0912 345 678 0912 345 678 0912 345 678 "
       "0912 345 678 0912 345 678 0912 345 678 0912 345 678 0922 333 444",
       "TW", "0912345678\n0922333444\n"},
      {"02" + kHyphenationPoint + "2345" + kHyphenationPoint + "6789", "TW", "0223456789\n"},
      {"0912" + kMiddleDot + "345" + kMiddleDot + "678 0922" + kKatakanaMiddleDot + "333" +
           kKatakanaMiddleDot + "444 0933" + kHalfWidthKatakanaMiddleDot + "111" +
           kHalfWidthKatakanaMiddleDot + "222 0944" + kBullet + "555" + kBullet + "666",
       "TW", "0912345678\n0922333444\n0933111222\n0944555666\n"},
      {"(  03  )  963-6548", "TW", "039636548\n"},
      {"\xE5\x9C\x98+10953-209-804", "TW", "0953209804\n"},
      {"+201012345678", "TW", "+201012345678\n"},  // a valid number of Egypt
      // U+FFFF, a vertical tab, U+0085, U+FDD0, U+0096.
      {"\xEF\xBF\xBF"
       "0912\x0B"
       "345678\xC2\x85\xEF\xB7\x90 0922\xC2\x96"
       "333444",
       "TW", "0912345678\n0922333444\n"},
      {"0912345678\xF0\x9F\xBF\xBE", "TW", "0912345678\n"},  // U+1FFFE
  };
  for (const auto& row : rows) {
    EXPECT_EQ(extract(row.line, row.region, NumbersWritten::All).numbers, row.expected) << row.line;
  }
}

TEST(NumberExtractionTest, NotesEveryRunOfDigitsMissedButNoDate) {
  const LineInRegion rows[] = {
      // expected: the notes
      {"0791 314 026 083 130 1140", "DE",
       "extract_phone_numbers: list.csv:1: 0791 314 026 083 130 1140: holds digits but no phone "
       "number\nextract_phone_numbers: list.csv: 0 phone numbers\n"},
      {"0912-345-678\t0084 903 123 456", "TW",
       "extract_phone_numbers: list.csv:1: 0912-345-678 0084 903 123 456: holds digits but no "
       "phone number; a number of another country needs + and its country code\n"
       "extract_phone_numbers: list.csv: 1 phone number\n"},
      {"1 415 555 2671", "TW",
       "extract_phone_numbers: list.csv:1: 1 415 555 2671: holds digits but no phone number; a "
       "number of another country needs + and its country code\n"
       "extract_phone_numbers: list.csv: 0 phone numbers\n"},
      {"0912" + kMiddleDot + "345" + kMiddleDot + "67", "TW",
       "extract_phone_numbers: list.csv:1: 0912" + kMiddleDot + "345" + kMiddleDot +
           "67: holds digits but no phone number\n"
           "extract_phone_numbers: list.csv: 0 phone numbers\n"},
      {"BDAY:1985-03-12\n2024.05.10 \xE6\x98\x9F\xE6\x9C\x9F\xE4\xBA\x94\n"
       "REV:20240510T001200Z\n113/05/10 12:30 2024-05-10 08:00:00\n2024" +
           kHyphenationPoint + "05" + kHyphenationPoint + "10",
       "TW", "extract_phone_numbers: list.csv: 0 phone numbers\n"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(extract(row.line, row.region).notes, row.expected) << row.line;
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
  return {test_support::joined(extraction.take_new_numbers()), on_cell};
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
              std::string(kPrefix) +
              ": 1021 new phone numbers; 12 found before, not written again\n";
  EXPECT_EQ(extracted.notes, expected);
  EXPECT_EQ(extracted.numbers, numbers + "0916796020\n");
}

TEST(NumberExtractionTest, NotesWhatASheetHidAfterTheNotesOfTheLinesBefore) {
  const struct {
    HiddenInSheet hidden;
    std::string note;
  } rows[] = {
      {{"\xE5\x81\x9C", true, 0, 0},
       ":\xE5\x81\x9C: is hidden and was not read; unhide it to include it"},
      {{"S", false, 1, 0}, ":S: 1 hidden row was not read; unhide it to include it"},
      {{"S", false, 2, 0}, ":S: 2 hidden rows were not read; unhide them to include them"},
      {{"S", false, 0, 1}, ":S: 1 hidden column was not read; unhide it to include it"},
      {{"S", false, 0, 3}, ":S: 3 hidden columns were not read; unhide them to include them"},
      {{"S", false, 1, 1},
       ":S: 1 hidden row and 1 hidden column were not read; unhide them to include them"},
      {{"S", false, 2, 3},
       ":S: 2 hidden rows and 3 hidden columns were not read; unhide them to include them"},
  };
  const PhoneNumberFinder finder("TW");
  for (const auto& row : rows) {
    std::ostringstream notes;
    NumberExtraction extraction(finder, notes);
    extraction.begin_source("list.csv");
    extraction.add_text("916796020");
    extraction.end_line("S!A1");
    extraction.note_hidden(row.hidden);
    EXPECT_EQ(notes.str(), std::string(kPrefix) +
                               ":S!A1: 916796020: taken as 0916796020, with the leading 0 it "
                               "lacked\n" +
                               std::string(kPrefix) + row.note + "\n")
        << row.note;
  }
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

  std::string list;  // 3,000 entries on one line
  numbers.clear();
  for (int number = 0; number < 3000; ++number) {
    const std::string mobile = "0912" + std::to_string(100000 + number);
    list += "\xE7\x8E\x8B " + mobile.substr(0, 4) + " " + mobile.substr(4, 3) + " " +
            mobile.substr(7) + ";";
    numbers += mobile + "\n";
  }
  EXPECT_EQ(extract(list).numbers, numbers);
}

// The numbers of a source held until it ends, as a spreadsheet's are, come in blocks of whole
// lines, none longer than kNumbersBlockSize, and in the order of the lines, over many batches.
TEST(NumberExtractionTest, GivesTheNumbersOfASourceInBlocks) {
  const PhoneNumberFinder finder("TW");
  std::ostringstream notes;
  NumberExtraction extraction(finder, notes);
  extraction.begin_source("list.xlsx");
  std::string numbers;
  for (int cell = 0; cell < 10000; ++cell) {
    const std::string mobile = "0912" + std::to_string(100000 + cell);
    extraction.add_number_cell(mobile.substr(1));
    extraction.end_line("A1");
    numbers += mobile + "\n";
  }
  extraction.end_lines();
  const std::vector<std::string> blocks = extraction.take_new_numbers();
  EXPECT_EQ(blocks.size(), 2U);
  for (const std::string& block : blocks) {
    EXPECT_LE(block.size(), kNumbersBlockSize);
    EXPECT_TRUE(block.ends_with('\n'));
  }
  EXPECT_EQ(test_support::joined(blocks), numbers);
}

TEST(NumberExtractionTest, CutsNoNumberAtTheEndOfAPiece) {
  const struct {
    std::string filler;  // repeated before the number, in characters of this many bytes:
    std::size_t character_bytes;
    std::string number;  // as written
    std::string numbers;
  } rows[] = {
      {"\xE7\x8E\x8B", 3, " 0912 345 678", "0912345678\n"},
      {" ", 1, " 0912-345-678", "0912345678\n"},
      {"a ", 1, " +886 912 345 678", "0912345678\n"},
      {",", 1, " +1 415 555 2671", "+14155552671\n"},
  };
  for (const auto& row : rows) {
    for (std::size_t offset = 1; offset < row.number.size(); ++offset) {
      // The first 4,096 characters end at `offset` in the number.
      const std::string line =
          repeated(row.filler, 4096).substr(0, (4096 - offset) * row.character_bytes);
      const Extracted extracted = extract(line + row.number + " x");
      EXPECT_EQ(extracted.numbers, row.numbers) << row.number << " at " << offset;
      EXPECT_EQ(notes_on_lines(extracted), "") << row.number << " at " << offset;
    }
  }
}

}  // namespace

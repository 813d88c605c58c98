#include "change_utf8/dialogue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "change_utf8/console.h"
#include "change_utf8/console_texts.h"
#include "faulty_file_system.h"
#include "test_support.h"

namespace {

using test_support::expected_group_file;
using test_support::kJudgedStartSize;
using test_support::kUtf8Bom;
using test_support::write_file;

using test_support::kAsk;
using test_support::kBanner;
using test_support::kClosing;
using test_support::kConverted123;
using test_support::kRunAgain;
using test_support::kUnusable;

struct DialogueRun {
  int exit_status;
  std::string console;  // after the banner
  std::string errors;
};

// Runs the dialogue in a fresh current directory, where the lists are.
class DialogueTest : public ::testing::Test {
 protected:
  DialogueTest() : previous_directory_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir_.path());
  }
  ~DialogueTest() override { std::filesystem::current_path(previous_directory_); }

  DialogueRun run(const std::string& answers) {
    std::istringstream input(answers);
    std::ostringstream output;
    std::ostringstream errors;
    Console console(input, output, errors, false);
    const int status =
        run_dialogue(std::nullopt, file_system_, TerminationSlot::of_this_process(), console);
    EXPECT_TRUE(console.flush());
    std::string shown = output.str();
    EXPECT_TRUE(shown.starts_with(kBanner)) << shown;
    shown.erase(0, kBanner.size());
    return {status, shown, errors.str()};
  }
  std::vector<std::string> files() const { return test_support::entry_names(dir_.path()); }
  void remove_group_files() const {
    for (const std::string& name : files()) {
      if (name.starts_with("output_")) {
        std::filesystem::remove_all(dir_.path() / name);
      }
    }
  }

  test_support::ScopedTempDir dir_;
  const std::filesystem::path previous_directory_;
  FaultyFileSystem file_system_;
};

TEST_F(DialogueTest, LeadsFromEachAnswerToItsEndAndExplainsEachNotTakenAsTyped) {
  write_file("list.txt", "1111111 2222222 3333333");
  write_file("abc", "1111111 2222222 3333333");
  write_file(",000", "1111111 2222222 3333333");
  write_file("電話清單.txt", "1111111 2222222 3333333");
  write_file("empty.txt", "\n\n");
  write_file("bom.txt", std::string(kUtf8Bom) + "1111111\r\n2222222\r\n3333333\r\n");
  std::filesystem::create_directory("folder");
  const std::string converted = kAsk + kConverted123 + kClosing;
  const std::string not_a_count = ": is not a number from 1 to 9999\n";
  const std::string ended = "change_utf8: the answers ended before a usable list was named\n";
  const std::string full_width =
      ": is written in full-width digits; type the count in half-width digits 0 to 9\n";
  const std::string rest_is_next_answer = "; the rest is read as the next answer\n";
  write_file("p", "1111111");
  const auto dot_slashes = [](int count) {
    std::string text;
    for (int time = 0; time < count; ++time) {
      text += "./";
    }
    return text;
  };
  const struct {
    std::string answers;
    int exit_status;
    std::string console;
    std::string errors;
  } rows[] = {
      {"2\nlist.txt\n", 0, converted, ""},
      {"2 list.txt", 0, converted, ""},  // answers are words, not lines
      {"2abc", 0, converted, "change_utf8: 2abc: the count is 2" + rest_is_next_answer},
      {"2,000", 0, converted, "change_utf8: 2,000: the count is 2" + rest_is_next_answer},
      {"+2 bom.txt", 0, converted, ""},
      {"002\n電話清單.txt\n", 0, converted, ""},
      {"2筆 list.txt", 0, kAsk + kUnusable + converted,
       "change_utf8: 2筆: the count is 2" + rest_is_next_answer +
           "change_utf8: 筆: No such file or directory\n"},
      {"1 list.txt", 0,
       kAsk +
           "輸出檔案:output_1.xml\nread:1111111\n輸出檔案:output_2.xml\nread:2222222\n"
           "輸出檔案:output_3.xml\nread:3333333\n" +
           kClosing,
       ""},
      {"9999 list.txt", 0,
       kAsk + "輸出檔案:output_1.xml\nread:1111111\nread:2222222\nread:3333333\n" + kClosing, ""},
      {"2\nmissing.txt\nempty.txt\nfolder\nlist.txt\n", 0,
       kAsk + kUnusable + kAsk + kUnusable + kAsk + kUnusable + converted,
       "change_utf8: missing.txt: No such file or directory\n"
       "change_utf8: empty.txt: is an empty file, or holds only white space\n"
       "change_utf8: folder: Is a directory\n"},
      // The list's name as a note shows text; cut where no file name is that long.
      {std::string("2 list.txt\0junk list.txt", 24), 0, kAsk + kUnusable + converted,
       "change_utf8: list.txt?junk: holds a NUL byte\n"},
      {"2 " + std::string(5000, 'x'), 1, kAsk + kUnusable + kAsk,
       "change_utf8: " + std::string(4097, 'x') + ": File name too long\n" + ended},
      // The rest of a count answer that long: what is kept of it (./././.../p) is not a name.
      {"12" + dot_slashes(2047) + "phones.txt", 1, kAsk + kUnusable + kAsk,
       "change_utf8: 12" + dot_slashes(15) + "...: the count is 12" + rest_is_next_answer +
           "change_utf8: " + dot_slashes(2047) + "p: File name too long\n" + ended},
      // The answers end before a usable list is named.
      {"2\n", 1, kAsk, "change_utf8: the answers ended before a usable list was named\n"},
      {"2\nmissing.txt\n", 1, kAsk + kUnusable + kAsk,
       "change_utf8: missing.txt: No such file or directory\n"
       "change_utf8: the answers ended before a usable list was named\n"},
      {"0\n", 0, kRunAgain, "change_utf8: 0" + not_a_count},
      {"-5\n", 0, kRunAgain, "change_utf8: -5" + not_a_count},
      {"10000\n", 0, kRunAgain, "change_utf8: 10000" + not_a_count},
      {"99999999999\n", 0, kRunAgain, "change_utf8: 99999999999" + not_a_count},
      {"abc\n", 0, kRunAgain, "change_utf8: abc" + not_a_count},
      {"+\n", 0, kRunAgain, "change_utf8: +" + not_a_count},
      {"\xEF\xBC\x93 list.txt", 0, kRunAgain, "change_utf8: \xEF\xBC\x93" + full_width},  // ３
      {"\x1B[2J\n", 0, kRunAgain, "change_utf8: ?[2J" + not_a_count},
      {"", 0, kRunAgain, ""},
      {" \n\t", 0, kRunAgain, ""},
  };
  for (const auto& row : rows) {
    const DialogueRun result = run(row.answers);
    EXPECT_EQ(result.exit_status, row.exit_status) << row.answers;
    EXPECT_EQ(result.console, row.console) << row.answers;
    EXPECT_EQ(result.errors, row.errors) << row.answers;
    for (const std::string& name : files()) {
      if (name.starts_with("output_")) {  // only the group files the console names
        EXPECT_NE(result.console.find("輸出檔案:" + name + "\n"), std::string::npos) << name;
      }
    }
    remove_group_files();
  }
}

TEST_F(DialogueTest, EndsWithStatus1WhenAGroupFileOrTheListFails) {
  write_file("list.txt", "1111111 2222222 3333333" + std::string(kJudgedStartSize - 23, ' ') +
                             "4444444 5555555");
  std::filesystem::create_directory("output_1.xml");
  DialogueRun result = run("2 list.txt");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console,
            kAsk +
                "輸出檔案:output_1.xml\n無法寫入檔案:output_1.xml\n"
                "read:1111111\nread:2222222\n輸出檔案:output_2.xml\nread:3333333\nread:4444444\n"
                "輸出檔案:output_3.xml\nread:5555555\n" +
                test_support::kSomeFilesUnwritable);
  EXPECT_EQ(result.errors, "change_utf8: output_1.xml: Is a directory\n");
  // What the list is cannot be known, so neither whether it is this group file: it is not used.
  file_system_.status_failure = "Input/output error";
  result = run("2 output_2.xml");
  file_system_.status_failure.clear();
  EXPECT_EQ(result.errors,
            "change_utf8: output_2.xml: Input/output error\n"
            "change_utf8: the answers ended before a usable list was named\n");
  remove_group_files();

  // Reading the list fails once the group of 3333333 and 4444444 has begun.
  file_system_.fail_reads_after(static_cast<long>(kJudgedStartSize));
  result = run("2 list.txt");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console, kAsk + kConverted123 + test_support::kListReadFailed);
  EXPECT_EQ(result.errors, "change_utf8: list.txt: Input/output error\n");
  EXPECT_EQ(files(), (std::vector<std::string>{"list.txt", "output_1.xml"}));
  EXPECT_EQ(test_support::read_file("output_1.xml"),
            expected_group_file(1, {"1111111", "2222222"}));
}

}  // namespace

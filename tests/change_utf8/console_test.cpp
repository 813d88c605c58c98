#include "change_utf8/console.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

namespace {

TEST(ConsoleTest, HandsOutputOverBeforeEachAnswerAndEachReason) {
  std::istringstream answers(" 12abc\n name");
  std::ostringstream output;
  std::ostringstream errors;
  Console console(answers, output, errors, false);
  console.print_line("count?");
  EXPECT_EQ(console.read_answer(), "12abc");
  EXPECT_EQ(output.str(), "count?\n");
  console.hand_back_answer("abc");
  console.print_line("name?");
  console.print("輸出檔案:");
  console.write_reason("output_1.xml", "Is a directory");
  console.write_reason("the answers ended");
  EXPECT_EQ(output.str(), "count?\nname?\n輸出檔案:");
  EXPECT_EQ(errors.str(),
            "change_utf8: output_1.xml: Is a directory\nchange_utf8: the answers ended\n");
  EXPECT_EQ(console.read_answer(), "abc");
  EXPECT_EQ(console.read_answer(), "name");
  EXPECT_EQ(console.read_answer(), std::nullopt);
  EXPECT_TRUE(console.flush());
}

TEST(ConsoleTest, TellsOnceThatStandardOutputCannotBeWritten) {
  std::istringstream answers;
  std::ostringstream output;
  std::ostringstream errors;
  Console console(answers, output, errors, false);
  output.setstate(std::ios::badbit);
  console.print_line("lost");
  EXPECT_FALSE(console.flush());
  EXPECT_FALSE(console.flush());
  EXPECT_EQ(errors.str(), "change_utf8: standard output: Input/output error\n");
}

TEST(ConsoleTest, ShowsEachLineAsItEndsOnATerminal) {
  std::istringstream answers;
  std::ostringstream output;
  std::ostringstream errors;
  Console console(answers, output, errors, true);
  console.print("read:");
  // Text from the list cannot drive the terminal: OSC 52 (set the clipboard), then a C1 CSI.
  console.print_from_list("09\x1B]52;c;cm0gLXJmIH4=\x07");
  console.print_from_list(
      "12\xC2\x9B"
      "2J\xE7\x8E");
  console.end_line();
  EXPECT_EQ(output.str(), "read:09?]52;c;cm0gLXJmIH4=?12?2J??\n");
}

}  // namespace

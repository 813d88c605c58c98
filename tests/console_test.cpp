#include "console.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

namespace {

TEST(ConsoleTest, HandsOutputOverBeforeEachAnswerAndEachReason) {
  std::istringstream answers("12abc");
  std::ostringstream output;
  std::ostringstream errors;
  Console console(answers, output, errors, false);
  console.print_line("count?");
  std::int32_t count = 0;
  ASSERT_TRUE(console.read_number(count));
  EXPECT_EQ(count, 12);
  EXPECT_EQ(output.str(), "count?\n");
  console.print_line("name?");
  console.print("輸出檔案:");
  console.write_reason("output_1.xml", "Is a directory");
  EXPECT_EQ(output.str(), "count?\nname?\n輸出檔案:");
  EXPECT_EQ(errors.str(), "change_utf8: output_1.xml: Is a directory\n");
  std::string word;
  ASSERT_TRUE(console.read_word(word));
  EXPECT_EQ(word, "abc");
  EXPECT_FALSE(console.read_word(word));
  EXPECT_TRUE(console.flush());
  output.setstate(std::ios::badbit);
  EXPECT_FALSE(console.flush());
}

TEST(ConsoleTest, ShowsEachLineAsItEndsOnATerminal) {
  std::istringstream answers;
  std::ostringstream output;
  std::ostringstream errors;
  Console console(answers, output, errors, true);
  console.print("read:");
  console.print("0912");
  console.end_line();
  EXPECT_EQ(output.str(), "read:0912\n");
}

}  // namespace

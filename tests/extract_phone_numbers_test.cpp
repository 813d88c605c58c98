// Runs the built extract_phone_numbers through sh: its standard streams and exit status.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "test_support.h"

namespace {

struct ProgramRun {
  std::string arguments;  // as sh reads them, perhaps with a redirection of standard output
  std::string input;      // standard input
  int status;
  std::string output;
  std::string errors;
  std::string environment = "LC_ALL=C";
};

TEST(ExtractPhoneNumbersTest, WritesTheNumbersNotesAndExitStatus) {
  const ProgramRun runs[] = {
      {"", "\xE7\x8E\x8B,0912 345 678\n", 0, "0912345678\n",
       "extract_phone_numbers: standard input: 1 phone number\n"},
      {"", "(415) 555-2671\n", 0, "+14155552671\n",
       "extract_phone_numbers: standard input: 1 phone number\n",
       "LC_ALL= LC_TELEPHONE=en_US.UTF-8"},
      {"missing - /dev/null", "0912345678", 1, "0912345678\n",
       "extract_phone_numbers: missing: No such file or directory\n"
       "extract_phone_numbers: standard input: 1 phone number\n"
       "extract_phone_numbers: /dev/null: 0 phone numbers\n"},
      {"/dev/null", "", 1, "",
       "extract_phone_numbers: /dev/null: 0 phone numbers\n"
       "extract_phone_numbers: no phone number found\n"},
      {"- >/dev/full", "0912345678\n", 1, "",
       "extract_phone_numbers: standard output: No space left on device\n"},
      {"--bad", "", 2, "",
       "extract_phone_numbers: unrecognized option '--bad'\n"
       "Try 'extract_phone_numbers --help' for more information.\n"},
      {"/dev/null", "", 1, "",
       "extract_phone_numbers: /dev/null: 0 \xE5\x80\x8B\xE9\x9B\xBB\xE8\xA9\xB1\xE8\x99\x9F"
       "\xE7\xA2\xBC\n"
       "extract_phone_numbers: \xE6\x89\xBE\xE4\xB8\x8D\xE5\x88\xB0\xE4\xBB\xBB\xE4\xBD\x95"
       "\xE9\x9B\xBB\xE8\xA9\xB1\xE8\x99\x9F\xE7\xA2\xBC\n",
       "LC_ALL=zh_TW.UTF-8"},
  };
  const test_support::ScopedTempDir dir;
  for (const ProgramRun& run : runs) {
    test_support::write_file(dir.path() / "in", run.input);
    const std::string command = "cd " + dir.path().string() + " && " + run.environment + " " +
                                EXTRACT_PHONE_NUMBERS_PATH + " <in >>out 2>errors " + run.arguments;
    std::filesystem::remove(dir.path() / "out");
    const int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), run.status) << run.arguments;
    const bool has_output = std::filesystem::exists(dir.path() / "out");
    EXPECT_EQ(has_output ? test_support::read_file(dir.path() / "out") : "", run.output)
        << run.arguments;
    EXPECT_EQ(test_support::read_file(dir.path() / "errors"), run.errors) << run.arguments;
  }
}

}  // namespace

#include "core/notes.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(NotesTest, WritesProgramSubjectShownAndReason) {
  const struct {
    std::string subject;
    std::string line;
  } rows[] = {
      {"output_1.xml", "change_utf8: output_1.xml: Is a directory\n"},
      {"", "change_utf8: Is a directory\n"},
      // U+202E (right-to-left override), a C1 CSI, an escape and an ill-formed byte
      {"list\xE2\x80\xAE"
       "csv\xC2\x9B"
       "2J\x1B[0m\xE4:1",
       "change_utf8: list?csv?2J?[0m?:1: Is a directory\n"},
      {"list.csv:1: 0912?...", "change_utf8: list.csv:1: 0912?...: Is a directory\n"},
  };
  for (const auto& row : rows) {
    std::ostringstream out;
    write_note_line(out, "change_utf8", row.subject, "Is a directory");
    EXPECT_EQ(out.str(), row.line) << row.subject;
  }
}

}  // namespace

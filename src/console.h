#ifndef CHANGE_UTF8_CONSOLE_H_
#define CHANGE_UTF8_CONSOLE_H_

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

#include "failure.h"

// The program's console: what it prints on standard output and when that is handed over, the
// answers it reads from standard input, and the reason lines on standard error.
//
// Output is collected in one buffer and handed to standard output in blocks of about 64 KiB,
// or at each line end when it is shown line by line (on a terminal); and always before an
// answer is read and before a reason is written. So a prompt is seen before its answer is
// awaited, and a log of both streams (> log 2>&1) reads in order.
class Console {
 public:
  // Reads `answers`, prints on `output`, reports on `errors`; all three must outlive the
  // console. The console alone decides when each is written: neither `answers` nor `errors`
  // should be tied to `output`.
  Console(std::istream& answers, std::ostream& output, std::ostream& errors, bool line_by_line);

  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Appends `text` to the line being printed.
  void print(std::string_view text);
  // Ends the line being printed.
  void end_line();
  void print_line(std::string_view text);

  // Reads the next answer as a decimal number (an optional sign, then digits up to the first
  // byte that cannot continue it) or as a word (up to white space), after handing over all
  // output. False when no answer can be read.
  [[nodiscard]] bool read_number(std::int32_t& number);
  [[nodiscard]] bool read_word(std::string& word);

  // Writes "change_utf8: SUBJECT: REASON" and a line end on standard error, after handing over
  // all output.
  void write_reason(std::string_view subject, std::string_view reason);
  void write_reason(const Failure& failure);

  // Hands all output over to standard output. False when standard output could not be
  // written, now or before.
  [[nodiscard]] bool flush();

 private:
  void hand_over();

  std::istream& answers_;
  std::ostream& output_;
  std::ostream& errors_;
  const bool line_by_line_;
  std::string pending_;  // not yet handed to standard output
};

#endif  // CHANGE_UTF8_CONSOLE_H_

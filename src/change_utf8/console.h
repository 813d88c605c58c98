#ifndef CHANGE_UTF8_CONSOLE_H_
#define CHANGE_UTF8_CONSOLE_H_

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "core/failure.h"
#include "core/shown_text.h"

// The program's console: what it prints on standard output and when that is handed over, the
// answers it reads from standard input, and the reason lines on standard error.
//
// Output is collected in one buffer and handed to standard output in blocks of about 64 KiB,
// or at each line end on a terminal; and always before an answer is read and before a reason
// is written. So a prompt is seen before its answer is awaited, and a log of both streams
// (> log 2>&1) reads in order.
class Console {
 public:
  // The longest answer kept whole: a path as long as the system allows (PATH_MAX, with its
  // terminating NUL), so that a longer one fails to open as too long.
  static constexpr std::size_t kLongestAnswer = 4096;

  // Reads `answers`, prints on `output`, reports on `errors`; all three must outlive the
  // console. `on_terminal`: `output` is a terminal, where each line shows as it ends and text
  // from the list cannot drive the terminal. The console alone decides when each stream is
  // written: neither `answers` nor `errors` should be tied to `output`.
  Console(std::istream& answers, std::ostream& output, std::ostream& errors, bool on_terminal);

  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Appends `text` to the line being printed.
  void print(std::string_view text) {
    pending_ += text;
    if (pending_.size() >= kBlockSize) {
      hand_over();
    }
  }
  // Appends `piece`, the next bytes of a text from the list, to the line being printed. On a
  // terminal, each control character (C0, DEL, C1) and each byte of ill-formed UTF-8 shows as
  // `?` (ShownText); elsewhere the bytes are printed as they are.
  void print_from_list(std::string_view piece) {
    if (on_terminal_) {
      print_shown(piece);
    } else {
      print(piece);
    }
  }
  // Ends the line being printed.
  void end_line();
  void print_line(std::string_view text);

  // Reads the next answer, a word up to half-width white space (space, tab, line end, vertical
  // tab, form feed), after handing over all output: first what was handed back to the answers,
  // if anything. Nullopt when the answers have ended. Of a word longer than kLongestAnswer
  // bytes, the first kLongestAnswer + 1 are kept and the rest is read and dropped, so memory
  // stays bounded however long the word: no file name is that long, and the answer's note
  // shows far fewer characters.
  [[nodiscard]] std::optional<std::string> read_answer();
  // Whether the last answer read was cut (bytes of its word were dropped): then it, or the
  // rest of it handed back, is not the text typed, and names no file that can be opened.
  [[nodiscard]] bool last_answer_cut() const { return last_answer_cut_; }
  // Makes `rest`, the part of an answer that was not taken, the next answer, cut when that
  // answer was.
  void hand_back_answer(std::string_view rest);

  // Writes "change_utf8: SUBJECT: REASON", or "change_utf8: REASON" without a subject, and a
  // line end on standard error (write_note_line), after handing over all output.
  void write_reason(std::string_view subject, std::string_view reason);
  void write_reason(const Failure& failure);
  void write_reason(std::string_view reason);

  // Hands all output over to standard output. False when standard output could not be
  // written, now or before; the first time, its reason goes to standard error.
  [[nodiscard]] bool flush();

 private:
  // Output is handed to standard output in blocks of about this size, unless each line is to
  // be shown as it ends.
  static constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

  void print_shown(std::string_view piece);
  void hand_over();

  std::istream& answers_;
  std::ostream& output_;
  std::ostream& errors_;
  const bool on_terminal_;
  std::string pending_;  // not yet handed to standard output
  std::string handed_back_answer_;
  bool handed_back_answer_cut_ = false;
  bool last_answer_cut_ = false;
  ShownText list_text_on_terminal_;
  bool list_text_open_ = false;
  bool output_failure_told_ = false;
};

#endif  // CHANGE_UTF8_CONSOLE_H_

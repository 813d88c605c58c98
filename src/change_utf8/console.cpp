#include "change_utf8/console.h"

#include <istream>
#include <ostream>
#include <streambuf>
#include <string>

#include "core/file_system.h"
#include "core/message_catalog.h"
#include "core/notes.h"
#include "core/text_rules.h"

namespace {

constexpr std::string_view kProgramName = "change_utf8";

// What ends an answer: `byte` is a byte of the answers, not their end.
bool is_answer_space(int byte) {
  return is_ascii_space(static_cast<char>(byte));
}

}  // namespace

Console::Console(std::istream& answers, std::ostream& output, std::ostream& errors,
                 bool on_terminal)
    : answers_(answers), output_(output), errors_(errors), on_terminal_(on_terminal) {}

void Console::print_shown(std::string_view piece) {
  list_text_on_terminal_.append(piece, pending_);
  list_text_open_ = true;
  if (pending_.size() >= kBlockSize) {
    hand_over();
  }
}

void Console::end_line() {
  if (list_text_open_) {
    list_text_on_terminal_.finish(pending_);
    list_text_open_ = false;
  }
  pending_ += '\n';
  if (on_terminal_ || pending_.size() >= kBlockSize) {
    hand_over();
  }
}

void Console::print_line(std::string_view text) {
  print(text);
  end_line();
}

std::optional<std::string> Console::read_answer() {
  hand_over();
  std::string answer;
  if (!handed_back_answer_.empty()) {
    answer.swap(handed_back_answer_);
    last_answer_cut_ = handed_back_answer_cut_;
    return answer;
  }
  last_answer_cut_ = false;
  std::streambuf* const in = answers_.rdbuf();
  int byte = 0;
  while ((byte = in->sgetc()) != std::char_traits<char>::eof() && is_answer_space(byte)) {
    in->sbumpc();
  }
  while (byte != std::char_traits<char>::eof() && !is_answer_space(byte)) {
    if (answer.size() <= kLongestAnswer) {
      answer += static_cast<char>(byte);
    } else {
      last_answer_cut_ = true;
    }
    byte = in->snextc();
  }
  if (answer.empty()) {
    answers_.setstate(std::ios::eofbit | std::ios::failbit);
    return std::nullopt;
  }
  return answer;
}

void Console::hand_back_answer(std::string_view rest) {
  handed_back_answer_ = rest;
  handed_back_answer_cut_ = last_answer_cut_;
}

void Console::write_reason(std::string_view subject, std::string_view reason) {
  hand_over();
  write_note_line(errors_, kProgramName, subject, reason);
  errors_.flush();
}

void Console::write_reason(const Failure& failure) {
  write_reason(failure.subject, failure.reason);
}

void Console::write_reason(std::string_view reason) {
  hand_over();
  write_note_line(errors_, kProgramName, {}, reason);
  errors_.flush();
}

bool Console::flush() {
  hand_over();
  return static_cast<bool>(output_);
}

void Console::hand_over() {
  FileSystem::forget_last_error();
  if (output_) {
    output_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
    output_.flush();
  }
  pending_.clear();  // once standard output has failed, the rest goes nowhere
  if (!output_ && !output_failure_told_) {
    output_failure_told_ = true;
    write_reason(FileSystem::last_call_failure(catalog::gettext("standard output")));
  }
}

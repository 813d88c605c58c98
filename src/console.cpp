#include "console.h"

#include <libintl.h>

#include <istream>
#include <ostream>

#include "file_system.h"

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
  } else if (!(answers_ >> answer)) {
    return std::nullopt;
  }
  return answer;
}

void Console::hand_back_answer(std::string_view rest) {
  handed_back_answer_ = rest;
}

void Console::write_reason(std::string_view subject, std::string_view reason) {
  hand_over();
  errors_ << "change_utf8: " << subject << ": " << reason << '\n';
  errors_.flush();
}

void Console::write_reason(const Failure& failure) {
  write_reason(failure.subject, failure.reason);
}

void Console::write_reason(std::string_view reason) {
  hand_over();
  errors_ << "change_utf8: " << reason << '\n';
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
    write_reason(FileSystem::last_call_failure(::gettext("standard output")));
  }
}

std::string with_number(std::string_view text, std::int64_t number) {
  return filled_in(text, {std::to_string(number)});
}

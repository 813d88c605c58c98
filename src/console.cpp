#include "console.h"

#include <istream>
#include <ostream>

namespace {

// Output is handed to standard output in blocks of about this size, unless each line is to be
// shown as it ends.
constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

}  // namespace

Console::Console(std::istream& answers, std::ostream& output, std::ostream& errors,
                 bool line_by_line)
    : answers_(answers), output_(output), errors_(errors), line_by_line_(line_by_line) {}

void Console::print(std::string_view text) {
  pending_ += text;
  if (pending_.size() >= kBlockSize) {
    hand_over();
  }
}

void Console::end_line() {
  pending_ += '\n';
  if (line_by_line_ || pending_.size() >= kBlockSize) {
    hand_over();
  }
}

void Console::print_line(std::string_view text) {
  print(text);
  end_line();
}

bool Console::read_number(std::int32_t& number) {
  hand_over();
  return static_cast<bool>(answers_ >> number);
}

bool Console::read_word(std::string& word) {
  hand_over();
  return static_cast<bool>(answers_ >> word);
}

void Console::write_reason(std::string_view subject, std::string_view reason) {
  hand_over();
  errors_ << "change_utf8: " << subject << ": " << reason << '\n';
  errors_.flush();
}

void Console::write_reason(const Failure& failure) {
  write_reason(failure.subject, failure.reason);
}

bool Console::flush() {
  hand_over();
  return static_cast<bool>(output_);
}

void Console::hand_over() {
  output_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
  output_.flush();
  pending_.clear();
}

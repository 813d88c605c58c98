#include "core/notes.h"

#include <cstddef>
#include <ostream>

#include "core/shown_text.h"

std::string filled_in(std::string_view text, std::initializer_list<std::string_view> fillings) {
  std::string filled;
  for (const std::string_view filling : fillings) {
    const std::size_t place = text.find("%s");
    if (place == std::string_view::npos) {
      break;
    }
    filled += text.substr(0, place);
    filled += filling;
    text.remove_prefix(place + 2);
  }
  filled += text;
  return filled;
}

void write_note_line(std::ostream& out, std::string_view program, std::string_view subject,
                     std::string_view reason) {
  out << program << ": ";
  if (!subject.empty()) {
    out << shown(subject) << ": ";
  }
  out << reason << '\n';
}

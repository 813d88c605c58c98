#ifndef CHANGE_UTF8_FAILURE_H_
#define CHANGE_UTF8_FAILURE_H_

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

// Something that failed, in words for the user: what failed (a file's name as the user knows
// it, or the answer that was typed) and why. Operations that can fail return
// std::optional<Failure>, nullopt meaning success. The reasons of failed system calls are put
// in words once, by the file-system edge (file_system.h), and travel up unchanged.
struct Failure {
  std::string subject;
  std::string reason;
};

// `text`, a reason from the message catalog, with each "%s" in it replaced in turn by the next
// of `fillings` (a "%s" in a filling stays as it is); a "%s" left over stays.
inline std::string filled_in(std::string_view text,
                             std::initializer_list<std::string_view> fillings) {
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

#endif  // CHANGE_UTF8_FAILURE_H_

#ifndef CHANGE_UTF8_FAILURE_H_
#define CHANGE_UTF8_FAILURE_H_

#include <string>

// Something that failed, in words for the user: what failed (a file's name as the user knows
// it, or the answer that was typed) and why. Operations that can fail return
// std::optional<Failure>, nullopt meaning success. The reasons of failed system calls are put
// in words once, by the file-system edge (file_system.h), and travel up unchanged; a reason
// that names something is filled in by filled_in (notes.h).
struct Failure {
  std::string subject;
  std::string reason;
};

#endif  // CHANGE_UTF8_FAILURE_H_

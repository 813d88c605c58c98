#ifndef CHANGE_UTF8_FAILURE_H_
#define CHANGE_UTF8_FAILURE_H_

#include <string>

// Something that failed, in words for the user: what failed (a file's name as the user knows
// it, or the answer that was typed) and why. Operations that can fail return
// std::optional<Failure>, nullopt meaning success.
struct Failure {
  std::string subject;
  std::string reason;
};

// The failure of a call on `subject` with the errno `error`: its reason is the C library's
// text for it, in the user's language. The one place where an errno becomes words.
Failure system_failure(std::string subject, int error);

#endif  // CHANGE_UTF8_FAILURE_H_

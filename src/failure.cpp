#include "failure.h"

#include <cstring>
#include <utility>

Failure system_failure(std::string subject, int error) {
  return {std::move(subject), std::strerror(error)};
}

#ifndef CHANGE_UTF8_TESTS_JUDGED_START_H_
#define CHANGE_UTF8_TESTS_JUDGED_START_H_

#include <cstddef>

// How many of a list's first bytes the program judges together before it converts any: the one
// place the tests and the fuzzer spell it.
namespace test_support {
inline constexpr std::size_t kJudgedStartSize = 4096;
}  // namespace test_support

#endif  // CHANGE_UTF8_TESTS_JUDGED_START_H_

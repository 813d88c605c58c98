#ifndef CHANGE_UTF8_TEXT_BUDGET_H_
#define CHANGE_UTF8_TEXT_BUDGET_H_

#include <cstdint>

// The text a file read from an archive hands out, its copies by repetition and its shared
// texts each time a cell shows them included, is at most this many times what its archive
// has unpacked so far, and never more than kMaxHandedOutText: a few bytes repeated or referred
// to again and again would else be searched for days.
inline constexpr std::uint64_t kMaxTextPerUnpackedByte = 64;
inline constexpr std::uint64_t kMaxHandedOutText = std::uint64_t{1} << 30;

// Counts the text a file hands out against those limits.
class TextBudget {
 public:
  // Counts `bytes` more handed out, `unpacked` bytes of the archive having been unpacked; false
  // when the text handed out then passes a limit.
  [[nodiscard]] bool spend(std::uint64_t bytes, std::uint64_t unpacked);

  // Why a file is refused when it passes a limit.
  static const char* refusal();

 private:
  std::uint64_t handed_out_ = 0;
};

#endif  // CHANGE_UTF8_TEXT_BUDGET_H_

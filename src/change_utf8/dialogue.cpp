#include "change_utf8/dialogue.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "change_utf8/console.h"
#include "change_utf8/phone_list_conversion.h"
#include "core/message_catalog.h"
#include "core/notes.h"
#include "core/shown_text.h"
#include "core/text_rules.h"

namespace {

constexpr std::int32_t kMinPerFileLimit = 1;
constexpr std::int32_t kMaxPerFileLimit = 9999;

constexpr std::string_view kBanner[] = {
    "簡訊群組送大量轉換程式 V0.1",
    "本程式只吃純文字檔的電話號碼，例如:",
    "0912345678",
    "0932435658",
    "0968345654",
    "這種格式...",
    "沒測試過手機最多可以送多少簡訊，所以建議量大的話是分割成數個檔案",
    "如果你有驚人的數量發送正確，可以通知給Kestrin知道",
    "Email: kestrin@example.com",
    "----------------------",
    "請輸入每個檔案最多有幾筆電話(1-9999):",
};
constexpr std::string_view kRunAgain = "請重新執行本程式...";
constexpr std::string_view kAskListName = "請輸入檔案名稱(含附檔名):";
constexpr std::string_view kListUnusable = "檔案錯誤...";
constexpr std::string_view kDoneNoLineEnd = "完成轉換，程式結束...";
constexpr std::string_view kPutFilesUnder = "請檔案放到手機記憶卡底下的:";
constexpr std::string_view kCardFolder = "Data/MyAndroid/vesk";
constexpr std::string_view kSomeFilesUnwritable = "轉換未完成，有檔案無法寫入...";
constexpr std::string_view kListReadFailed = "轉換未完成，電話檔讀取錯誤...";

// A count as typed: a decimal number (an optional sign, then digits up to the first byte that
// cannot continue it) at the start of an answer.
struct TypedCount {
  std::optional<std::int64_t> value;  // nullopt: no digits, or too large for a 32-bit integer
  std::size_t length = 0;             // of the number in the answer
};

TypedCount read_count(std::string_view answer) {
  // Digits past the largest 32-bit number hold the value at one past it.
  constexpr std::int64_t kTooLarge = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  const bool negative = answer.starts_with('-');
  std::size_t next = negative || answer.starts_with('+') ? 1 : 0;
  const std::size_t first_digit = next;
  std::int64_t value = 0;
  for (; next < answer.size() && is_ascii_digit(answer[next]); ++next) {
    value = std::min(value * 10 + (answer[next] - '0'), kTooLarge);
  }
  if (next == first_digit || value == kTooLarge) {
    return {std::nullopt, next};
  }
  return {negative ? -value : value, next};
}

// Whether `answer` holds a full-width digit, as a Chinese input method types them.
bool holds_full_width_digit(std::string_view answer) {
  for (std::size_t at = 0; at < answer.size(); ++at) {
    if (full_width_digit_length(answer.substr(at)) > 0) {
      return true;
    }
  }
  return false;
}

// Why `answer` is not taken as the count.
const char* why_not_a_count(std::string_view answer) {
  if (holds_full_width_digit(answer)) {
    return catalog::gettext(
        "is written in full-width digits; type the count in half-width digits 0 to 9");
  }
  return catalog::gettext("is not a number from 1 to 9999");
}

// Reads the count; nullopt when the answers have ended, or it is no number or outside the
// range, which a reason line then explains. Bytes typed right after the number are handed back
// as the next answer, with a note.
std::optional<std::int32_t> read_per_file_limit(Console& console) {
  const std::optional<std::string> answer = console.read_answer();
  if (!answer) {
    return std::nullopt;
  }
  const TypedCount count = read_count(*answer);
  if (!count.value || *count.value < kMinPerFileLimit || *count.value > kMaxPerFileLimit) {
    console.write_reason(shown_in_a_note(*answer), why_not_a_count(*answer));
    return std::nullopt;
  }
  if (count.length < answer->size()) {
    console.write_reason(
        shown_in_a_note(*answer),
        filled_in(catalog::gettext("the count is %s; the rest is read as the next answer"),
                  {std::to_string(*count.value)}));
    console.hand_back_answer(std::string_view(*answer).substr(count.length));
  }
  return static_cast<std::int32_t>(*count.value);
}

// Converts the list named `list_path` and returns how that ended; nullopt, saying why, when it
// cannot be used.
std::optional<ConversionResult> convert_list(const std::string& list_path,
                                             std::int32_t per_file_limit,
                                             std::optional<FileIdentity> answers_file,
                                             FileSystem& files, TerminationSlot& slot,
                                             Console& console) {
  ListEntries list(files, kListBlockSize);
  if (const std::optional<Failure> why_unusable = open_phone_list(list, list_path, answers_file)) {
    console.write_reason(*why_unusable);
    console.print_line(kListUnusable);
    return std::nullopt;
  }
  GroupFileWriter writer(files, ".", slot, list.reader().identity());
  return convert_phone_list(list, per_file_limit, writer, console);
}

// Asks for list names until one can be converted, and returns how that conversion ended;
// nullopt when the answers run out first.
std::optional<ConversionResult> convert_first_usable_list(std::int32_t per_file_limit,
                                                          std::optional<FileIdentity> answers_file,
                                                          FileSystem& files, TerminationSlot& slot,
                                                          Console& console) {
  while (true) {
    console.print_line(kAskListName);
    const std::optional<std::string> list_path = console.read_answer();
    if (!list_path) {
      return std::nullopt;
    }
    // A name cut short is not the name typed, and could name another file: it is refused as
    // the name typed would be.
    if (console.last_answer_cut()) {
      console.write_reason(FileSystem::name_too_long(shown(*list_path)));
      console.print_line(kListUnusable);
      continue;
    }
    // Memory running out anywhere in the conversion ends it here, the list not read; what
    // held the memory is freed on the way.
    try {
      if (std::optional<ConversionResult> result =
              convert_list(*list_path, per_file_limit, answers_file, files, slot, console)) {
        return result;
      }
    } catch (const std::bad_alloc&) {
      console.write_reason(FileSystem::out_of_memory(shown(*list_path)));
      return ConversionResult::ListReadFailed;
    }
  }
}

// Prints how the run ended and returns the exit status for it.
int print_closing_text(std::optional<ConversionResult> result, Console& console) {
  if (result == ConversionResult::Converted) {
    console.print(kDoneNoLineEnd);
    console.print_line(kPutFilesUnder);
    console.print_line(kCardFolder);
  } else if (result == ConversionResult::SomeFilesUnwritable) {
    console.print_line(kSomeFilesUnwritable);
    return 1;
  } else if (result == ConversionResult::ListReadFailed) {
    console.print_line(kListReadFailed);
    return 1;
  } else if (!result) {
    console.write_reason(catalog::gettext("the answers ended before a usable list was named"));
    return 1;
  }
  return 0;
}

}  // namespace

int run_dialogue(std::optional<FileIdentity> answers_file, FileSystem& files, TerminationSlot& slot,
                 Console& console) {
  for (const std::string_view line : kBanner) {
    console.print_line(line);
  }
  const std::optional<std::int32_t> per_file_limit = read_per_file_limit(console);
  if (!per_file_limit) {
    console.print_line(kRunAgain);
    return 0;
  }
  return print_closing_text(
      convert_first_usable_list(*per_file_limit, answers_file, files, slot, console), console);
}

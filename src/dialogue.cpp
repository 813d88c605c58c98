#include "dialogue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "console.h"
#include "phone_list_conversion.h"

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

// Reads the count; nullopt when it is no number or outside the range.
std::optional<std::int32_t> read_per_file_limit(Console& console) {
  std::int32_t limit = 0;
  if (!console.read_number(limit) || limit < kMinPerFileLimit || limit > kMaxPerFileLimit) {
    return std::nullopt;
  }
  return limit;
}

// Asks for list names until one can be converted, and returns how that conversion ended;
// nullopt when the answers run out first.
std::optional<ConversionResult> convert_first_usable_list(std::int32_t per_file_limit,
                                                          FileSystem& files, Console& console) {
  std::string list_path;
  while (true) {
    console.print_line(kAskListName);
    if (!console.read_word(list_path)) {
      return std::nullopt;
    }
    const ConversionResult result =
        convert_phone_list(list_path, per_file_limit, ".", files, console);
    if (result != ConversionResult::ListUnreadable) {
      return result;
    }
    console.print_line(kListUnusable);
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
  }
  return 0;
}

}  // namespace

int run_dialogue(FileSystem& files, Console& console) {
  for (const std::string_view line : kBanner) {
    console.print_line(line);
  }
  const std::optional<std::int32_t> per_file_limit = read_per_file_limit(console);
  if (!per_file_limit) {
    console.print_line(kRunAgain);
    return 0;
  }
  return print_closing_text(convert_first_usable_list(*per_file_limit, files, console), console);
}

// The console dialogue: asks how many numbers each group file may hold and which phone list
// to convert, converts it into output_1.xml, output_2.xml, ... in the current directory and
// says where the files go on the phone. Command-line arguments are ignored.

#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "console.h"
#include "file_system.h"
#include "message_catalog.h"
#include "phone_list_conversion.h"

namespace {

// The message catalogs of the reasons printed on standard error are change_utf8.mo.
constexpr const char* kTextDomain = "change_utf8";

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

// Takes the whole locale from the environment (LC_ALL, LC_MESSAGES, LANG, LANGUAGE), so that
// the reasons on standard error, the C library's and the program's own, are in the user's
// language and character set. Reading the count is not affected: the C++ streams keep the
// classic locale.
void use_the_users_language() {
  std::setlocale(LC_ALL, "");
  ::bindtextdomain(
      kTextDomain,
      message_catalog_folder(kTextDomain, CHANGE_UTF8_LOCALEDIR_FROM_BINDIR, CHANGE_UTF8_LOCALEDIR)
          .c_str());
  ::textdomain(kTextDomain);
}

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
int report_outcome(std::optional<ConversionResult> result, Console& console) {
  if (result == ConversionResult::Converted) {
    console.print(kDoneNoLineEnd);
    console.print_line(kPutFilesUnder);
    console.print_line(kCardFolder);
  } else if (result == ConversionResult::Incomplete) {
    console.print_line(kSomeFilesUnwritable);
    return 1;
  } else if (result == ConversionResult::ReadFailed) {
    console.print_line(kListReadFailed);
    return 1;
  }
  return 0;
}

// Asks the count and the list's name, converts the list and says how it ended. Returns the
// exit status.
int run_dialogue(FileSystem& files, Console& console) {
  for (const std::string_view line : kBanner) {
    console.print_line(line);
  }
  const std::optional<std::int32_t> per_file_limit = read_per_file_limit(console);
  if (!per_file_limit) {
    console.print_line(kRunAgain);
    return 0;
  }
  return report_outcome(convert_first_usable_list(*per_file_limit, files, console), console);
}

}  // namespace

int main() {
  // Neither a console that goes away (a closed pipe) nor a group file that grows past
  // `ulimit -f` may kill the program mid-file: both become write errors instead, which the
  // exit status and the "無法寫入檔案:" line report.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  install_termination_cleanup();
  use_the_users_language();
  std::ios::sync_with_stdio(false);
  // The console alone decides when standard output is written: before each answer is read,
  // before each reason, at each line end on a terminal, and at the end.
  std::cin.tie(nullptr);
  std::cerr.tie(nullptr);
  Console console(std::cin, std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1);
  FileSystem files;
  const int status = run_dialogue(files, console);
  return console.flush() ? status : 1;  // 1 when the console itself could not be written
}

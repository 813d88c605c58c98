#ifndef CHANGE_UTF8_TESTS_CONSOLE_TEXTS_H_
#define CHANGE_UTF8_TESTS_CONSOLE_TEXTS_H_

#include <string>

// The console's fixed texts as the dialogue prints them, each with its line end; spelled once
// for the tests that run the dialogue in-process and those that run the program.
namespace test_support {

inline const std::string kBanner =
    "簡訊群組送大量轉換程式 V0.1\n"
    "本程式只吃純文字檔的電話號碼，例如:\n"
    "0912345678\n"
    "0932435658\n"
    "0968345654\n"
    "這種格式...\n"
    "沒測試過手機最多可以送多少簡訊，所以建議量大的話是分割成數個檔案\n"
    "如果你有驚人的數量發送正確，可以通知給Kestrin知道\n"
    "Email: kestrin@example.com\n"
    "----------------------\n"
    "請輸入每個檔案最多有幾筆電話(1-9999):\n";
inline const std::string kRunAgain = "請重新執行本程式...\n";
inline const std::string kAsk = "請輸入檔案名稱(含附檔名):\n";
inline const std::string kUnusable = "檔案錯誤...\n";
inline const std::string kClosing =
    "完成轉換，程式結束...請檔案放到手機記憶卡底下的:\nData/MyAndroid/vesk\n";
inline const std::string kSomeFilesUnwritable = "轉換未完成，有檔案無法寫入...\n";
inline const std::string kListReadFailed = "轉換未完成，電話檔讀取錯誤...\n";
// The console lines of converting 1111111, 2222222, 3333333 with the limit 2.
inline const std::string kConverted123 =
    "輸出檔案:output_1.xml\nread:1111111\nread:2222222\n輸出檔案:output_2.xml\nread:3333333\n";

}  // namespace test_support

#endif  // CHANGE_UTF8_TESTS_CONSOLE_TEXTS_H_

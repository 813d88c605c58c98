# Sourced by the tests here (not a test itself): what they share.

# check_bytes FILE EXPECTED: fails the test, showing FILE, unless FILE holds exactly EXPECTED.
check_bytes() {
  if ! printf '%s' "$2" | cmp -s - "$1"; then
    echo "$1 is not as expected; it holds:" >&2
    cat "$1" >&2
    exit 1
  fi
}

# The console from the start up to the count's question, and then the list's.
console_start='簡訊群組送大量轉換程式 V0.1
本程式只吃純文字檔的電話號碼，例如:
0912345678
0932435658
0968345654
這種格式...
沒測試過手機最多可以送多少簡訊，所以建議量大的話是分割成數個檔案
如果你有驚人的數量發送正確，可以通知給Kestrin知道
Email: kestrin@example.com
----------------------
請輸入每個檔案最多有幾筆電話(1-9999):
請輸入檔案名稱(含附檔名):
'

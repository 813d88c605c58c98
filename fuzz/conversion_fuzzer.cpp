// Fuzzes the conversion: arbitrary bytes as a phone list, with a limit taken from the first
// byte(s), converted into a scratch directory. Aborts when a group file, the set of files or
// the console differs from what the list's words call for.
//
// Input layout: byte 0 below 0xF0 gives the limit 1 + byte0 % 8 (small limits give many
// files); otherwise the limit is 1 + (byte1 | byte2 << 8) % 9999. The rest is the list.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "group_file.h"
#include "phone_list_conversion.h"

namespace {

void fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void check(bool condition, const char* what) {
  if (!condition) {
    fail(what);
  }
}

const std::filesystem::path& scratch_directory() {
  static const std::filesystem::path directory = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz_XXXXXX").string();
    check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    return std::filesystem::path(pattern);
  }();
  return directory;
}

bool is_separator(char byte) {
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

// The list's words, split independently of the code under test; none for a UTF-16 list.
std::vector<std::string_view> expected_words(std::string_view list) {
  if (list.starts_with("\xFF\xFE") || list.starts_with("\xFE\xFF")) {
    return {};
  }
  if (list.starts_with("\xEF\xBB\xBF")) {
    list.remove_prefix(3);
  }
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && is_separator(list[i])) {
      ++i;
    }
    std::size_t end = i;
    while (end < list.size() && !is_separator(list[end])) {
      ++end;
    }
    if (end > i) {
      words.push_back(list.substr(i, end - i));
    }
    i = end;
  }
  return words;
}

// Consumes `expected` at the front of `text`.
void expect_literal(std::string_view& text, std::string_view expected, const char* what) {
  check(text.starts_with(expected), what);
  text.remove_prefix(expected.size());
}

// Reverses the escaping of a phone text; aborts on a raw markup byte or unknown entity.
std::string unescape(std::string_view escaped) {
  std::string phone;
  while (!escaped.empty()) {
    check(escaped[0] != '<' && escaped[0] != '>', "raw markup byte in a phone");
    if (escaped[0] != '&') {
      phone += escaped[0];
      escaped.remove_prefix(1);
    } else if (escaped.starts_with("&amp;")) {
      phone += '&';
      escaped.remove_prefix(5);
    } else if (escaped.starts_with("&lt;")) {
      phone += '<';
      escaped.remove_prefix(4);
    } else {
      expect_literal(escaped, "&gt;", "unknown entity in a phone");
      phone += '>';
    }
  }
  return phone;
}

// Parses group file `group_number` and appends its phones; aborts unless it is exact markup.
void read_group_file(std::int64_t group_number, std::vector<std::string>& phones) {
  std::ifstream in(scratch_directory() / group_file_name(group_number), std::ios::binary);
  check(in.is_open(), "missing group file");
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::string_view text = bytes;
  expect_literal(text,
                 "<xml><string id=\"name\">output_" + std::to_string(group_number) + "</string>",
                 "head");
  std::int64_t entries = 0;
  while (text.starts_with("<contactData>")) {
    const std::string position = std::to_string(entries);
    expect_literal(text,
                   "<contactData><string id=\"peopleName" + position +
                       "\">People</string><string id=\"peoplePhone" + position + "\">",
                   "entry opening");
    const std::size_t phone_end = text.find('<');
    check(phone_end != std::string_view::npos, "unterminated phone");
    phones.push_back(unescape(text.substr(0, phone_end)));
    text.remove_prefix(phone_end);
    expect_literal(text, "</string></contactData>", "entry closing");
    ++entries;
  }
  check(entries > 0, "empty group file");
  expect_literal(text, "<int id=\"total\">" + std::to_string(entries) + "</int></xml>", "trailer");
  check(text.empty(), "bytes after the trailer");
}

std::int32_t limit_from(const std::uint8_t*& data, std::size_t& size) {
  if (data[0] < 0xF0) {
    const std::int32_t limit = 1 + data[0] % 8;
    ++data;
    --size;
    return limit;
  }
  const std::int32_t limit = size < 3 ? 1 : 1 + (data[1] | data[2] << 8) % 9999;
  const std::size_t used = size < 3 ? size : 3;
  data += used;
  size -= used;
  return limit;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::int32_t limit = limit_from(data, size);
  const std::string list(reinterpret_cast<const char*>(data), size);
  const std::filesystem::path& directory = scratch_directory();
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    std::filesystem::remove_all(entry.path());
  }

  std::istringstream list_stream(list);
  std::ostringstream console;
  ConversionResult result;
  {
    GroupFileWriter writer(directory);
    result = convert_phone_list(list_stream, limit, writer, console);
  }

  const std::vector<std::string_view> words = expected_words(list);
  const auto file_count = static_cast<std::int64_t>((words.size() + limit - 1) / limit);
  check(std::distance(std::filesystem::directory_iterator(directory),
                      std::filesystem::directory_iterator()) == file_count,
        "number of files");
  if (words.empty()) {
    check(result == ConversionResult::ListUnreadable, "result of a list without words");
    check(console.str().empty(), "console of a list without words");
    return 0;
  }
  check(result == ConversionResult::Converted, "result of a list with words");

  std::vector<std::string> phones;
  std::string expected_console;
  for (std::int64_t group = 1; group <= file_count; ++group) {
    read_group_file(group, phones);
    expected_console += "輸出檔案:" + group_file_name(group) + "\n";
    const auto first = static_cast<std::size_t>((group - 1) * limit);
    for (std::size_t i = first; i < words.size() && i < first + limit; ++i) {
      expected_console += "read:" + std::string(words[i]) + "\n";
    }
  }
  check(phones.size() == words.size(), "number of phones");
  for (std::size_t i = 0; i < words.size(); ++i) {
    check(phones[i] == words[i], "phone text");
  }
  check(console.str() == expected_console, "console lines");
  return 0;
}

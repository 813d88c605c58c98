// Fuzzes the conversion: arbitrary bytes as a phone list, with a limit and a read block size
// taken from the first bytes, converted into a scratch directory. Aborts when a group file is
// not well-formed XML (expat), or when a group file, the set of files or the console differs
// from what the list's words call for.
//
// Input layout: byte 0 below 0xF0 gives the limit 1 + byte0 % 8 (small limits give many
// files); otherwise the limit is 1 + (byte1 | byte2 << 8) % 9999. The next byte gives the
// read block size: 1 + byte % 16 when below 0x80 (numbers and characters then cross blocks),
// else the program's own; from 0x40 to 0x7F the list is put after 4,096 line feeds, since the
// list's first 4,096 bytes are judged, and dealt, as one. The rest is the list.

#include <algorithm>
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

#include "console.h"
#include "file_system.h"
#include "group_file.h"
#include "phone_list_conversion.h"
#include "well_formed_xml.h"

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

// A scratch directory for the list, with the folder "out" for the group files.
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

// The list's words, split independently of the code under test; none for a list that is
// refused: one with a UTF-16 byte-order mark, or with a NUL among its first 4,096 bytes.
std::vector<std::string_view> expected_words(std::string_view list) {
  if (list.starts_with("\xFF\xFE") || list.starts_with("\xFE\xFF") ||
      list.substr(0, 4096).find('\0') != std::string_view::npos) {
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

// The well-formed UTF-8 sequences: for each, the range of each of its bytes.
struct ByteRange {
  std::uint8_t lowest;
  std::uint8_t highest;
};
const std::vector<std::vector<ByteRange>> kWellFormedSequences = {
    {{0x00, 0x7F}},
    {{0xC2, 0xDF}, {0x80, 0xBF}},
    {{0xE0, 0xE0}, {0xA0, 0xBF}, {0x80, 0xBF}},
    {{0xE1, 0xEC}, {0x80, 0xBF}, {0x80, 0xBF}},
    {{0xED, 0xED}, {0x80, 0x9F}, {0x80, 0xBF}},
    {{0xEE, 0xEF}, {0x80, 0xBF}, {0x80, 0xBF}},
    {{0xF0, 0xF0}, {0x90, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}},
    {{0xF1, 0xF3}, {0x80, 0xBF}, {0x80, 0xBF}, {0x80, 0xBF}},
    {{0xF4, 0xF4}, {0x80, 0x8F}, {0x80, 0xBF}, {0x80, 0xBF}},
};

// How many bytes at the front of `text` match `sequence`.
std::size_t matching_prefix(std::string_view text, const std::vector<ByteRange>& sequence) {
  std::size_t matched = 0;
  while (matched < sequence.size() && matched < text.size()) {
    const auto byte = static_cast<std::uint8_t>(text[matched]);
    if (byte < sequence[matched].lowest || byte > sequence[matched].highest) {
      break;
    }
    ++matched;
  }
  return matched;
}

// The text a phone must have in its group file, before the markup escaping: every maximal
// subpart of ill-formed UTF-8, C0 control (but tab, line feed, carriage return), U+FFFE and
// U+FFFF replaced by U+FFFD.
std::string replace_what_xml_cannot_carry(std::string_view word) {
  const std::string replacement = "\xEF\xBF\xBD";
  std::string text;
  while (!word.empty()) {
    std::size_t longest = 0;
    bool whole = false;
    for (const auto& sequence : kWellFormedSequences) {
      const std::size_t matched = matching_prefix(word, sequence);
      longest = std::max(longest, matched);
      whole = whole || (matched > 0 && matched == sequence.size());
    }
    const std::string_view character = word.substr(0, std::max<std::size_t>(longest, 1));
    const auto first = static_cast<std::uint8_t>(character[0]);
    const bool control = first < 0x20 && first != '\t' && first != '\n' && first != '\r';
    const bool noncharacter = character == "\xEF\xBF\xBE" || character == "\xEF\xBF\xBF";
    text += whole && !control && !noncharacter ? std::string(character) : replacement;
    word.remove_prefix(character.size());
  }
  return text;
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
  std::ifstream in(scratch_directory() / "out" / group_file_name(group_number), std::ios::binary);
  check(in.is_open(), "missing group file");
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  check(is_well_formed_xml(bytes), "not well-formed XML");
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

struct ReadPlan {
  std::size_t block_size;
  bool after_judged_start;  // the list follows 4,096 line feeds, so that it crosses blocks
};

ReadPlan read_plan_from(const std::uint8_t*& data, std::size_t& size) {
  if (size == 0) {
    return {kListBlockSize, false};
  }
  const std::uint8_t byte = data[0];
  ++data;
  --size;
  return byte < 0x80 ? ReadPlan{1 + byte % 16u, byte >= 0x40} : ReadPlan{kListBlockSize, false};
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
  const ReadPlan plan = read_plan_from(data, size);
  const std::string list = std::string(plan.after_judged_start ? 4096 : 0, '\n') +
                           std::string(reinterpret_cast<const char*>(data), size);
  const std::filesystem::path directory = scratch_directory() / "out";
  std::filesystem::remove_all(directory);
  std::filesystem::create_directory(directory);
  std::ofstream(scratch_directory() / "list", std::ios::binary) << list;

  std::istringstream no_answers;
  std::ostringstream console;
  std::ostringstream reasons;
  FileSystem files;
  ConversionResult result;
  {
    Console fuzzed_console(no_answers, console, reasons, false);
    result = convert_phone_list(scratch_directory() / "list", limit, directory, std::nullopt, files,
                                fuzzed_console, plan.block_size);
    check(fuzzed_console.flush(), "console flush");
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
  check(reasons.str().empty(), "reasons for a list with words");

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
    check(phones[i] == replace_what_xml_cannot_carry(words[i]), "phone text");
  }
  check(console.str() == expected_console, "console lines");
  return 0;
}

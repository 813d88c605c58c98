// Fuzzes the conversion: arbitrary bytes as a phone list, with a limit and a read block size
// taken from the first bytes, converted into a scratch directory. Aborts when a group file is
// not well-formed XML (expat), or when a group file, the set of files or the console differs
// from what the list's words call for.
//
// Input layout: byte 0 below 0xF0 gives the limit 1 + byte0 % 8 (small limits give many
// files); otherwise the limit is 1 + (byte1 | byte2 << 8) % 9999. The next byte gives the
// read block size: 1 + byte % 16 when below 0x80 (numbers and characters then cross blocks),
// else the program's own. The rest is the list: UTF-8, or UTF-16 after its byte-order mark.
// Entries that are not phone numbers must each be named (up to 10) with their line, the rest
// counted, and followed by a note on bytes that are not UTF-8 and on extract_phone_numbers.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "change_utf8/console.h"
#include "change_utf8/group_file.h"
#include "change_utf8/phone_list_conversion.h"
#include "core/file_system.h"
#include "judged_start.h"
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

void append_utf8(char32_t code_point, std::string& text) {
  if (code_point < 0x80) {
    text += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    text += static_cast<char>(0xC0 | code_point >> 6);
    text += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    text += static_cast<char>(0xE0 | code_point >> 12);
    text += static_cast<char>(0x80 | (code_point >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | code_point >> 18);
    text += static_cast<char>(0x80 | (code_point >> 12 & 0x3F));
    text += static_cast<char>(0x80 | (code_point >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// The UTF-8 of `bytes`, UTF-16 after its byte-order mark: pairs joined, anything unpaired and
// an odd last byte U+FFFD.
std::string decode_utf16(std::string_view bytes, bool little_endian) {
  std::vector<char32_t> units;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<std::uint8_t>(bytes[i]);
    const auto second = static_cast<std::uint8_t>(bytes[i + 1]);
    units.push_back(little_endian ? first | second << 8 : first << 8 | second);
  }
  std::string text;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
      append_utf8(0x10000 + ((units[i] - 0xD800) << 10) + (units[i + 1] - 0xDC00), text);
      ++i;
    } else {
      append_utf8(units[i] >= 0xD800 && units[i] <= 0xDFFF ? 0xFFFD : units[i], text);
    }
  }
  if (bytes.size() % 2 == 1) {
    append_utf8(0xFFFD, text);
  }
  return text;
}

// The text the list stands for, split independently of the code under test; nullopt for a list
// that is refused as not plain text.
std::optional<std::string> expected_text(std::string_view list) {
  const std::string_view start = list.substr(0, test_support::kJudgedStartSize);
  const bool little_endian = list.starts_with("\xFF\xFE");
  if (little_endian || list.starts_with("\xFE\xFF")) {
    for (std::size_t i = 2; i + 1 < start.size(); i += 2) {
      if (start[i] == '\0' && start[i + 1] == '\0') {
        return std::nullopt;
      }
    }
    return decode_utf16(list, little_endian);
  }
  // A ZIP archive, as a spreadsheet is, and a file with NUL bytes are no text: both refused.
  if (list.starts_with(std::string_view("PK\3\4", 4)) ||
      start.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  return std::string(list.starts_with("\xEF\xBB\xBF") ? list.substr(3) : list);
}

std::vector<std::string_view> words_of(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && is_separator(text[i])) {
      ++i;
    }
    std::size_t end = i;
    while (end < text.size() && !is_separator(text[end])) {
      ++end;
    }
    if (end > i) {
      words.push_back(text.substr(i, end - i));
    }
    i = end;
  }
  return words;
}

bool is_phone_number(std::string_view word) {
  std::size_t digits = 0;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char byte = word[i];
    if (byte >= '0' && byte <= '9') {
      ++digits;
    } else if (std::string_view("-.()").find(byte) == std::string_view::npos &&
               !(byte == '+' && i == 0)) {
      return false;
    }
  }
  return digits >= 7 && digits <= 20;
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

// Whether all of `word` is well-formed UTF-8.
bool is_well_formed_utf8(std::string_view word) {
  while (!word.empty()) {
    std::size_t whole = 0;
    for (const auto& sequence : kWellFormedSequences) {
      whole = matching_prefix(word, sequence) == sequence.size() ? sequence.size() : whole;
    }
    if (whole == 0) {
      return false;
    }
    word.remove_prefix(whole);
  }
  return true;
}

// The line each of `words`, views of `text`, begins on: CR, LF and CR LF each end a line.
std::vector<std::int64_t> lines_of(std::string_view text,
                                   const std::vector<std::string_view>& words) {
  std::vector<std::int64_t> lines;
  std::int64_t line = 1;
  std::size_t at = 0;
  for (const std::string_view word : words) {
    for (const auto begin = static_cast<std::size_t>(word.data() - text.data()); at < begin; ++at) {
      line += text[at] == '\r' || (text[at] == '\n' && (at == 0 || text[at - 1] != '\r')) ? 1 : 0;
    }
    lines.push_back(line);
  }
  return lines;
}

// Checks the notes on the entries of `list`: one line each for the first 10 that are not phone
// numbers, with the line each begins on; then one that counts the rest; then one when an entry
// holds bytes that are not UTF-8; then the command that takes out the phone numbers, when an
// entry was not one. Nothing else.
void check_notes(std::string_view text, const std::vector<std::string_view>& words,
                 const std::string& list, const std::string& reasons) {
  const std::vector<std::int64_t> lines = lines_of(text, words);
  std::vector<std::string> named;  // the start of each line that names an entry
  std::size_t not_phone_numbers = 0;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (!is_phone_number(words[i]) && ++not_phone_numbers <= 10) {
      named.push_back("change_utf8: " + list + ":" + std::to_string(lines[i]) + ": ");
    }
  }
  std::istringstream notes(reasons);
  std::string line;
  for (const std::string& start : named) {
    check(std::getline(notes, line) && line.starts_with(start) &&
              line.ends_with(": is not a phone number"),
          "entry named with its line");
  }
  if (not_phone_numbers > 10) {
    check(std::getline(notes, line) &&
              line == "change_utf8: " + list + ": " + std::to_string(not_phone_numbers - 10) +
                          (not_phone_numbers == 11 ? " more entry is not a phone number"
                                                   : " more entries are not phone numbers"),
          "entries counted");
  }
  if (!std::all_of(words.begin(), words.end(), is_well_formed_utf8)) {
    check(std::getline(notes, line) &&
              line == "change_utf8: " + list +
                          ": holds bytes that are not UTF-8, perhaps Big5 (Notepad's \"ANSI\"): "
                          "extract_phone_numbers " +
                          list +
                          " > numbers.txt writes only its phone numbers; then run change_utf8 "
                          "again and type numbers.txt",
          "note on bytes that are not UTF-8, with the command that reads them");
  } else if (not_phone_numbers > 0) {
    check(std::getline(notes, line) &&
              line == "change_utf8: " + list + ": extract_phone_numbers " + list +
                          " > numbers.txt writes only its phone numbers, one a line; then run "
                          "change_utf8 again and type numbers.txt",
          "note on the command that takes out the phone numbers");
  }
  check(!std::getline(notes, line), "no other note");
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

std::size_t block_size_from(const std::uint8_t*& data, std::size_t& size) {
  if (size == 0) {
    return kListBlockSize;
  }
  const std::uint8_t byte = data[0];
  ++data;
  --size;
  return byte < 0x80 ? 1 + byte % 16u : kListBlockSize;
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
  const std::size_t block_size = block_size_from(data, size);
  const std::string list(reinterpret_cast<const char*>(data), size);
  const std::filesystem::path directory = scratch_directory() / "out";
  std::filesystem::remove_all(directory);
  std::filesystem::create_directory(directory);
  std::ofstream(scratch_directory() / "list", std::ios::binary) << list;

  std::istringstream no_answers;
  std::ostringstream console;
  std::ostringstream reasons;
  FileSystem files;
  std::optional<ConversionResult> result;  // nullopt: the list was refused
  {
    Console fuzzed_console(no_answers, console, reasons, false);
    ListEntries opened(files, block_size);
    if (const auto refusal = open_phone_list(opened, scratch_directory() / "list", std::nullopt)) {
      fuzzed_console.write_reason(*refusal);
    } else {
      GroupFileWriter writer(files, directory, TerminationSlot::of_this_process(),
                             opened.reader().identity());
      result = convert_phone_list(opened, limit, writer, fuzzed_console);
    }
    check(fuzzed_console.flush(), "console flush");
  }

  const std::optional<std::string> text = expected_text(list);
  const std::vector<std::string_view> words =
      text ? words_of(*text) : std::vector<std::string_view>{};
  const auto file_count = static_cast<std::int64_t>((words.size() + limit - 1) / limit);
  check(std::distance(std::filesystem::directory_iterator(directory),
                      std::filesystem::directory_iterator()) == file_count,
        "number of files");
  if (words.empty()) {
    check(!result, "result of a list without words");
    check(console.str().empty(), "console of a list without words");
    return 0;
  }
  check(result == ConversionResult::Converted, "result of a list with words");
  check_notes(*text, words, (scratch_directory() / "list").string(), reasons.str());

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

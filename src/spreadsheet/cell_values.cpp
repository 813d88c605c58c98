#include "spreadsheet/cell_values.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <limits>

#include "core/utf8.h"

namespace {

// An integral number with more digits than a double's largest is left as the file writes it.
constexpr std::int64_t kMaxIntegralDigits = 309;

// Takes the leading ASCII digits off `text` and returns them.
std::string_view take_digits(std::string_view& text) {
  std::size_t count = 0;
  while (count < text.size() && text[count] >= '0' && text[count] <= '9') {
    ++count;
  }
  const std::string_view digits = text.substr(0, count);
  text.remove_prefix(count);
  return digits;
}

// The decimal exponent at the start of `text` ("E8", "e-03"), taken off; 0 when there is
// none, nullopt when it is malformed or too large to mean a cell's value.
std::optional<std::int64_t> take_exponent(std::string_view& text) {
  if (text.empty() || (text[0] != 'E' && text[0] != 'e')) {
    return 0;
  }
  text.remove_prefix(1);
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    text.remove_prefix(1);
  }
  const std::string_view digits = take_digits(text);
  std::int64_t exponent = 0;
  if (digits.empty() || digits.size() > 4) {
    return std::nullopt;
  }
  std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
  return negative ? -exponent : exponent;
}

}  // namespace

std::string exact_number_text(std::string_view value) {
  std::string_view rest = value;
  const bool negative = !rest.empty() && rest[0] == '-';
  if (!rest.empty() && (rest[0] == '-' || rest[0] == '+')) {
    rest.remove_prefix(1);
  }
  const std::string_view whole = take_digits(rest);
  std::string_view fraction;
  if (!rest.empty() && rest[0] == '.') {
    rest.remove_prefix(1);
    fraction = take_digits(rest);
  }
  const std::optional<std::int64_t> exponent = take_exponent(rest);
  if (!exponent || !rest.empty() || (whole.empty() && fraction.empty())) {
    return std::string(value);
  }
  const std::int64_t point = static_cast<std::int64_t>(whole.size()) + *exponent;
  if (point > kMaxIntegralDigits) {
    return std::string(value);
  }
  const std::string digits = std::string(whole).append(fraction);
  const auto integral_size = static_cast<std::size_t>(std::max<std::int64_t>(point, 0));
  if (digits.find_first_not_of('0', std::min(integral_size, digits.size())) != std::string::npos) {
    return std::string(value);  // not integral
  }
  std::string integral = digits.substr(0, integral_size);
  integral.append(integral_size - integral.size(), '0');
  integral.erase(0, std::min(integral.find_first_not_of('0'), integral.size()));
  if (integral.empty()) {
    return "0";
  }
  return negative ? "-" + integral : integral;
}

bool is_date_number_format(std::int64_t id, std::optional<std::string_view> code) {
  if (!code) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
  }
  char closing = 0;  // of the quoted text or the brackets being skipped
  for (std::size_t next = 0; next < code->size(); ++next) {
    const char character = (*code)[next];
    if (closing != 0) {
      if (character == closing) {
        closing = 0;
      }
    } else if (character == '"' || character == '[') {
      closing = character == '"' ? '"' : ']';
    } else if (character == '\\' || character == '_' || character == '*') {
      ++next;  // the character after it stands for itself
    } else if (std::string_view("yYmMdDhHsS").find(character) != std::string_view::npos) {
      return true;
    }
  }
  return false;
}

std::string unescaped_xlsx_text(std::string_view text) {
  std::string plain;
  std::size_t done = 0;
  for (std::size_t mark = text.find("_x"); mark != std::string_view::npos;
       mark = text.find("_x", mark + 1)) {
    std::uint32_t code_point = 0;
    const char* digits = text.data() + mark + 2;
    if (mark < done || text.size() - mark < 7 || text[mark + 6] != '_' ||
        std::from_chars(digits, digits + 4, code_point, 16).ptr != digits + 4 ||
        (code_point >= 0xD800 && code_point < 0xE000)) {
      continue;
    }
    plain.append(text.substr(done, mark - done));
    utf8::append(code_point, plain);
    done = mark + 7;
  }
  return done == 0 ? std::string(text) : plain.append(text.substr(done));
}

std::string cell_reference(std::int64_t column, std::int64_t row) {
  std::string letters;
  for (std::int64_t left = column; left > 0; left = (left - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (left - 1) % 26));
  }
  return letters + std::to_string(row);
}

std::optional<std::int64_t> column_of(std::optional<std::string_view> reference) {
  if (!reference) {
    return std::nullopt;
  }
  std::int64_t column = 0;
  std::size_t letters = 0;
  for (; letters < reference->size() && (*reference)[letters] >= 'A' &&
         (*reference)[letters] <= 'Z' && letters < 3;
       ++letters) {
    column = column * 26 + ((*reference)[letters] - 'A' + 1);
  }
  if (letters == 0 || column > kMaxColumns) {
    return std::nullopt;
  }
  return column;
}

std::optional<std::int64_t> counting_number(std::optional<std::string_view> text,
                                            std::int64_t most) {
  std::int64_t number = 0;
  if (!text || text->empty()) {
    return std::nullopt;
  }
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
  if (error != std::errc() || end != text->data() + text->size() || number < 1 || number > most) {
    return std::nullopt;
  }
  return number;
}

std::int64_t repeat_count(std::optional<std::string_view> count, std::int64_t most) {
  return std::min(counting_number(count, std::numeric_limits<std::int64_t>::max()).value_or(1),
                  most);
}

#include "phone_number_finder.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumbermatch.h>
#include <phonenumbers/phonenumbermatcher.h>
#include <phonenumbers/phonenumberutil.h>

#include <set>

#include "utf8.h"

namespace {

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberMatch;
using i18n::phonenumbers::PhoneNumberMatcher;
using i18n::phonenumbers::PhoneNumberUtil;

// The matcher gives up on a text after this many candidates that are no number, as the
// library's other implementations do by default.
constexpr int kMatcherMaxTries = 65535;

// No valid number has fewer digits: the shortest national numbers of any region have four.
constexpr std::size_t kFewestDigits = 4;

const PhoneNumberUtil& phone_util() {
  return *PhoneNumberUtil::GetInstance();
}

// The length of the well-formed UTF-8 character at the start of `text`; 0 when it is
// ill-formed there.
std::size_t character_length(std::string_view text) {
  const std::size_t length = utf8::multibyte_length(text[0]);
  if (length == 0 || length > text.size()) {
    return 0;
  }
  for (std::size_t held = 1; held < length; ++held) {
    if (!utf8::continues_character(text[0], held, text[held])) {
      return 0;
    }
  }
  return length;
}

// `text` with each byte of ill-formed UTF-8 replaced by `?`, byte for byte. Also counts the
// characters that may be digits: ASCII digits and every character outside the Chinese range
// (U+3000 to U+9FFF) and ASCII, where the digits of other scripts and full-width ones are.
std::string well_formed(std::string_view text, std::size_t& may_be_digits) {
  std::string checked(text);
  may_be_digits = 0;
  std::size_t next = 0;
  while (next < checked.size()) {
    const auto byte = static_cast<unsigned char>(checked[next]);
    if (byte < 0x80) {
      may_be_digits += (byte >= '0' && byte <= '9') ? 1 : 0;
      ++next;
      continue;
    }
    const std::size_t length = character_length(std::string_view(checked).substr(next));
    if (length == 0) {
      checked[next++] = '?';
      continue;
    }
    may_be_digits += (byte >= 0xE3 && byte <= 0xE9) ? 0 : 1;
    next += length;
  }
  return checked;
}

// `number` as found: its dialled form and key.
FoundNumber found_number(const PhoneNumber& number, std::string_view region) {
  FoundNumber found;
  phone_util().FormatNumberForMobileDialing(number, std::string(region), false, &found.dialled);
  std::string e164;
  phone_util().Format(number, PhoneNumberUtil::E164, &e164);
  if (found.dialled.empty()) {
    found.dialled = e164;
  }
  for (const char digit : e164) {
    if (digit >= '0' && digit <= '9') {
      found.key = found.key * 10 + static_cast<std::uint64_t>(digit - '0');
    }
  }
  return found;
}

}  // namespace

PhoneNumberFinder::PhoneNumberFinder(std::string_view region) : region_(region) {}

bool PhoneNumberFinder::is_known_region(std::string_view region) {
  std::set<std::string> regions;
  phone_util().GetSupportedRegions(&regions);
  return regions.contains(std::string(region));
}

void PhoneNumberFinder::find_in_text(std::string_view text, std::vector<FoundNumber>& found) const {
  std::size_t may_be_digits = 0;
  const std::string checked = well_formed(text, may_be_digits);
  if (may_be_digits < kFewestDigits) {
    return;
  }
  PhoneNumberMatcher matcher(phone_util(), checked, region_, PhoneNumberMatcher::VALID,
                             kMatcherMaxTries);
  PhoneNumberMatch match;
  while (matcher.HasNext() && matcher.Next(&match)) {
    FoundNumber number = found_number(match.number(), region_);
    number.begin = static_cast<std::size_t>(match.start());
    number.end = number.begin + match.raw_string().size();
    found.push_back(std::move(number));
  }
}

std::optional<FoundNumber> PhoneNumberFinder::valid_number(std::string_view digits) const {
  PhoneNumber number;
  if (phone_util().Parse(std::string(digits), region_, &number) !=
          PhoneNumberUtil::NO_PARSING_ERROR ||
      !phone_util().IsValidNumber(number)) {
    return std::nullopt;
  }
  FoundNumber found = found_number(number, region_);
  found.end = digits.size();
  return found;
}

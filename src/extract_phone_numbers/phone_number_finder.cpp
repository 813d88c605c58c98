#include "extract_phone_numbers/phone_number_finder.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumbermatch.h>
#include <phonenumbers/phonenumbermatcher.h>
#include <phonenumbers/phonenumberutil.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <set>
#include <utility>

#include "core/text_rules.h"
#include "core/utf8.h"

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

// Whether a number of `type` takes text messages (FoundNumber::mobile).
bool is_mobile(PhoneNumberUtil::PhoneNumberType type) {
  return type == PhoneNumberUtil::MOBILE || type == PhoneNumberUtil::FIXED_LINE_OR_MOBILE;
}

// The type of a parsed number, UNKNOWN when it is not valid. Asking the type validates the
// number as IsValidNumber does, with the same patterns: the type costs no second walk.
PhoneNumberUtil::PhoneNumberType type_of(const PhoneNumber& number) {
  return phone_util().GetNumberType(number);
}

// A text as it is searched, and where each of its bytes stands in the text it was made of.
struct SearchedText {
  std::string text;
  // The byte of the text it was made of that each byte of `text` stands for, then that text's
  // size: bytes [begin, end) of `text` were bytes [origin[begin], origin[end]) there.
  std::vector<std::size_t> origin;
  // The characters that may be digits: ASCII digits and every character outside the Chinese
  // range (U+3000 to U+9FFF) and ASCII, where the digits of other scripts and full-width ones
  // are.
  std::size_t may_be_digits = 0;

  void append(std::string_view bytes, std::size_t from) {
    text += bytes;
    origin.insert(origin.end(), bytes.size(), from);
  }
};

// Whether `text` ends with an ASCII or a full-width digit.
bool ends_with_digit(std::string_view text) {
  return !text.empty() &&
         (is_ascii_digit(text.back()) ||
          (text.size() >= 3 && full_width_digit_length(text.substr(text.size() - 3)) > 0));
}

// The bytes of the white space at the start of `text`, a stray character (a control, a
// non-character) counting as a space, and how many characters it has.
std::pair<std::size_t, std::size_t> space_run(std::string_view text) {
  std::size_t bytes = 0;
  std::size_t characters = 0;
  while (bytes < text.size()) {
    const std::string_view rest = text.substr(bytes);
    const std::size_t length = std::max(whitespace_length(rest), stray_character_length(rest));
    if (length == 0) {
      break;
    }
    bytes += length;
    ++characters;
  }
  return {bytes, characters};
}

// Appends the white space `run` at byte `from`, of `characters` characters, to `searched`:
// one space for a run of two characters or more or a stray character, the run as it is
// otherwise. The matcher misses a number with a run of spaces between its groups or inside its
// brackets ((  03  )  963-6548); it rejects a number after a control character, as it does one
// after a letter, and finds nothing at all in a text holding a non-character.
void append_space_run(SearchedText& searched, std::string_view run, std::size_t characters,
                      std::size_t from) {
  const bool as_it_is = characters == 1 && stray_character_length(run) == 0;
  searched.append(as_it_is ? run : " ", from);
}

// Whether `text` starts with a `+` and a digit 1 to 9 glued to a number of `region` written
// with its national prefix `national_prefix`, as a group-buy comment's +1 is (+10953-209-804),
// the whole being no valid international number.
bool starts_with_glued_plus(std::string_view text, const std::string& region,
                            std::string_view national_prefix) {
  if (national_prefix.empty() || text.size() < 3 || text[0] != '+' || text[1] < '1' ||
      text[1] > '9' || !text.substr(2).starts_with(national_prefix)) {
    return false;
  }
  const std::size_t end = std::min(text.find_first_not_of("0123456789-. ()", 2), text.size());
  const std::string national(text.substr(2, end - 2));
  PhoneNumber whole;
  PhoneNumber number;
  return !(phone_util().Parse(std::string(text.substr(0, end)), region, &whole) ==
               PhoneNumberUtil::NO_PARSING_ERROR &&
           phone_util().IsValidNumber(whole)) &&
         phone_util().Parse(national, region, &number) == PhoneNumberUtil::NO_PARSING_ERROR &&
         phone_util().IsValidNumber(number);
}

// `text` as the matcher and the shape test search it: each byte of ill-formed UTF-8 as `?`;
// white space and stray characters as append_space_run writes them; a dot of group_dot_length
// between two digits as `.`; and a `+` and a digit glued to a national number
// (starts_with_glued_plus) as a space.
SearchedText searched_form(std::string_view text, const std::string& region,
                           std::string_view national_prefix) {
  SearchedText searched;
  searched.text.reserve(text.size());
  searched.origin.reserve(text.size() + 1);
  std::size_t next = 0;
  while (next < text.size()) {
    const std::string_view rest = text.substr(next);
    if (const auto [bytes, characters] = space_run(rest); bytes > 0) {
      append_space_run(searched, rest.substr(0, bytes), characters, next);
      next += bytes;
      continue;
    }
    const std::size_t dot = group_dot_length(rest);
    if (dot > 0 && dot < rest.size() && ends_with_digit(searched.text) &&
        digit_length(rest.substr(dot)) > 0) {
      searched.append(".", next);
      next += dot;
      continue;
    }
    if (rest[0] == '+' && !ends_with_digit(searched.text) &&
        starts_with_glued_plus(rest, region, national_prefix)) {
      searched.append(" ", next);
      next += 2;
      continue;
    }
    const std::size_t length = utf8::character_length(rest);
    const auto byte = static_cast<unsigned char>(rest[0]);
    const bool may_be_digit =
        byte < 0x80 ? is_ascii_digit(rest[0]) : length > 0 && (byte < 0xE3 || byte > 0xE9);
    searched.may_be_digits += may_be_digit ? 1 : 0;
    searched.append(length == 0 ? "?" : rest.substr(0, length), next);
    next += length == 0 ? 1 : length;
  }
  searched.origin.push_back(text.size());
  return searched;
}

// The length of the space at the start of `text` that may stand beside a run of digits of a
// text searched without the matcher: ASCII space, tab, a no-break or an ideographic space;
// 0 for any other character. Fewer than whitespace_length takes, on purpose: the shape test
// knows how the matcher reads these four, and leaves a text with any other white space
// (vertical tab, form feed, the typographic spaces) to the matcher.
std::size_t boundary_space_length(std::string_view text) {
  if (text[0] == ' ' || text[0] == '\t') {
    return 1;
  }
  if (text.starts_with("\xC2\xA0")) {
    return 2;
  }
  return text.starts_with("\xE3\x80\x80") ? 3 : 0;
}

// The length of the character at the start of `text` that may stand beside a run of digits of a
// text searched without the matcher: the punctuation between cells (, ; | 、 ， ；) or a
// boundary space. None of them is a letter, a currency sign or a digit.
std::size_t boundary_length(std::string_view text) {
  const std::size_t punctuation = cell_punctuation_length(text);
  return punctuation > 0 ? punctuation : boundary_space_length(text);
}

// Bytes [first, second) of a text: a run of digits.
using DigitRun = std::pair<std::size_t, std::size_t>;

// Where the matcher's candidates in `text` stand, for a text of a simple shape, where each
// candidate is exactly one run of digits: runs of ASCII digits as many as a number has
// (kFewestDigitsOfANumber to kMostDigitsOfANumber), each perhaps after a +,
// with a boundary character or nothing on each side, and between two runs a character that
// parts numbers; besides them no character that may be a digit and none that may open a
// number, ( [ + or their full-width forms, and none outside ASCII, the Chinese range and the
// boundaries; and where there are two runs or more, no letter, # or ~, which may make an
// extension of the digits after them. The matcher takes a run exactly when its number parses
// and verifies. Nullopt for every other text.
std::optional<std::vector<DigitRun>> separate_digit_runs(std::string_view text) {
  std::vector<DigitRun> runs;
  bool after_boundary = true;
  bool parted = true;
  bool may_make_extension = false;
  std::size_t next = 0;
  while (next < text.size()) {
    const std::string_view rest = text.substr(next);
    const bool opens_run = rest[0] == '+' && rest.size() > 1 && is_ascii_digit(rest[1]);
    if (opens_run || is_ascii_digit(rest[0])) {
      const std::size_t end = std::min(text.find_first_not_of(kAsciiDigits, next + 1), text.size());
      const std::size_t digits = end - next - (opens_run ? 1 : 0);
      if (!after_boundary || !parted || digits < std::size_t{kFewestDigitsOfANumber} ||
          digits > std::size_t{kMostDigitsOfANumber} ||
          (end < text.size() && boundary_length(text.substr(end)) == 0)) {
        return std::nullopt;
      }
      runs.emplace_back(next, end);
      next = end;
      parted = false;
      continue;
    }
    const std::size_t boundary = boundary_length(rest);
    const auto byte = static_cast<unsigned char>(rest[0]);
    if (boundary == 0 && (rest[0] == '(' || rest[0] == '[' || rest[0] == '+' ||
                          (byte >= 0x80 && (byte < 0xE3 || byte > 0xE9)))) {
      return std::nullopt;
    }
    may_make_extension =
        may_make_extension || std::isalpha(byte) != 0 || rest[0] == '#' || rest[0] == '~';
    parted = parted || number_parting_length(rest) > 0;
    after_boundary = boundary > 0;
    next += boundary > 0 ? boundary : utf8::step_length(rest);
  }
  if (runs.size() > 1 && may_make_extension) {
    return std::nullopt;
  }
  return runs;
}

// The form a phone in `region` dials `number` in: what FormatNumberForMobileDialing gives
// without formatting, or E.164 where that is empty. Takes the library's own steps for a valid
// number, leaving out those it can know the answer of: a number of another country is dialled
// in E.164; one of the region itself in the national form without formatting, but for the
// countries where the library dials some numbers otherwise. `national` is the national form
// of `number` when already known, else empty.
std::string dialled_form(PhoneNumber number, const std::string& region, const std::string& e164,
                         std::string national) {
  number.clear_extension();
  std::string number_region;
  phone_util().GetRegionCodeForCountryCode(number.country_code(), &number_region);
  if (number_region != region) {
    return e164;
  }
  std::string dialled;
  if (number.country_code() == 1 || region == "BR" || region == "MX" || region == "CL" ||
      region == "UZ") {
    phone_util().FormatNumberForMobileDialing(number, region, false, &dialled);
  } else {
    if (national.empty()) {
      phone_util().Format(number, PhoneNumberUtil::NATIONAL, &national);
    }
    dialled = std::move(national);
    phone_util().NormalizeDiallableCharsOnly(&dialled);
  }
  return dialled.empty() ? e164 : dialled;
}

// `number`, a valid number, as found: its dialled form and key, and `mobile`. `national` is the
// national form of `number` when already known, else empty.
FoundNumber found_number(const PhoneNumber& number, bool mobile, const std::string& region,
                         std::string national = {}) {
  FoundNumber found;
  found.mobile = mobile;
  std::string e164;
  phone_util().Format(number, PhoneNumberUtil::E164, &e164);
  found.dialled = dialled_form(number, region, e164, std::move(national));
  for (const char digit : e164) {
    if (digit >= '0' && digit <= '9') {
      found.key = found.key * 10 + static_cast<std::uint64_t>(digit - '0');
    }
  }
  return found;
}

// The ASCII digits of `text`, in order.
std::string digits_of(std::string_view text) {
  std::string digits;
  for (const char character : text) {
    if (is_ascii_digit(character)) {
      digits += character;
    }
  }
  return digits;
}

// Whether `national`, the national form of a number, writes no digit besides its national
// significant number `national_number`: no national prefix, or only brackets around the first
// group. The matcher then takes the number whether or not it was written with the prefix.
bool written_without_prefix(std::string_view national, const std::string& national_number) {
  return digits_of(national) == national_number;
}

// The number the matcher would find in `text` of the shape separate_digit_runs finds, in its
// run `run`: true and the number in `found` when it is one; false when it is none; nullopt
// when only the matcher can tell (a number of the region written without the national prefix
// that its national form writes, which the matcher takes only where that prefix is optional),
// leaving the number in `left_to_matcher`, its type in `type` and its national form in
// `national`.
std::optional<bool> verify_run(std::string_view text, DigitRun run, const std::string& region,
                               std::vector<FoundNumber>& found, PhoneNumber& left_to_matcher,
                               PhoneNumberUtil::PhoneNumberType& type, std::string& national) {
  const std::string candidate(text.substr(run.first, run.second - run.first));
  PhoneNumber number;
  if (phone_util().ParseAndKeepRawInput(candidate, region, &number) !=
      PhoneNumberUtil::NO_PARSING_ERROR) {
    return false;
  }
  type = type_of(number);
  if (type == PhoneNumberUtil::UNKNOWN) {
    return false;
  }
  if (number.country_code_source() == PhoneNumber::FROM_DEFAULT_COUNTRY) {
    // The matcher asks whether the number was written with the national prefix of the main
    // region of its country code, where the national form of the number writes one: known here
    // when the parse, for that same region, removed one, or when the national form writes none.
    std::string main_region;
    phone_util().GetRegionCodeForCountryCode(number.country_code(), &main_region);
    std::string national_number;
    phone_util().GetNationalSignificantNumber(number, &national_number);
    phone_util().Format(number, PhoneNumberUtil::NATIONAL, &national);
    if ((main_region != region || national_number.size() == candidate.size()) &&
        !written_without_prefix(national, national_number)) {
      left_to_matcher = number;
      return std::nullopt;
    }
  }
  // As the matcher hands its numbers out.
  number.clear_country_code_source();
  number.clear_preferred_domestic_carrier_code();
  number.clear_raw_input();
  FoundNumber in_run = found_number(number, is_mobile(type), region, std::move(national));
  in_run.begin = run.first;
  in_run.end = run.second;
  found.push_back(std::move(in_run));
  return true;
}

// The number `written`, a number written with digits and separators only, is when the matcher
// would take it alone: valid for `region`, and written with the national prefix where its
// national form writes one (the matcher's rule where that prefix is not optional, which
// verify_run leaves to the matcher). Nullopt otherwise.
std::optional<FoundNumber> number_written(std::string_view written, const std::string& region) {
  PhoneNumber number;
  if (phone_util().ParseAndKeepRawInput(std::string(written), region, &number) !=
      PhoneNumberUtil::NO_PARSING_ERROR) {
    return std::nullopt;
  }
  const PhoneNumberUtil::PhoneNumberType type = type_of(number);
  if (type == PhoneNumberUtil::UNKNOWN) {
    return std::nullopt;
  }
  std::string national;
  if (number.country_code_source() == PhoneNumber::FROM_DEFAULT_COUNTRY) {
    std::string national_number;
    phone_util().GetNationalSignificantNumber(number, &national_number);
    phone_util().Format(number, PhoneNumberUtil::NATIONAL, &national);
    const auto digits = static_cast<std::size_t>(std::ranges::count_if(written, is_ascii_digit));
    if (national_number.size() == digits && !written_without_prefix(national, national_number)) {
      return std::nullopt;
    }
  }
  number.clear_country_code_source();
  number.clear_raw_input();
  return found_number(number, is_mobile(type), region, std::move(national));
}

// A run of groups of ASCII digits joined by single spaces or dashes: bytes [first, second)
// of each group.
using DigitGroups = std::vector<DigitRun>;

// The groups of the run of digit groups that starts `text` at byte `begin`, not after a digit.
DigitGroups digit_groups(std::string_view text, std::size_t begin) {
  DigitGroups groups;
  std::size_t next = begin;
  while (next < text.size() && is_ascii_digit(text[next])) {
    const std::size_t end = std::min(text.find_first_not_of(kAsciiDigits, next), text.size());
    groups.emplace_back(next, end);
    const bool joined = end + 1 < text.size() && (text[end] == ' ' || text[end] == '-') &&
                        is_ascii_digit(text[end + 1]);
    next = joined ? end + 1 : text.size();
  }
  return groups;
}

// The numbers that the run `groups` of `text` (none, perhaps) is when it splits into consecutive
// groups each a number (number_written) in exactly one way; none when it splits in no way or in
// several.
std::vector<FoundNumber> split_numbers(std::string_view text, const DigitGroups& groups,
                                       const std::string& region) {
  const std::size_t count = groups.size();
  // ways[i]: in how many ways groups i.. split, counted up to 2; first[i]: the groups of the
  // first number of the split counted last, and that number.
  std::vector<int> ways(count + 1, 0);
  std::vector<std::size_t> first_end(count, 0);
  std::vector<std::optional<FoundNumber>> first(count);
  ways[count] = 1;
  for (std::size_t start = count; start-- > 0;) {
    std::size_t digits = 0;
    for (std::size_t end = start + 1; end <= count; ++end) {
      digits += groups[end - 1].second - groups[end - 1].first;
      if (digits > std::size_t{kMostDigitsOfANumber}) {
        break;
      }
      if (digits < std::size_t{kFewestDigitsOfANumber} || ways[end] == 0) {
        continue;
      }
      const DigitRun span{groups[start].first, groups[end - 1].second};
      std::optional<FoundNumber> number =
          number_written(text.substr(span.first, span.second - span.first), region);
      if (number) {
        number->begin = span.first;
        number->end = span.second;
        ways[start] = std::min(2, ways[start] + ways[end]);
        first_end[start] = end;
        first[start] = std::move(number);
      }
    }
  }
  std::vector<FoundNumber> numbers;
  for (std::size_t start = 0; ways[0] == 1 && start < count; start = first_end[start]) {
    numbers.push_back(std::move(*first[start]));
  }
  return numbers;
}

// Whether the byte `byte` may stand right before or after a run of digit groups that is
// split: not a digit, a letter, a + or a bracket, which make the run part of something else (a
// number with its country code or its area code in brackets, an ID).
bool may_bound_groups(char byte) {
  return !is_ascii_digit(byte) && std::isalpha(static_cast<unsigned char>(byte)) == 0 &&
         std::string_view("+()").find(byte) == std::string_view::npos;
}

// The groups of `groups` that overlap none of `found`, in runs cut where one does.
std::vector<DigitGroups> groups_not_found(const DigitGroups& groups,
                                          const std::vector<FoundNumber>& found) {
  std::vector<DigitGroups> runs(1);
  for (const DigitRun& group : groups) {
    const bool overlaps = std::ranges::any_of(found, [&](const FoundNumber& number) {
      return number.begin < group.second && group.first < number.end;
    });
    if (!overlaps) {
      runs.back().push_back(group);
    } else if (!runs.back().empty()) {
      runs.emplace_back();
    }
  }
  return runs;
}

// Adds to `found`, the numbers found in `text` in order, those of each run of two digit groups
// or more (digit_groups) that stands between bytes that may_bound_groups: of each part of it
// that overlaps none of them and splits in one way (split_numbers). Keeps the order.
void find_side_by_side(std::string_view text, const std::string& region,
                       std::vector<FoundNumber>& found) {
  std::vector<FoundNumber> side_by_side;
  for (std::size_t next = 0; next < text.size(); ++next) {
    if (!is_ascii_digit(text[next]) || (next > 0 && is_ascii_digit(text[next - 1]))) {
      continue;
    }
    const DigitGroups groups = digit_groups(text, next);
    const std::size_t end = groups.back().second;
    const bool bounded = (next == 0 || may_bound_groups(text[next - 1])) &&
                         (end == text.size() || may_bound_groups(text[end]));
    if (groups.size() >= 2 && bounded) {
      for (const DigitGroups& part : groups_not_found(groups, found)) {
        std::ranges::move(split_numbers(text, part, region), std::back_inserter(side_by_side));
      }
    }
    next = end;
  }
  if (side_by_side.empty()) {
    return;
  }
  std::ranges::move(side_by_side, std::back_inserter(found));
  std::ranges::sort(found, {}, &FoundNumber::begin);
}

// `cell` with each full-width digit (U+FF10 to U+FF19) as its ASCII digit.
std::string ascii_digits(std::string_view cell) {
  std::string ascii;
  for (std::size_t next = 0; next < cell.size();) {
    if (full_width_digit_length(cell.substr(next)) > 0) {
      ascii += static_cast<char>('0' + (static_cast<unsigned char>(cell[next + 2]) - 0x90));
      next += 3;
    } else {
      ascii += cell[next++];
    }
  }
  return ascii;
}

// What `dialled` adds before `digits`: the digits before them when it ends with them; empty
// when it does not, or when what stands before them is not only digits (a + and a country
// code).
std::string prefix_added(std::string_view dialled, std::string_view digits) {
  if (!dialled.ends_with(digits)) {
    return {};
  }
  const std::string_view added = dialled.substr(0, dialled.size() - digits.size());
  return added.find_first_not_of(kAsciiDigits) == std::string_view::npos ? std::string(added)
                                                                         : std::string();
}

// Whether a cell of `digits` alone (ASCII) is `number`, found as `found`, when read for the
// region (PhoneNumberFinder::cell_number); sets found.prefix_added. `national` is the national
// form of `number` when already known, else empty.
bool taken_as_cell(const PhoneNumber& number, FoundNumber& found, const std::string& digits,
                   std::string national) {
  if (found.dialled == digits || std::to_string(found.key) == digits) {
    return true;  // written whole, with its national prefix or with its country code
  }
  found.prefix_added = prefix_added(found.dialled, digits);
  if (!found.prefix_added.empty()) {
    return found.mobile;  // a landline's digits without the prefix are as often an ID
  }
  if (national.empty()) {
    phone_util().Format(number, PhoneNumberUtil::NATIONAL, &national);
  }
  if (digits_of(national) == digits) {
    return true;  // written as its national form
  }
  // Or a mobile that lost a prefix its dialled form, in E.164, does not write.
  std::string national_number;
  phone_util().GetNationalSignificantNumber(number, &national_number);
  return national_number == digits && found.mobile;
}

}  // namespace

// The library loads its metadata once, on first use: here, on the thread that makes the finder,
// so that memory running out while loading it throws std::bad_alloc to this thread's caller
// and never on a search thread inside the library's pthread_once.
PhoneNumberFinder::PhoneNumberFinder(std::string_view region) : region_(region) {
  phone_util().GetNddPrefixForRegion(region_, true, &national_prefix_);
}

bool PhoneNumberFinder::is_known_region(std::string_view region) {
  std::set<std::string> regions;
  phone_util().GetSupportedRegions(&regions);
  return regions.contains(std::string(region));
}

NumbersInText PhoneNumberFinder::find_in_text(std::string_view text) const {
  NumbersInText in_text;
  const SearchedText searched = searched_form(text, region_, national_prefix_);
  if (searched.may_be_digits < kFewestDigits) {
    return in_text;
  }
  if (!find_in_digit_runs(searched.text, in_text)) {
    PhoneNumberMatcher matcher(phone_util(), searched.text, region_, PhoneNumberMatcher::VALID,
                               kMatcherMaxTries);
    PhoneNumberMatch match;
    while (matcher.HasNext() && matcher.Next(&match)) {
      FoundNumber number =
          found_number(match.number(), is_mobile(type_of(match.number())), region_);
      number.begin = static_cast<std::size_t>(match.start());
      number.end = number.begin + match.raw_string().size();
      in_text.found.push_back(std::move(number));
    }
  }
  find_side_by_side(searched.text, region_, in_text.found);
  for (FoundNumber& number : in_text.found) {
    number.begin = searched.origin[number.begin];
    number.end = searched.origin[number.end];
  }
  return in_text;
}

bool PhoneNumberFinder::is_number_of_another_country(std::string_view digits) const {
  std::string international = "+";
  international += digits;
  PhoneNumber number;
  if (phone_util().Parse(international, "ZZ", &number) != PhoneNumberUtil::NO_PARSING_ERROR ||
      !phone_util().IsValidNumber(number)) {
    return false;
  }
  std::string number_region;
  phone_util().GetRegionCodeForNumber(number, &number_region);
  return number_region != region_;
}

// Finds the numbers of `text` without the matcher's search when it has the shape of
// separate_digit_runs, and puts them in `in_text`; false when only the matcher can find them,
// finding none but keeping in `in_text` the run it left to the matcher, if any.
bool PhoneNumberFinder::find_in_digit_runs(std::string_view text, NumbersInText& in_text) const {
  const std::optional<std::vector<DigitRun>> runs = separate_digit_runs(text);
  if (!runs) {
    return false;
  }
  for (const DigitRun& run : *runs) {
    PhoneNumber left_to_matcher;
    PhoneNumberUtil::PhoneNumberType type = PhoneNumberUtil::UNKNOWN;
    std::string national;
    if (!verify_run(text, run, region_, in_text.found, left_to_matcher, type, national)
             .has_value()) {
      in_text.found.clear();
      in_text.left_to_matcher =
          ParsedNumber{.digits = std::string(text.substr(run.first, run.second - run.first)),
                       .country_code = left_to_matcher.country_code(),
                       .national_number = left_to_matcher.national_number(),
                       .italian_leading_zero = left_to_matcher.italian_leading_zero(),
                       .number_of_leading_zeros = left_to_matcher.number_of_leading_zeros(),
                       .national = std::move(national),
                       .mobile = is_mobile(type)};
      return false;
    }
  }
  return true;
}

std::optional<FoundNumber> PhoneNumberFinder::cell_number(
    std::string_view cell, const std::optional<ParsedNumber>& already_parsed) const {
  PhoneNumber number;
  std::string national;
  bool mobile = false;
  if (already_parsed && already_parsed->digits == cell) {
    // Parsed and found valid by find_in_text, for the same region: the same number.
    number.set_country_code(already_parsed->country_code);
    number.set_national_number(already_parsed->national_number);
    if (already_parsed->italian_leading_zero) {
      number.set_italian_leading_zero(true);
      number.set_number_of_leading_zeros(already_parsed->number_of_leading_zeros);
    }
    national = already_parsed->national;
    mobile = already_parsed->mobile;
  } else {
    if (phone_util().Parse(std::string(cell), region_, &number) !=
        PhoneNumberUtil::NO_PARSING_ERROR) {
      return std::nullopt;
    }
    const PhoneNumberUtil::PhoneNumberType type = type_of(number);
    if (type == PhoneNumberUtil::UNKNOWN) {
      return std::nullopt;
    }
    mobile = is_mobile(type);
  }
  FoundNumber found = found_number(number, mobile, region_, national);
  found.end = cell.size();
  if (!taken_as_cell(number, found, ascii_digits(cell), std::move(national))) {
    return std::nullopt;
  }
  return found;
}

#ifndef CHANGE_UTF8_PHONE_NUMBER_FINDER_H_
#define CHANGE_UTF8_PHONE_NUMBER_FINDER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A phone number found in a text.
struct FoundNumber {
  // The form a phone in the region dials: the mobile-dialing form without formatting
  // (0912345678 for a Taiwanese mobile in TW, +14155552671 for a US number there), or E.164
  // where the region has no such form.
  std::string dialled;
  // The digits of its E.164 form as one integer (a country code never starts with 0): two
  // forms of one number have the same key.
  std::uint64_t key = 0;
  // Whether a text message can reach it: libphonenumber types it MOBILE, or FIXED_LINE_OR_MOBILE
  // where the numbering plan cannot tell the two apart (as in the US).
  bool mobile = false;
  // Where it stands in the text searched: bytes [begin, end).
  std::size_t begin = 0;
  std::size_t end = 0;
  // Of a number that cell_number found: the digits that its dialled form adds before the
  // cell's digits, the national prefix the cell lacked ("0" for 912345678 in TW, "8" for
  // 9123456789 in RU); empty when the dialled form is the cell's digits, or adds anything else.
  std::string prefix_added;
};

// A run of digits that find_in_text parsed as a valid number but left to the matcher (as a cell
// that lost its leading 0 is): what its E.164 and national forms are made of, so that
// cell_number need not parse it again. Only PhoneNumberFinder reads its fields.
struct ParsedNumber {
  std::string digits;  // as written, ASCII digits only
  std::int32_t country_code = 0;
  std::uint64_t national_number = 0;
  bool italian_leading_zero = false;
  std::int32_t number_of_leading_zeros = 1;
  std::string national;  // its national form, as the library formats it
  bool mobile = false;   // as FoundNumber::mobile
};

// What find_in_text finds in a text.
struct NumbersInText {
  std::vector<FoundNumber> found;  // in the order they stand
  std::optional<ParsedNumber> left_to_matcher;
};

// Finds and validates phone numbers with the numbering plans of libphonenumber, for one
// region. The one unit that knows the library; everything else passes FoundNumber along.
// A finder keeps nothing between calls: one const finder may serve several threads at once,
// which share the library's numbering plans (the library locks them).
class PhoneNumberFinder {
 public:
  // REQUIRES: is_known_region(region).
  explicit PhoneNumberFinder(std::string_view region);

  // Whether `region`, two upper-case letters, is a region whose numbers libphonenumber knows.
  static bool is_known_region(std::string_view region);

  // The numbers in `text`, in order, where they stand in it: those that libphonenumber's
  // matcher finds for the region with the leniency VALID (each one a valid number, not part of
  // a longer run of digits or letters), and those written side by side. The text is searched
  // as people write numbers: each byte that is not well-formed UTF-8 as `?`; each control
  // character but tab and each non-character (stray_character_length) as a space; one space
  // for a run of white space; a dot of group_dot_length between digits as `.`; a +1 to +9
  // glued to a number written with the region's national prefix (+10953-209-804), where the
  // whole is no valid number, as a space. A run of digit groups joined by single spaces or
  // dashes (0912 345 678 0922 333 444), cut where it overlaps a number found, gives the
  // numbers each part splits into when it splits into consecutive groups each a valid number
  // written as the matcher takes one in exactly one way. A text with fewer than four
  // characters that may be digits holds no number and is not searched further.
  [[nodiscard]] NumbersInText find_in_text(std::string_view text) const;

  // Whether `digits`, ASCII digits, are a valid number of a country other than the region's
  // when read after a +: a number of another country written without its +.
  [[nodiscard]] bool is_number_of_another_country(std::string_view digits) const;

  // The number that `cell` (ASCII or full-width digits, perhaps after a +) is when read alone
  // for the region, as a spreadsheet's number cell or a cell of digits is read: a valid number
  // written whole, the cell's digits being its dialled form, its national form's digits, or
  // its E.164 digits (read with its country code); or a mobile number (FoundNumber::mobile)
  // that lost its national prefix, the cell's digits being its national significant number,
  // prefix_added then saying what its dialled form adds before them. Nullopt for anything
  // else. `begin` and `end` of the result are 0 and cell.size(). Cheaper when
  // `already_parsed`, the left_to_matcher of the text the cell stands in, is that same cell.
  [[nodiscard]] std::optional<FoundNumber> cell_number(
      std::string_view cell, const std::optional<ParsedNumber>& already_parsed = {}) const;

 private:
  bool find_in_digit_runs(std::string_view text, NumbersInText& in_text) const;

  std::string region_;
  std::string national_prefix_;  // of the region, as numbers are written there; may be empty
};

#endif  // CHANGE_UTF8_PHONE_NUMBER_FINDER_H_

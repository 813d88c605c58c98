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
  // Where it stands in the text searched: bytes [begin, end).
  std::size_t begin = 0;
  std::size_t end = 0;
};

// Finds and validates phone numbers with the numbering plans of libphonenumber, for one
// region. The one unit that knows the library; everything else passes FoundNumber along.
// A finder is used by one thread at a time (valid_number reads what find_in_text left);
// finders on several threads share the library's numbering plans, which it locks.
class PhoneNumberFinder {
 public:
  // REQUIRES: is_known_region(region).
  explicit PhoneNumberFinder(std::string_view region);

  // Whether `region`, two upper-case letters, is a region whose numbers libphonenumber knows.
  static bool is_known_region(std::string_view region);

  [[nodiscard]] const std::string& region() const { return region_; }

  // Appends to `found`, in the order they stand, the numbers that libphonenumber's matcher
  // finds in `text` for the region with the leniency VALID (each one a valid number, not part
  // of a longer run of digits or letters). Each byte of `text` that is not well-formed UTF-8,
  // and each control character but tab, vertical tab and form feed, is searched as `?`. A text with
  // fewer than four characters that may be digits holds no number and is not searched further.
  void find_in_text(std::string_view text, std::vector<FoundNumber>& found) const;

  // The number that `digits` (a cell of ASCII or full-width digits) is when read for the
  // region, when that is a valid number; nullopt otherwise. `begin` and `end` of the result
  // are 0 and digits.size(). Cheaper for the run of digits that the last find_in_text found
  // valid but left to the matcher, as a cell that lost its leading 0 is.
  [[nodiscard]] std::optional<FoundNumber> valid_number(std::string_view digits) const;

 private:
  // A valid number as parsed: what its E.164 and national forms are made of.
  struct ParsedNumber {
    std::string digits;  // as written, ASCII digits only
    std::int32_t country_code = 0;
    std::uint64_t national_number = 0;
    bool italian_leading_zero = false;
    std::int32_t number_of_leading_zeros = 1;
    std::string national;  // its national form, as the library formats it
  };

  bool find_in_digit_runs(std::string_view text, std::vector<FoundNumber>& found) const;

  std::string region_;
  // The run of digits the last find_in_text parsed as a valid number but left to the matcher,
  // so that valid_number need not parse it again.
  mutable std::optional<ParsedNumber> left_to_matcher_;
};

#endif  // CHANGE_UTF8_PHONE_NUMBER_FINDER_H_

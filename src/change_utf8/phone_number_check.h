#ifndef CHANGE_UTF8_PHONE_NUMBER_CHECK_H_
#define CHANGE_UTF8_PHONE_NUMBER_CHECK_H_

#include <cstddef>
#include <string_view>

// Judges whether one entry, given in any number of pieces, is a phone number: made only of
// ASCII digits and the bytes + - . ( ), with + only as the entry's first byte, and holding
// 7 to 20 digits (fewer are a piece of a number, such as 0912 or +886, or no number at all). The
// state is a few bytes, whatever the entry's length.
class PhoneNumberCheck {
 public:
  // Takes `piece`, the next bytes of the entry. Nothing refers to `piece` after the call.
  void add(std::string_view piece);

  // Whether the bytes added since the last reset (or since construction) are a phone number;
  // false for an empty entry.
  [[nodiscard]] bool is_phone_number() const {
    return may_be_phone_number_ && digits_ >= kMinDigits;
  }

  // Starts afresh for the next entry.
  void reset() {
    digits_ = 0;
    may_be_phone_number_ = true;
    any_byte_seen_ = false;
  }

 private:
  static constexpr std::size_t kMinDigits = 7;
  static constexpr std::size_t kMaxDigits = 20;

  // The digits seen while the entry may still be a phone number: more than kMaxDigits, or a
  // byte a phone number cannot hold, judges it for good.
  std::size_t digits_ = 0;
  bool may_be_phone_number_ = true;
  bool any_byte_seen_ = false;
};

#endif  // CHANGE_UTF8_PHONE_NUMBER_CHECK_H_

#include "change_utf8/phone_number_check.h"

#include <array>
#include <cstdint>

namespace {

// What a byte is to a phone number after its first byte, where + may also stand.
enum class ByteKind : std::uint8_t { NotInAPhoneNumber, Digit, Punctuation };

constexpr std::array<ByteKind, 256> make_byte_kinds() {
  std::array<ByteKind, 256> kinds{};
  for (char digit = '0'; digit <= '9'; ++digit) {
    kinds[static_cast<unsigned char>(digit)] = ByteKind::Digit;
  }
  for (const char punctuation : {'-', '.', '(', ')'}) {
    kinds[static_cast<unsigned char>(punctuation)] = ByteKind::Punctuation;
  }
  return kinds;
}
constexpr std::array<ByteKind, 256> kByteKinds = make_byte_kinds();

}  // namespace

void PhoneNumberCheck::add(std::string_view piece) {
  if (piece.empty()) {
    return;
  }
  const bool starts_entry = !any_byte_seen_;
  any_byte_seen_ = true;
  if (!may_be_phone_number_) {
    return;  // judged already: nothing after can make it a phone number
  }
  if (starts_entry && piece.front() == '+') {
    piece.remove_prefix(1);
  }
  std::size_t digits = digits_;
  for (const char byte : piece) {
    const ByteKind kind = kByteKinds[static_cast<unsigned char>(byte)];
    digits += kind == ByteKind::Digit ? 1 : 0;
    // Past this, nothing can make the entry a phone number: a long entry is judged early.
    if (kind == ByteKind::NotInAPhoneNumber || digits > kMaxDigits) {
      may_be_phone_number_ = false;
      return;
    }
  }
  digits_ = digits;
}

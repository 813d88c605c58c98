#include "spreadsheet/text_budget.h"

#include <algorithm>

#include "core/message_catalog.h"

bool TextBudget::spend(std::uint64_t bytes, std::uint64_t unpacked) {
  handed_out_ += bytes;
  const std::uint64_t most =
      std::min(kMaxHandedOutText, kMaxTextPerUnpackedByte * std::max<std::uint64_t>(unpacked, 1));
  return handed_out_ <= most;
}

const char* TextBudget::refusal() {
  return catalog::gettext(
      "its cells hold more than 64 times the text it unpacks to, or more than 1 GiB, as a ZIP "
      "bomb does; it is not read");
}

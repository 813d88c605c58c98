#include "change_utf8/list_entries.h"

#include <utility>

bool ListEntries::find_entry() {
  while (!ended_ && !splitter_.at_entry()) {
    split_next_block();
  }
  return !ended_ || splitter_.at_entry();
}

// Hands the next block to the splitter; a failed read ends the list.
void ListEntries::split_next_block() {
  ListBlock block = reader_.next_block();
  ended_ = block.failure || block.text.empty();
  failure_ = std::move(block.failure);
  splitter_.give(block.text);
}

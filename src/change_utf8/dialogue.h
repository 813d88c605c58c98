#ifndef CHANGE_UTF8_DIALOGUE_H_
#define CHANGE_UTF8_DIALOGUE_H_

#include <optional>

#include "change_utf8/termination_signals.h"
#include "core/file_system.h"

class Console;

// The console dialogue, from the banner to the closing text: asks how many numbers each group
// file may hold (1 to 9999) and the name of the phone list, asking again for as long as the
// list named cannot be used, converts it into output_1.xml, output_2.xml, ... in the current
// directory through `files` (each file being written held in `slot`), and says how it ended and
// where the files go on the phone. Every answer not taken as typed is explained on standard error.
// `answers_file` is the file the answers come from, if known: a list that is that file is refused.
// Returns the exit status: 0 when the list was converted or the count refused; 1 when a group
// file could not be written, reading the list failed, or the answers ended before a list was
// converted.
[[nodiscard]] int run_dialogue(std::optional<FileIdentity> answers_file, FileSystem& files,
                               TerminationSlot& slot, Console& console);

#endif  // CHANGE_UTF8_DIALOGUE_H_

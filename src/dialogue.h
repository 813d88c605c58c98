#ifndef CHANGE_UTF8_DIALOGUE_H_
#define CHANGE_UTF8_DIALOGUE_H_

class Console;
class FileSystem;

// The console dialogue, from the banner to the closing text: asks how many numbers each group
// file may hold (1 to 9999) and the name of the phone list, asking again for as long as the
// list named cannot be used, converts it into output_1.xml, output_2.xml, ... in the current
// directory through `files`, and says how it ended and where the files go on the phone.
// Returns the exit status: 0 when the list was converted or the count refused, 1 when a group
// file could not be written or reading the list failed.
[[nodiscard]] int run_dialogue(FileSystem& files, Console& console);

#endif  // CHANGE_UTF8_DIALOGUE_H_

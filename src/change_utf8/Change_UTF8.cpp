// The program: sets up the process (signals, the user's language, the console on the standard
// streams) and runs the console dialogue. Command-line arguments are ignored.

#include <unistd.h>

#include <iostream>
#include <new>

#include "change_utf8/console.h"
#include "change_utf8/dialogue.h"
#include "change_utf8/termination_signals.h"
#include "core/file_system.h"
#include "core/message_catalog.h"
#include "core/notes.h"

namespace {

// The message catalogs of the reasons printed on standard error are change_utf8.mo.
constexpr const char* kTextDomain = "change_utf8";

// Sets up the standard streams and runs the dialogue on them.
int run_on_standard_streams() {
  std::ios::sync_with_stdio(false);
  // The console alone decides when standard output is written: before each answer is read,
  // before each reason, at each line end on a terminal, and at the end.
  std::cin.tie(nullptr);
  std::cerr.tie(nullptr);
  Console console(std::cin, std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1);
  FileSystem files;
  const int status = run_dialogue(files.identity(STDIN_FILENO), files,
                                  TerminationSlot::of_this_process(), console);
  return console.flush() ? status : 1;  // 1 when the console itself could not be written
}

}  // namespace

int main() {
  set_signal_policy();
  // Reading the count is not affected: the C++ streams keep the classic locale.
  use_the_users_language(kTextDomain, CHANGE_UTF8_LOCALEDIR_FROM_BINDIR, CHANGE_UTF8_LOCALEDIR);
  // Memory running out while a list is read is said by the dialogue, naming the list; before
  // one is named (the streams' buffers), the program cannot start.
  try {
    return run_on_standard_streams();
  } catch (const std::bad_alloc&) {
    write_note_line(std::cerr, "change_utf8", {}, FileSystem::out_of_memory({}).reason);
    return 1;
  }
}

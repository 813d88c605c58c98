// The program: sets up the process (signals, the user's language, the console on the standard
// streams) and runs the console dialogue. Command-line arguments are ignored.

#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <iostream>

#include "console.h"
#include "dialogue.h"
#include "file_system.h"
#include "message_catalog.h"
#include "termination_signals.h"

namespace {

// The message catalogs of the reasons printed on standard error are change_utf8.mo.
constexpr const char* kTextDomain = "change_utf8";
// The C library's own texts (the system's reasons) come from this domain.
constexpr const char* kCLibraryTextDomain = "libc";

// Takes the whole locale from the environment (LC_ALL, LC_MESSAGES, LANG, LANGUAGE), so that
// the reasons on standard error, the C library's and the program's own, are in the user's
// language. They are asked for in UTF-8 whatever LC_CTYPE says, since the console is UTF-8
// by design: with LC_MESSAGES alone choosing a language, they would otherwise come in ASCII,
// as question marks. Reading the count is not affected: the C++ streams keep the classic
// locale.
void use_the_users_language() {
  std::setlocale(LC_ALL, "");
  ::bindtextdomain(
      kTextDomain,
      message_catalog_folder(kTextDomain, CHANGE_UTF8_LOCALEDIR_FROM_BINDIR, CHANGE_UTF8_LOCALEDIR)
          .c_str());
  ::bind_textdomain_codeset(kTextDomain, "UTF-8");
  ::bind_textdomain_codeset(kCLibraryTextDomain, "UTF-8");
  ::textdomain(kTextDomain);
}

}  // namespace

int main() {
  set_signal_policy();
  use_the_users_language();
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

#include "change_utf8/termination_signals.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace {

// The file that a termination signal removes. The path is complete whenever the flag is set,
// which is all the handler reads.
char file_to_remove[4096];
volatile std::sig_atomic_t file_to_remove_is_set = 0;

// The termination signals: see set_signal_policy().
const sigset_t& termination_signals() {
  static const sigset_t signals = [] {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2,
                                    SIGVTALRM, SIGPROF, SIGXCPU, SIGPWR, SIGIO, SIGSTKFLT}) {
      sigaddset(&set, signal_number);
    }
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
      sigaddset(&set, signal_number);
    }
    return set;
  }();
  return signals;
}

// Removes the file, then ends the process by `signal_number` with its default action. The
// process 1 of a PID namespace (a program started in a container) ignores such a signal
// raised on itself; it ends with the status a shell gives for the signal instead.
// Only async-signal-safe calls: unlink, signal, sigprocmask, raise, _exit. The signal is
// blocked while its handler runs, so it is unblocked before being raised again.
extern "C" void remove_file_and_end(int signal_number) {
  if (file_to_remove_is_set != 0) {
    ::unlink(file_to_remove);
  }
  std::signal(signal_number, SIG_DFL);
  sigset_t just_this_signal;
  sigemptyset(&just_this_signal);
  sigaddset(&just_this_signal, signal_number);
  ::sigprocmask(SIG_UNBLOCK, &just_this_signal, nullptr);
  std::raise(signal_number);
  ::_exit(128 + signal_number);
}

}  // namespace

void set_signal_policy() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = remove_file_and_end;
  action.sa_mask = termination_signals();  // one at a time
  for (int signal_number = 1; signal_number <= SIGRTMAX; ++signal_number) {
    struct sigaction previous {};
    // A signal ignored by whoever started the program (nohup) stays ignored.
    if (sigismember(&action.sa_mask, signal_number) == 1 &&
        ::sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      ::sigaction(signal_number, &action, nullptr);
    }
  }
}

TerminationSlot& TerminationSlot::of_this_process() {
  static TerminationSlot slot;
  return slot;
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static): the slot is the process's
void TerminationSlot::hold(const std::filesystem::path& path) {
  file_to_remove_is_set = 0;
  const std::string& text = path.native();
  if (text.size() >= sizeof file_to_remove) {
    return;  // too long to hold; such a file outlives a signal
  }
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(file_to_remove, text.c_str(), text.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  file_to_remove_is_set = 1;
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static): the slot is the process's
void TerminationSlot::clear() {
  file_to_remove_is_set = 0;
}

TerminationSignalsHeld::TerminationSignalsHeld() {
  ::sigprocmask(SIG_BLOCK, &termination_signals(), &previous_mask_);
}

TerminationSignalsHeld::~TerminationSignalsHeld() {
  ::sigprocmask(SIG_SETMASK, &previous_mask_, nullptr);
}

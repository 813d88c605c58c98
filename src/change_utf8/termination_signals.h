#ifndef CHANGE_UTF8_TERMINATION_SIGNALS_H_
#define CHANGE_UTF8_TERMINATION_SIGNALS_H_

#include <csignal>
#include <filesystem>

// The program's one policy for signals, set once at its start by set_signal_policy():
// - SIGPIPE and SIGXFSZ are ignored, so that a console that went away and a file that grows
//   past `ulimit -f` become write errors, which the program reports, instead of ending it in
//   the middle of a file;
// - the termination signals, every signal whose default action ends the process and that does
//   not report a fault of the program itself (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM,
//   SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU, SIGPWR, SIGIO, SIGSTKFLT and SIGRTMIN to
//   SIGRTMAX), remove the file held in the TerminationSlot, if any, and then end the
//   process by the same signal; the process 1 of a PID namespace, which such a signal cannot
//   end, exits with the status 128 + the signal's number instead;
// - a signal ignored when the program started (nohup) stays ignored;
// - SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGSYS and SIGTRAP keep their default action,
//   and SIGKILL cannot be caught: a file being written then stays.
void set_signal_policy();

// The slot for the file that a termination signal removes. A process has one, which the
// handler of set_signal_policy() reads, so it holds one file at a time: whatever creates
// temporary files is handed it.
class TerminationSlot {
 public:
  // The slot of this process.
  static TerminationSlot& of_this_process();

  TerminationSlot(const TerminationSlot&) = delete;
  TerminationSlot& operator=(const TerminationSlot&) = delete;

  // The file that a termination signal removes, from now on: one that this process created
  // and is writing, instead of the one held before. A path too long to hold is not removed.
  void hold(const std::filesystem::path& path);

  // No file is to be removed by a termination signal, from now on.
  void clear();

 private:
  TerminationSlot() = default;
  ~TerminationSlot() = default;
};

// Holds back the termination signals for as long as it exists: one that arrives meanwhile is
// handled when the object goes. So a file can be created and held in the TerminationSlot
// with no moment between the two when a signal would leave it behind.
class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld();
  ~TerminationSignalsHeld();
  TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
  TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

 private:
  sigset_t previous_mask_;
};

#endif  // CHANGE_UTF8_TERMINATION_SIGNALS_H_

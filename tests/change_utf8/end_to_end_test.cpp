// Runs the built program in a fresh directory, as a user would: answers on standard input
// through a pipe (or typed on a pseudo-terminal), console bytes, files and exit status checked.
// Here only what needs a process: the dialogue, the exit status, signals, limits of the kernel,
// other users, locales and the console's streams.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "change_utf8/console_texts.h"
#include "test_support.h"

namespace {

using test_support::expected_group_file;
using test_support::kJudgedStartSize;
using test_support::read_file;
using test_support::write_file;

using test_support::kAsk;
using test_support::kBanner;
using test_support::kClosing;
using test_support::kConverted123;
using test_support::kUnusable;

struct RunOptions {
  std::vector<std::string> arguments = {};
  std::filesystem::path answers_path = {};    // empty: the answers come through a pipe
  std::filesystem::path console_path = {};    // empty: a file of the test's own
  bool console_is_closed_pipe = false;        // a pipe that nobody reads: every write fails
  bool errors_to_console = false;             // standard error into the console's file: 2>&1
  std::uint64_t address_space_limit = 0;      // bytes; 0: none
  std::uint64_t file_size_limit = 0;          // bytes; 0: none
  std::vector<std::string> environment = {};  // NAME=VALUE, added to the test's own
  bool as_nobody = false;                     // run as the user nobody, when the test runs as root
  bool as_process_1 = false;                  // the process 1 of a new PID namespace (root)
  std::string shell_prelude = {};             // run by sh, which then execs the program
};

struct RunResult {
  int exit_status;  // the program's status, or minus the signal that ended it
  std::string console;
  std::string errors;  // standard error
};

// A program started on a pipe, with its answers still to be written.
struct StartedProgram {
  pid_t pid;     // what to wait for: the program, or the process that waits for it as process 1
  int answers;   // the write end of its standard input
  pid_t target;  // the program itself, to send signals to; -1 when it could not be started
};

// Exit statuses of a child that could not start the program as the user nobody.
constexpr int kUserNotSwitched = 121;  // setgroups, setgid or setuid failed
constexpr int kNotExecuted = 127;      // the program could not be executed

// Why a child that was to run the program as the user nobody ended with `exit_status`
// without running it, or "" when the status is the program's own.
std::string why_nobody_did_not_run_it(int exit_status) {
  if (exit_status == kUserNotSwitched) {
    return "the user nobody cannot be switched to here (a user namespace that maps root "
           "alone, as unshare -r makes)";
  }
  if (exit_status == kNotExecuted) {
    return "the user nobody cannot execute the built program here (a build tree on FUSE "
           "without allow_other, as reprotest mounts it)";
  }
  return "";
}

// The exit status of `child`, or minus the signal that ended it.
int wait_for(pid_t child) {
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

void set_limit(int resource, std::uint64_t bytes) {
  if (bytes != 0) {
    const rlimit limit{bytes, bytes};
    ::setrlimit(resource, &limit);
  }
}

// In a forked child: makes a new PID namespace and forks the program into it as its process
// 1, then waits for it and ends with its status (a signal as 128 + its number). Returns in the
// program's process; when no namespace can be made, the child ends at once.
void become_process_1_of_a_new_pid_namespace(int pid_pipe) {
  if (::unshare(CLONE_NEWPID) != 0) {
    ::_exit(125);
  }
  const pid_t program = ::fork();
  if (program == 0) {
    return;
  }
  // A pipe takes these few bytes whole; were it not, the test would see no process id, as
  // when the program cannot start.
  [[maybe_unused]] const ssize_t written = ::write(pid_pipe, &program, sizeof program);
  const int status = wait_for(program);
  ::_exit(status >= 0 ? status : 128 - status);
}

// Reads from `fd` until what has come in ends with `expected`, or for at most 10 s.
std::string read_until(int fd, std::string& received, std::string_view expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!std::string_view(received).ends_with(expected) &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) {
      continue;
    }
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      break;  // the program has ended
    }
    received.append(buffer, static_cast<std::size_t>(n));
  }
  return received;
}

class EndToEndTest : public ::testing::Test {
 protected:
  // Runs the program in work_ with `input` written to a pipe on its standard input.
  RunResult run(std::string_view input, const RunOptions& options = {}) {
    const StartedProgram program = start(options);
    write_answers(program, input);
    const int exit_status = wait_for(program.pid);
    const bool console_captured = options.console_path.empty() && !options.console_is_closed_pipe;
    return {exit_status, console_captured ? read_file(console_path()) : "",
            options.errors_to_console ? "" : read_file(errors_path())};
  }

  // Starts the program in work_ on a pipe, its console and its standard error going to files
  // of the test's own unless the options say otherwise.
  StartedProgram start(const RunOptions& options = {}) {
    int input_pipe[2];
    int pid_pipe[2];  // how the child tells the program's process id
    if (::pipe(input_pipe) != 0 || ::pipe(pid_pipe) != 0) {
      ADD_FAILURE() << "pipe failed";
      return {-1, -1, -1};
    }
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(options.answers_path.empty() ? input_pipe[0]
                                          : ::open(options.answers_path.c_str(), O_RDONLY),
             STDIN_FILENO);
      ::close(input_pipe[1]);
      const std::filesystem::path console =
          options.console_path.empty() ? console_path() : options.console_path;
      int console_fd = ::open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int closed_pipe[2];
      if (options.console_is_closed_pipe && ::pipe(closed_pipe) == 0) {
        ::close(closed_pipe[0]);
        console_fd = closed_pipe[1];
      }
      ::dup2(console_fd, STDOUT_FILENO);
      ::dup2(options.errors_to_console
                 ? console_fd
                 : ::open(errors_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
             STDERR_FILENO);
      set_limit(RLIMIT_AS, options.address_space_limit);
      set_limit(RLIMIT_FSIZE, options.file_size_limit);
      const rlimit no_core_file{0, 0};  // from the signals whose default action dumps one
      ::setrlimit(RLIMIT_CORE, &no_core_file);
      ::setenv("LC_ALL", "C", 1);  // reasons in English, whatever the test's own language
      for (const std::string& variable : options.environment) {
        ::putenv(const_cast<char*>(variable.c_str()));
      }
      if (options.as_process_1) {
        become_process_1_of_a_new_pid_namespace(pid_pipe[1]);
      } else {
        const pid_t self = ::getpid();
        [[maybe_unused]] const ssize_t written = ::write(pid_pipe[1], &self, sizeof self);
      }
      ::close(pid_pipe[1]);
      exec_program(options.arguments, options.as_nobody, options.shell_prelude);
    }
    ::close(input_pipe[0]);
    ::close(pid_pipe[1]);
    pid_t target = -1;
    if (::read(pid_pipe[0], &target, sizeof target) != sizeof target) {
      target = -1;
    }
    ::close(pid_pipe[0]);
    return {child, input_pipe[1], target};
  }

  // Writes `input` as the program's answers, then ends them.
  static void write_answers(const StartedProgram& program, std::string_view input) {
    // The program may stop reading early; a write to the closed pipe must not end the test,
    // and its failure is none of the test's.
    const auto previous_handler = std::signal(SIGPIPE, SIG_IGN);
    [[maybe_unused]] const ssize_t written = ::write(program.answers, input.data(), input.size());
    ::close(program.answers);
    std::signal(SIGPIPE, previous_handler);
  }

  std::filesystem::path console_path() const { return scratch_.path() / "console.txt"; }
  std::filesystem::path errors_path() const { return scratch_.path() / "errors.txt"; }

  // In a forked child: starts the program in work_ with `arguments` after its name, as the
  // user nobody if `as_nobody` and the test runs as root; through sh when `shell_prelude` is
  // given, which runs it first and then execs the program in its own process.
  [[noreturn]] void exec_program(const std::vector<std::string>& arguments, bool as_nobody = false,
                                 const std::string& shell_prelude = {}) {
    std::signal(SIGPIPE, SIG_DFL);
    // Opened before any change of user: nobody may not reach the build folder.
    const int program = ::open(CHANGE_UTF8_PATH, O_RDONLY | O_CLOEXEC);
    if (::chdir(work_.path().c_str()) != 0) {
      ::_exit(126);
    }
    constexpr uid_t kNobody = 65534;
    if (as_nobody && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(kUserNotSwitched);
    }
    std::vector<char*> argv{const_cast<char*>(CHANGE_UTF8_PATH)};
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    if (!shell_prelude.empty()) {
      const std::string script = shell_prelude + "; exec \"$0\"";
      ::execl("/bin/sh", "sh", "-c", script.c_str(), CHANGE_UTF8_PATH, nullptr);
    }
    ::fexecve(program, argv.data(), environ);
    ::_exit(kNotExecuted);
  }

  void write_list(const std::string& name, std::string_view bytes) {
    write_file(work_.path() / name, bytes);
  }
  std::string file(const std::string& name) const { return read_file(work_.path() / name); }
  std::vector<std::string> files() const { return test_support::entry_names(work_.path()); }

  // Waits up to 10 s for an entry of work_ whose name starts with `prefix`.
  bool wait_for_entry_starting_with(std::string_view prefix) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      for (const std::string& name : files()) {
        if (name.starts_with(prefix)) {
          return true;
        }
      }
      ::usleep(10'000);
    }
    return false;
  }

  // Makes the FIFO list.fifo in work_, a list that the test writes while the program reads
  // it. Returns the path, to be opened for writing, which waits until the program opens it.
  std::filesystem::path make_fifo_list() const {
    std::filesystem::path fifo = work_.path() / "list.fifo";
    EXPECT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    return fifo;
  }

  // A program in the middle of converting list.fifo with the limit 2: it has been handed
  // "1111111 2222222 3333333" and waits for more of the list, with group 2 begun under its
  // temporary name.
  struct MidConversion {
    StartedProgram program;
    int list;  // the write end of the FIFO; -1 when the program never started
  };
  MidConversion start_mid_conversion(const RunOptions& options = {}) {
    const std::filesystem::path fifo = make_fifo_list();
    const StartedProgram program = start(options);
    write_answers(program, "2\nlist.fifo\n");
    int list = program.target < 0 ? -1 : ::open(fifo.c_str(), O_WRONLY);
    // The program judges the start of a list before it converts any of it.
    const std::string start_of_list =
        "1111111 2222222 3333333" + std::string(kJudgedStartSize - 23, ' ');
    if (list >= 0 &&
        (::write(list, start_of_list.data(), start_of_list.size()) != std::ssize(start_of_list) ||
         !wait_for_entry_starting_with(".output_2.xml."))) {
      ADD_FAILURE() << "the program never began group 2";
      ::kill(program.target, SIGKILL);
      ::close(std::exchange(list, -1));
    }
    return {program, list};
  }

  void clear_work() const {
    for (const std::string& name : files()) {
      std::filesystem::remove_all(work_.path() / name);
    }
  }

  test_support::ScopedTempDir work_;
  test_support::ScopedTempDir scratch_;
};

TEST_F(EndToEndTest, ReportsEachFailureWithItsReasonInOrderInOneLogOfBothStreams) {
  write_list("list.txt", "1111111 2222222 3333333");
  std::filesystem::create_directory(work_.path() / "output_1.xml");
  const RunResult result = run("2\nmissing.txt\nlist.txt\n",
                               {.arguments = {"--help", "other.txt"}, .errors_to_console = true});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console,
            kBanner + kAsk + "change_utf8: missing.txt: No such file or directory\n" + kUnusable +
                kAsk +
                "輸出檔案:output_1.xml\n無法寫入檔案:output_1.xml\n"
                "change_utf8: output_1.xml: Is a directory\n"
                "read:1111111\nread:2222222\n輸出檔案:output_2.xml\nread:3333333\n" +
                test_support::kSomeFilesUnwritable);
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"3333333"}));
}

TEST_F(EndToEndTest, KeepsTheOldGroupFileWhenTheFileSizeLimitStopsTheNewOne) {
  // A limit on the size of any file (`ulimit -f`, which must not kill the program) that the
  // console stays below, but not the first group, where each & takes five bytes.
  const std::string ampersands(2000, '&');
  write_list("list.txt", "1111111 " + ampersands + " 3333333");
  write_file(work_.path() / "output_1.xml", "old group");
  const RunResult result = run("2\nlist.txt\n", {.file_size_limit = 5000});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console,
            kBanner + kAsk + "輸出檔案:output_1.xml\nread:1111111\nread:" + ampersands +
                "\n無法寫入檔案:output_1.xml\n輸出檔案:output_2.xml\nread:3333333\n" +
                test_support::kSomeFilesUnwritable);
  EXPECT_EQ(result.errors, "change_utf8: list.txt:1: " + ampersands.substr(0, 32) +
                               "...: is not a phone number\n"
                               "change_utf8: output_1.xml: File too large\n"
                               "change_utf8: list.txt: extract_phone_numbers list.txt > "
                               "numbers.txt writes only its phone numbers, one a line; then run "
                               "change_utf8 again and type numbers.txt\n");
  EXPECT_EQ(files(), (std::vector<std::string>{"list.txt", "output_1.xml", "output_2.xml"}));
  EXPECT_EQ(file("output_1.xml"), "old group");
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"3333333"}));
}

TEST_F(EndToEndTest, NeverReplacesTheListEvenInAFolderThatCannotBeListed) {
  // The list typed as output_1.xml, and a second hard link to it as output_2.xml, in a folder
  // that can be written but not listed.
  write_list("output_1.xml", "1111111 2222222 3333333");
  std::filesystem::create_hard_link(work_.path() / "output_1.xml", work_.path() / "output_2.xml");
  std::filesystem::permissions(work_.path(), std::filesystem::perms(0333));
  const RunResult result = run("1\noutput_1.xml\n", {.as_nobody = true});
  std::filesystem::permissions(work_.path(), std::filesystem::perms(0700));
  if (const std::string why = why_nobody_did_not_run_it(result.exit_status); !why.empty()) {
    GTEST_SKIP() << why;
  }
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console, kBanner + kAsk +
                                "輸出檔案:output_1.xml\n無法寫入檔案:output_1.xml\nread:1111111\n"
                                "輸出檔案:output_2.xml\n無法寫入檔案:output_2.xml\nread:2222222\n"
                                "輸出檔案:output_3.xml\nread:3333333\n" +
                                test_support::kSomeFilesUnwritable);
  const std::string reason =
      ": is the phone list being read; rename the list or run the program in another folder\n";
  EXPECT_EQ(result.errors,
            "change_utf8: output_1.xml" + reason + "change_utf8: output_2.xml" + reason);
  EXPECT_EQ(file("output_1.xml"), "1111111 2222222 3333333");
  EXPECT_EQ(file("output_2.xml"), "1111111 2222222 3333333");
  EXPECT_EQ(file("output_3.xml"), expected_group_file(3, {"3333333"}));
}

TEST_F(EndToEndTest, ASignalDuringTheConversionLeavesOnlyWholeGroupsAndEndsTheProgram) {
  for (const int signal_number :
       {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU,
        SIGPWR, SIGIO, SIGSTKFLT, SIGRTMIN, SIGRTMIN + 3, SIGRTMAX}) {
    const MidConversion conversion = start_mid_conversion();
    ASSERT_GE(conversion.list, 0) << signal_number;
    ::kill(conversion.program.target, signal_number);
    ::close(conversion.list);  // a program that outlived the signal ends, not hangs
    EXPECT_EQ(wait_for(conversion.program.pid), -signal_number);
    EXPECT_EQ(files(), (std::vector<std::string>{"list.fifo", "output_1.xml"})) << signal_number;
    EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"1111111", "2222222"}))
        << signal_number;
    clear_work();
  }

  // Started under nohup, the program goes on after a hangup.
  const MidConversion conversion = start_mid_conversion({.shell_prelude = "trap '' HUP"});
  ::kill(conversion.program.target, SIGHUP);
  ASSERT_EQ(::write(conversion.list, "4444444", 7), 7);
  ::close(conversion.list);
  EXPECT_EQ(wait_for(conversion.program.pid), 0);
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"3333333", "4444444"}));
}

TEST_F(EndToEndTest, EndsOnASignalAlsoAsTheProcess1OfAContainer) {
  // There the kernel drops a signal that the program raises on itself with the default action.
  const MidConversion conversion = start_mid_conversion({.as_process_1 = true});
  if (conversion.program.target < 0) {
    wait_for(conversion.program.pid);
    GTEST_SKIP() << "no PID namespace can be made here: unshare(CLONE_NEWPID) needs root";
  }
  ::kill(conversion.program.target, SIGTERM);
  ::close(conversion.list);  // a program that outlived the signal ends, not hangs
  EXPECT_EQ(wait_for(conversion.program.pid), 128 + SIGTERM);
  EXPECT_EQ(files(), (std::vector<std::string>{"list.fifo", "output_1.xml"}));
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"1111111", "2222222"}));
}

TEST_F(EndToEndTest, ASignalWhileAFileIsSlowlyCreatedLeavesNothing) {
  // tests/slow_creation_shim.cpp holds each exclusive creation for a second after the file
  // exists, as a slow memory card does: the signal arrives before the file is the program's
  // to remove.
  write_list("list.txt", "1111111 2222222");
  const StartedProgram program = start(
      {.environment = {"LD_PRELOAD=" SLOW_CREATION_SHIM_PATH, "SLOW_CREATION_MICROSECONDS=1000000",
                       "ASAN_OPTIONS=verify_asan_link_order=0"}});
  write_answers(program, "1\nlist.txt\n");
  ASSERT_TRUE(wait_for_entry_starting_with(".output_1.xml."));
  ::kill(program.target, SIGTERM);
  EXPECT_EQ(wait_for(program.pid), -SIGTERM);
  EXPECT_EQ(files(), std::vector<std::string>{"list.txt"});
}

TEST_F(EndToEndTest, GivesReasonsInTheUsersLanguageAndReadsTheCountAlike) {
  const locale_t chinese = ::newlocale(LC_ALL_MASK, "zh_TW.UTF-8", nullptr);
  if (chinese == nullptr ||
      !std::filesystem::exists("/usr/share/locale/zh_TW/LC_MESSAGES/libc.mo")) {
    GTEST_SKIP() << "no zh_TW.UTF-8 locale, or not the C library's texts in it (libc-l10n); "
                    "as root, tools/install-dependencies tests makes both";
  }
  ::freelocale(chinese);
  write_list("empty.txt", "\n");
  write_list("list.txt", "姓名\n0912345678");
  write_file(work_.path() / "output_3.xml", "from an earlier run");
  // "1,000" is the count 1 in every locale, then ",000" is the name of a list. Only the
  // messages' locale is chosen: the reasons are UTF-8 also where the character set is ASCII.
  const RunResult result =
      run("1,000 empty.txt list.txt\n",
          {.environment = {"LC_ALL=", "LC_MESSAGES=zh_TW.UTF-8", "LANGUAGE=", "LANG="}});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.console, kBanner + kAsk + kUnusable + kAsk + kUnusable + kAsk +
                                "輸出檔案:output_1.xml\nread:姓名\n"
                                "輸出檔案:output_2.xml\nread:0912345678\n" +
                                kClosing);
  // The C library's text among the program's own from its catalog.
  EXPECT_EQ(result.errors,
            "change_utf8: 1,000: 筆數以 1 計；其餘部分當作電話檔的檔名\n"
            "change_utf8: ,000: 沒有此一檔案或目錄\n"
            "change_utf8: empty.txt: 是空的檔案，或只有空白字元\n"
            "change_utf8: list.txt:1: 姓名: 不是電話號碼\n"
            "change_utf8: list.txt: 執行 extract_phone_numbers list.txt > numbers.txt "
            "可只取出其中的電話號碼，一行一筆；然後再執行一次 change_utf8，輸入 numbers.txt\n"
            "change_utf8: output_3.xml: 是先前執行留下的檔案，不屬於這次轉換；"
            "把群組檔複製到手機之前，請先刪除此檔及編號更大的群組檔\n");
}

TEST_F(EndToEndTest, FailsWhenTheConsoleCannotBeWrittenButStillWritesTheFiles) {
  write_list("list.txt", "1111111 2222222 3333333");
  // A full device, and a pipe that nobody reads, which must not end the program by SIGPIPE
  // halfway through a file.
  const struct {
    RunOptions options;
    std::string errors;
  } rows[] = {
      {{.console_path = "/dev/full"}, "change_utf8: standard output: No space left on device\n"},
      {{.console_is_closed_pipe = true}, "change_utf8: standard output: Broken pipe\n"},
  };
  for (const auto& row : rows) {
    const RunResult result = run("2\nlist.txt\n", row.options);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.errors, row.errors);
    EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"1111111", "2222222"}));
    EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"3333333"}));
  }
}

TEST_F(EndToEndTest, RefusesTheStandardInputAsTheListAndLosesNoAnswer) {
  write_list("list.txt", "1111111 2222222 3333333");
  write_list("answers.txt", "2 answers.txt /dev/stdin list.txt\n");
  const std::string refused = kAsk + kUnusable;
  // Answers through a pipe, and answers redirected from a file that is also named as the list.
  const RunResult piped = run("2 /dev/stdin /proc/self/fd/0 list.txt\n");
  EXPECT_EQ(piped.exit_status, 0);
  EXPECT_EQ(piped.console, kBanner + refused + refused + kAsk + kConverted123 + kClosing);
  EXPECT_EQ(piped.errors,
            "change_utf8: /dev/stdin: is the standard input, which holds the answers\n"
            "change_utf8: /proc/self/fd/0: is the standard input, which holds the answers\n");
  std::filesystem::remove(work_.path() / "output_1.xml");
  std::filesystem::remove(work_.path() / "output_2.xml");
  const RunResult redirected = run("", {.answers_path = work_.path() / "answers.txt"});
  EXPECT_EQ(redirected.exit_status, 0);
  EXPECT_EQ(redirected.console, kBanner + refused + refused + kAsk + kConverted123 + kClosing);
  EXPECT_EQ(redirected.errors,
            "change_utf8: answers.txt: is the standard input, which holds the answers\n"
            "change_utf8: /dev/stdin: is the standard input, which holds the answers\n");
}

#ifdef CHANGE_UTF8_SANITIZED
constexpr std::uint64_t kAddressSpaceLimit = 0;  // the sanitizers reserve terabytes up front
#else
constexpr std::uint64_t kAddressSpaceLimit = 64ull << 20;
#endif

// Whether the file at `path` holds `head`, then `count` times '7', then `tail`.
bool holds_sevens_between(const std::filesystem::path& path, const std::string& head,
                          std::uint64_t count, const std::string& tail) {
  std::ifstream in(path, std::ios::binary);
  std::string block(head.size(), '\0');
  bool same = std::filesystem::file_size(path) == head.size() + count + tail.size() &&
              in.read(block.data(), std::ssize(block)) && block == head;
  const std::string sevens(1u << 20, '7');
  for (std::uint64_t left = count; same && left > 0; left -= block.size()) {
    block.resize(std::min<std::uint64_t>(left, sevens.size()));
    same = in.read(block.data(), std::ssize(block)) && sevens.starts_with(block);
  }
  block.resize(tail.size());
  return same && in.read(block.data(), std::ssize(block)) && block == tail;
}

TEST_F(EndToEndTest, StreamsA256MiBNumberIn64MiBOfAddressSpace) {
  constexpr std::uint64_t kNumberSize = std::uint64_t{256} << 20;
  std::ofstream list(work_.path() / "huge.txt", std::ios::binary);
  const std::string block(1u << 20, '7');
  for (std::uint64_t written = 0; written < kNumberSize; written += block.size()) {
    list << block;
  }
  list.close();
  const std::filesystem::path console = scratch_.path() / "huge_console.txt";  // not read whole
  const RunResult result =
      run("1\nhuge.txt\n", {.console_path = console, .address_space_limit = kAddressSpaceLimit});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_TRUE(holds_sevens_between(
      console, kBanner + kAsk + "輸出檔案:output_1.xml\nread:", kNumberSize, "\n" + kClosing));
  const std::string group = expected_group_file(1, {"#"});
  EXPECT_TRUE(holds_sevens_between(work_.path() / "output_1.xml", group.substr(0, group.find('#')),
                                   kNumberSize, group.substr(group.find('#') + 1)));
}

TEST_F(EndToEndTest, ShowsEachPromptBeforeWaitingForItsAnswerAndNoEscapeOnATerminal) {
  // On a pipe, and on a terminal, where each line of the conversion shows as soon as it ends,
  // and an escape sequence in the list (set the clipboard, then clear the screen) shows as text.
  for (const bool on_terminal : {false, true}) {
    int console = -1;  // what the program shows
    int answers = -1;  // what the test types
    pid_t child = -1;
    if (on_terminal) {
      termios raw{};
      ::cfmakeraw(&raw);  // no echo and no line-end translation: the bytes arrive as written
      child = ::forkpty(&console, nullptr, &raw, nullptr);
      answers = ::dup(console);
    } else {
      int to_program[2];
      int from_program[2];
      ASSERT_EQ(::pipe(to_program) | ::pipe(from_program), 0);
      child = ::fork();
      if (child == 0) {
        ::dup2(to_program[0], STDIN_FILENO);
        ::dup2(from_program[1], STDOUT_FILENO);
        ::dup2(from_program[1], STDERR_FILENO);
      }
      ::close(to_program[0]);
      ::close(from_program[1]);
      console = from_program[0];
      answers = to_program[1];
    }
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::setenv("LC_ALL", "C", 1);  // the note in English, whatever the test's own language
      exec_program({});
    }
    const std::filesystem::path fifo = make_fifo_list();
    std::string shown;
    // Nothing is typed before the prompt that asks for it has arrived.
    EXPECT_EQ(read_until(console, shown, kBanner), kBanner) << on_terminal;
    ASSERT_EQ(::write(answers, "2\n", 2), 2);
    EXPECT_EQ(read_until(console, shown, kAsk), kBanner + kAsk) << on_terminal;
    // The standard input and a terminal named as the list are refused before a byte of either
    // is read: the next name is typed only once the prompt asks for it. (When it is not, the
    // program ends as the test ends and the answers close.)
    std::string refusals;
    for (const std::string name : {"/dev/stdin", "/dev/ptmx"}) {
      ASSERT_EQ(::write(answers, (name + "\n").data(), name.size() + 1), std::ssize(name) + 1);
      refusals += "change_utf8: " + name +
                  (name == "/dev/ptmx" ? ": is a terminal, not a list\n"
                                       : ": is the standard input, which holds the answers\n") +
                  kUnusable + kAsk;
      ASSERT_EQ(read_until(console, shown, refusals), kBanner + kAsk + refusals) << on_terminal;
    }
    ASSERT_EQ(::write(answers, "list.fifo\n", 10), 10);
    const int list = ::open(fifo.c_str(), O_WRONLY);
    const std::string start_of_list = "1111111 2222222" + std::string(kJudgedStartSize - 15, ' ');
    ASSERT_EQ(::write(list, start_of_list.data(), start_of_list.size()), std::ssize(start_of_list));
    if (on_terminal) {  // while the program waits for the rest of the list
      const std::string first_lines =
          kBanner + kAsk + refusals + "輸出檔案:output_1.xml\nread:1111111\nread:2222222\n";
      EXPECT_EQ(read_until(console, shown, first_lines), first_lines);
    }
    const std::string escapes = "\x1B]52;c;cm0gLXJmIH4=\x07\x1B[2J";
    const std::string rest_of_list = "3333333 " + escapes;
    ASSERT_EQ(::write(list, rest_of_list.data(), rest_of_list.size()), std::ssize(rest_of_list));
    ::close(list);
    const std::string expected =
        kBanner + kAsk + refusals + kConverted123 +
        "read:" + (on_terminal ? "?]52;c;cm0gLXJmIH4=??[2J" : escapes) +
        "\nchange_utf8: list.fifo:1: ?]52;c;cm0gLXJmIH4=??[2J: is not a phone number\n"
        "change_utf8: list.fifo: extract_phone_numbers list.fifo > numbers.txt writes only its "
        "phone numbers, one a line; then run change_utf8 again and type numbers.txt\n" +
        kClosing;
    if (read_until(console, shown, expected) != expected) {
      ADD_FAILURE() << "the console showed: " << shown;
      ::kill(child, SIGKILL);
    }
    EXPECT_EQ(wait_for(child), 0);  // before closing the terminal, which would hang it up
    ::close(console);
    ::close(answers);
    clear_work();
  }
}

}  // namespace

// Runs the built program in a fresh directory, as a user would: answers on standard input
// through a pipe (or typed on a pseudo-terminal), console bytes, files and exit status checked.

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
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

namespace {

using test_support::entry_names;
using test_support::expected_group_file;
using test_support::kUtf8Bom;
using test_support::read_file;
using test_support::write_file;

const std::string kBanner =
    "簡訊群組送大量轉換程式 V0.1\n"
    "本程式只吃純文字檔的電話號碼，例如:\n"
    "0912345678\n"
    "0932435658\n"
    "0968345654\n"
    "這種格式...\n"
    "沒測試過手機最多可以送多少簡訊，所以建議量大的話是分割成數個檔案\n"
    "如果你有驚人的數量發送正確，可以通知給Kestrin知道\n"
    "Email: kestrin@example.com\n"
    "----------------------\n"
    "請輸入每個檔案最多有幾筆電話(1-9999):\n";
const std::string kRunAgain = "請重新執行本程式...\n";
const std::string kAskListName = "請輸入檔案名稱(含附檔名):\n";
const std::string kListUnusable = "檔案錯誤...\n";
const std::string kClosing =
    "完成轉換，程式結束...請檔案放到手機記憶卡底下的:\nData/MyAndroid/vesk\n";
const std::string kIncomplete = "轉換未完成，有檔案無法寫入...\n";
const std::string kReadFailed = "轉換未完成，電話檔讀取錯誤...\n";

// The console lines of converting a, b, c with the limit 2.
const std::string kConvertedABC =
    "輸出檔案:output_1.xml\nread:a\nread:b\n輸出檔案:output_2.xml\nread:c\n";

struct RunOptions {
  std::vector<std::string> arguments = {};
  std::filesystem::path console_path = {};    // empty: a file of the test's own
  bool console_is_closed_pipe = false;        // a pipe that nobody reads: every write fails
  std::uint64_t address_space_limit = 0;      // bytes; 0: none
  std::uint64_t file_size_limit = 0;          // bytes; 0: none
  std::vector<std::string> environment = {};  // NAME=VALUE, added to the test's own
  bool as_nobody = false;                     // run as the user nobody, when the test runs as root
  bool hangup_ignored = false;                // started with SIGHUP ignored, as nohup does
  bool errors_to_console = false;             // standard error into the console's file: 2>&1
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
    int closed_pipe[2] = {-1, -1};
    if (options.console_is_closed_pipe && ::pipe(closed_pipe) == 0) {
      ::close(closed_pipe[0]);
    }
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(input_pipe[0], STDIN_FILENO);
      ::close(input_pipe[0]);
      ::close(input_pipe[1]);
      const std::filesystem::path console =
          options.console_path.empty() ? console_path() : options.console_path;
      const int console_fd = options.console_is_closed_pipe
                                 ? closed_pipe[1]
                                 : ::open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(console_fd, STDOUT_FILENO);
      if (options.errors_to_console) {
        ::dup2(console_fd, STDERR_FILENO);
      } else {
        ::dup2(::open(errors_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
      }
      set_limit(RLIMIT_AS, options.address_space_limit);
      set_limit(RLIMIT_FSIZE, options.file_size_limit);
      const rlimit no_core_file{0, 0};  // from the signals whose default action dumps one
      ::setrlimit(RLIMIT_CORE, &no_core_file);
      if (options.hangup_ignored) {
        std::signal(SIGHUP, SIG_IGN);
      }
      ::setenv("LC_ALL", "C", 1);  // reasons in English, whatever the test's own language
      for (const std::string& variable : options.environment) {
        ::putenv(const_cast<char*>(variable.c_str()));
      }
      if (options.as_process_1) {
        become_process_1_of_a_new_pid_namespace(pid_pipe[1]);
      } else {
        const pid_t self = ::getpid();
        ::write(pid_pipe[1], &self, sizeof self);
      }
      ::close(pid_pipe[1]);
      exec_program(options.arguments, options.as_nobody, options.shell_prelude);
    }
    ::close(input_pipe[0]);
    ::close(pid_pipe[1]);
    ::close(closed_pipe[1]);
    pid_t target = -1;
    if (::read(pid_pipe[0], &target, sizeof target) != sizeof target) {
      target = -1;
    }
    ::close(pid_pipe[0]);
    return {child, input_pipe[1], target};
  }

  // In a forked child: makes a new PID namespace and forks the program into it as its process
  // 1, then waits for it and ends with its status (a signal as 128 + its number). Returns in the
  // program's process; when no namespace can be made, the child ends at once.
  static void become_process_1_of_a_new_pid_namespace(int pid_pipe) {
    if (::unshare(CLONE_NEWPID) != 0) {
      ::_exit(125);
    }
    const pid_t program = ::fork();
    if (program == 0) {
      return;
    }
    ::write(pid_pipe, &program, sizeof program);
    const int status = wait_for(program);
    ::_exit(status >= 0 ? status : 128 - status);
  }

  // Writes `input` as the program's answers, then ends them.
  static void write_answers(const StartedProgram& program, std::string_view input) {
    // The program may stop reading early; a write to the closed pipe must not end the test.
    const auto previous_handler = std::signal(SIGPIPE, SIG_IGN);
    for (std::size_t written = 0; written < input.size();) {
      const ssize_t n = ::write(program.answers, input.data() + written, input.size() - written);
      if (n <= 0) {
        break;
      }
      written += static_cast<std::size_t>(n);
    }
    ::close(program.answers);
    std::signal(SIGPIPE, previous_handler);
  }

  static void set_limit(int resource, std::uint64_t bytes) {
    if (bytes != 0) {
      const rlimit limit{bytes, bytes};
      ::setrlimit(resource, &limit);
    }
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
      ::_exit(126);
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
    ::_exit(127);
  }

  // The exit status of `child`, or minus the signal that ended it.
  static int wait_for(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

  void write_list(const std::string& name, std::string_view bytes) {
    write_file(work_.path() / name, bytes);
  }
  std::string file(const std::string& name) const { return read_file(work_.path() / name); }
  std::vector<std::string> files() const { return entry_names(work_.path()); }

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

  // Makes a FIFO in work_ to serve as a list that the test writes while the program reads it.
  std::filesystem::path make_fifo(const std::string& name) const {
    std::filesystem::path fifo = work_.path() / name;
    EXPECT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    return fifo;
  }

  // A program in the middle of converting the FIFO list.fifo with the limit 2: it has been
  // handed "a b c" and waits for more of the list, with group 2 begun under its temporary name.
  struct MidConversion {
    StartedProgram program;
    int list;  // the write end of the FIFO
  };
  MidConversion start_mid_conversion(const RunOptions& options = {}) {
    const std::filesystem::path fifo = make_fifo("list.fifo");
    const StartedProgram program = start(options);
    write_answers(program, "2\nlist.fifo\n");
    if (program.target < 0) {
      return {program, -1};  // it never started
    }
    const int list = ::open(fifo.c_str(), O_WRONLY);  // once the program opens it to read
    EXPECT_GE(list, 0);
    // The program judges the first 4,096 bytes of a list before it converts any of it.
    const std::string start_of_list = "a b c" + std::string(4096 - 5, ' ');
    EXPECT_EQ(::write(list, start_of_list.data(), start_of_list.size()), 4096);
    EXPECT_TRUE(wait_for_entry_starting_with(".output_2.xml."));
    return {program, list};
  }

  // Removes everything in work_.
  void clear_work() const {
    for (const std::string& name : files()) {
      std::filesystem::remove_all(work_.path() / name);
    }
  }

  test_support::ScopedTempDir work_;
  test_support::ScopedTempDir scratch_;
};

TEST_F(EndToEndTest, ConvertsAListAndSaysWhereTheFilesGo) {
  write_list("list.txt", "a\nb\nc\n");
  const RunResult result = run("2\nlist.txt\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.console, kBanner + kAskListName + kConvertedABC + kClosing);
  EXPECT_EQ(files(), (std::vector<std::string>{"list.txt", "output_1.xml", "output_2.xml"}));
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a", "b"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
}

TEST_F(EndToEndTest, RejectsACountOutsideOneTo9999AndCreatesNothing) {
  for (const char* input : {"0\n", "-5\n", "10000\n", "abc\n", "99999999999\n", "", "+\n"}) {
    const RunResult result = run(input);
    EXPECT_EQ(result.exit_status, 0) << input;
    EXPECT_EQ(result.console, kBanner + kRunAgain) << input;
    EXPECT_EQ(files(), std::vector<std::string>{}) << input;
  }
}

TEST_F(EndToEndTest, ReadsTheCountAsADecimalNumberWithOptionalSign) {
  const struct {
    const char* count;
    std::size_t files_written;
  } rows[] = {{"1", 8}, {"+7", 2}, {"007", 2}, {"8", 1}, {"9999", 1}};
  for (const auto& row : rows) {
    test_support::ScopedTempDir dir;
    write_file(dir.path() / "list.txt", "1 2 3 4 5 6 7 8");
    const RunResult result =
        run(std::string(row.count) + "\n" + (dir.path() / "list.txt").string());
    EXPECT_EQ(result.exit_status, 0) << row.count;
    EXPECT_EQ(files().size(), row.files_written) << row.count;
    for (const std::string& name : files()) {
      std::filesystem::remove(work_.path() / name);
    }
  }
}

TEST_F(EndToEndTest, TakesAnswersWordByWord) {
  write_list("list.txt", "a b c");
  write_list("abc", "a b c");
  for (const char* input : {"2 list.txt", "2abc"}) {
    const RunResult result = run(input);
    EXPECT_EQ(result.exit_status, 0) << input;
    EXPECT_EQ(result.console, kBanner + kAskListName + kConvertedABC + kClosing) << input;
  }
}

TEST_F(EndToEndTest, AsksForAnotherListUntilOneHoldsNumbers) {
  write_list("empty.txt", "\n\n");
  write_list("list.txt", "a b c");
  const std::string expected = kBanner + kAskListName + kListUnusable + kAskListName +
                               kListUnusable + kAskListName + kConvertedABC + kClosing;
  for (const char* input :
       {"2\nmissing.txt\nempty.txt\nlist.txt\n", "2 missing.txt empty.txt list.txt"}) {
    const RunResult result = run(input);
    EXPECT_EQ(result.exit_status, 0) << input;
    EXPECT_EQ(result.console, expected) << input;
    EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a", "b"})) << input;
  }
}

TEST_F(EndToEndTest, EndsQuietlyWhenTheAnswersRunOut) {
  const struct {
    const char* input;
    std::string console;
  } rows[] = {
      {"2\n", kBanner + kAskListName},
      {"2\nmissing.txt\n", kBanner + kAskListName + kListUnusable + kAskListName},
  };
  for (const auto& row : rows) {
    const RunResult result = run(row.input);
    EXPECT_EQ(result.exit_status, 0) << row.input;
    EXPECT_EQ(result.console, row.console) << row.input;
  }
}

TEST_F(EndToEndTest, IgnoresArgumentsAndLeavesOtherFilesAlone) {
  write_list("list.txt", "a b c");
  write_file(work_.path() / "output_1.xml", std::string(10'000, 'x'));
  write_file(work_.path() / "output_7.xml", "stale");
  const RunResult result = run("2\nlist.txt\n", {.arguments = {"--help", "other.txt"}});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.console, kBanner + kAskListName + kConvertedABC + kClosing);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a", "b"}));
  EXPECT_EQ(file("output_7.xml"), "stale");
}

TEST_F(EndToEndTest, WritesFilesThatXmlCanCarryButEchoesNumbersAsRead) {
  // Markup bytes, a Chinese character, and a Big5 character (A4 A4), which is not UTF-8.
  write_list("list.txt",
             "09<12>&34 \xE7\x8E\x8B"
             "0912 09\xA4\xA4"
             "12\n");
  const RunResult result = run("5\nlist.txt\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.console, kBanner + kAskListName +
                                "輸出檔案:output_1.xml\nread:09<12>&34\nread:\xE7\x8E\x8B"
                                "0912\nread:09\xA4\xA4"
                                "12\n" +
                                kClosing);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"09&lt;12&gt;&amp;34",
                                                          "\xE7\x8E\x8B"
                                                          "0912",
                                                          "09\xEF\xBF\xBD\xEF\xBF\xBD"
                                                          "12"}));
}

TEST_F(EndToEndTest, SkipsAUtf8MarkAndRefusesUtf16Lists) {
  write_list("utf8.txt", std::string(kUtf8Bom) + "a\r\nb\r\nc\r\n");
  write_list("utf16le.txt", std::string("\xFF\xFE"
                                        "a\0\n\0",
                                        6));
  write_list("utf16be.txt", std::string("\xFE\xFF\0"
                                        "a\0\n",
                                        6));
  const RunResult result = run("2\nutf16le.txt\nutf16be.txt\nutf8.txt\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.console, kBanner + kAskListName + kListUnusable + kAskListName + kListUnusable +
                                kAskListName + kConvertedABC + kClosing);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a", "b"}));
}

TEST_F(EndToEndTest, ReportsEachFailureWithItsReasonInOrderInOneLogOfBothStreams) {
  write_list("list.txt", "a b c");
  std::filesystem::create_directory(work_.path() / "output_1.xml");
  const RunResult result = run("2\nmissing.txt\nlist.txt\n", {.errors_to_console = true});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console, kBanner + kAskListName +
                                "change_utf8: missing.txt: No such file or directory\n" +
                                kListUnusable + kAskListName +
                                "輸出檔案:output_1.xml\n無法寫入檔案:output_1.xml\n"
                                "change_utf8: output_1.xml: Is a directory\n"
                                "read:a\nread:b\n輸出檔案:output_2.xml\nread:c\n" +
                                kIncomplete);
  EXPECT_TRUE(std::filesystem::is_directory(work_.path() / "output_1.xml"));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
}

TEST_F(EndToEndTest, KeepsTheOldGroupFileWhenTheNewOneCannotBeWritten) {
  // A limit on the size of any file (`ulimit -f`, which must not kill the program) that the
  // console stays below, but not the first group, where each & takes five bytes.
  const std::string ampersands(2000, '&');
  write_list("list.txt", "a " + ampersands + " c");
  write_file(work_.path() / "output_1.xml", "old group");
  const RunResult result = run("2\nlist.txt\n", {.file_size_limit = 5000});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console, kBanner + kAskListName +
                                "輸出檔案:output_1.xml\nread:a\nread:" + ampersands +
                                "\n無法寫入檔案:output_1.xml\n"
                                "輸出檔案:output_2.xml\nread:c\n" +
                                kIncomplete);
  EXPECT_EQ(result.errors, "change_utf8: output_1.xml: File too large\n");
  EXPECT_EQ(files(), (std::vector<std::string>{"list.txt", "output_1.xml", "output_2.xml"}));
  EXPECT_EQ(file("output_1.xml"), "old group");
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
}

TEST_F(EndToEndTest, NeverReplacesTheListEvenInAFolderThatCannotBeListed) {
  // The list typed as output_1.xml, with a second hard link and a symbolic link to it under
  // the next two group names, in a folder that can be written but not listed.
  const std::string list = "a b c d";
  write_list("output_1.xml", list);
  std::filesystem::create_hard_link(work_.path() / "output_1.xml", work_.path() / "output_2.xml");
  std::filesystem::create_symlink("output_1.xml", work_.path() / "output_3.xml");
  std::filesystem::permissions(work_.path(), std::filesystem::perms(0333));
  const RunResult result = run("1\noutput_1.xml\n", {.as_nobody = true});
  std::filesystem::permissions(work_.path(), std::filesystem::perms(0700));
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console, kBanner + kAskListName +
                                "輸出檔案:output_1.xml\n無法寫入檔案:output_1.xml\nread:a\n"
                                "輸出檔案:output_2.xml\n無法寫入檔案:output_2.xml\nread:b\n"
                                "輸出檔案:output_3.xml\n無法寫入檔案:output_3.xml\nread:c\n"
                                "輸出檔案:output_4.xml\nread:d\n" +
                                kIncomplete);
  const std::string reason = ": leads to the phone list being read, which is never replaced\n";
  EXPECT_EQ(result.errors, "change_utf8: output_1.xml" + reason + "change_utf8: output_2.xml" +
                               reason + "change_utf8: output_3.xml" + reason);
  EXPECT_EQ(file("output_1.xml"), list);
  EXPECT_EQ(file("output_2.xml"), list);
  EXPECT_TRUE(std::filesystem::is_symlink(work_.path() / "output_3.xml"));
  EXPECT_EQ(file("output_4.xml"), expected_group_file(4, {"d"}));
}

TEST_F(EndToEndTest, StopsAtAReadErrorAndKeepsOnlyTheWholeGroups) {
  // 30,000 numbers of ten digits, one a line. The list's first 4,096 bytes are read first,
  // then blocks of 256 KiB; reading fails from the second block on, seven bytes into the
  // 24,204th number (4,096 + 262,144 = 24,203 * 11 + 7).
  std::string list;
  for (int i = 0; i < 30'000; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "%010d\n", i);
    list += line;
  }
  write_list("list.txt", list);
  write_file(work_.path() / "output_50.xml", "from an earlier run");
  const auto failing_reads_from = [](const char* offset) {
    return RunOptions{.environment = {"LD_PRELOAD=" READ_ERROR_SHIM_PATH,
                                      "READ_ERROR_FILE=/list.txt",
                                      std::string("READ_ERROR_FROM_OFFSET=") + offset,
                                      "ASAN_OPTIONS=verify_asan_link_order=0"}};
  };
  const RunResult result = run("500\nlist.txt\n", failing_reads_from("262144"));
  EXPECT_EQ(result.exit_status, 1);
  std::string console = kBanner + kAskListName;
  for (std::size_t i = 0; i < 24'204; ++i) {
    if (i % 500 == 0) {
      console += "輸出檔案:output_" + std::to_string(i / 500 + 1) + ".xml\n";
    }
    console += "read:" + list.substr(i * 11, i < 24'203 ? 10 : 7) + "\n";
  }
  EXPECT_EQ(result.console, console + kReadFailed);
  EXPECT_EQ(result.errors,
            "change_utf8: list.txt: Input/output error\n"
            "change_utf8: output_50.xml: is from an earlier run and not part of this conversion\n");
  // Groups 1 to 48 are whole; group 49, which ends in a number cut short, is not written.
  EXPECT_EQ(files().size(), 2 + 48);
  EXPECT_FALSE(std::filesystem::exists(work_.path() / "output_49.xml"));
  std::vector<std::string> last_group;
  for (std::size_t i = 23'500; i < 24'000; ++i) {  // group 48
    last_group.push_back(list.substr(i * 11, 10));
  }
  EXPECT_EQ(file("output_48.xml"), expected_group_file(48, last_group));

  // Failing before the first number, the list is one that cannot be read.
  std::filesystem::remove_all(work_.path());
  std::filesystem::create_directory(work_.path());
  write_list("list.txt", list);
  const RunResult at_start = run("500\nlist.txt\n", failing_reads_from("0"));
  EXPECT_EQ(at_start.exit_status, 0);
  EXPECT_EQ(at_start.console, kBanner + kAskListName + kListUnusable + kAskListName);
  EXPECT_EQ(at_start.errors, "change_utf8: list.txt: Input/output error\n");
  EXPECT_EQ(files(), std::vector<std::string>{"list.txt"});
}

TEST_F(EndToEndTest, ASignalDuringTheConversionLeavesOnlyWholeGroupsAndEndsTheProgram) {
  for (const int signal_number :
       {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU}) {
    const MidConversion conversion = start_mid_conversion();
    ::kill(conversion.program.target, signal_number);
    EXPECT_EQ(wait_for(conversion.program.pid), -signal_number);
    ::close(conversion.list);
    EXPECT_EQ(files(), (std::vector<std::string>{"list.fifo", "output_1.xml"})) << signal_number;
    EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a", "b"})) << signal_number;
    clear_work();
  }

  // Started under nohup, the program goes on after a hangup.
  const MidConversion conversion = start_mid_conversion({.hangup_ignored = true});
  ::kill(conversion.program.target, SIGHUP);
  ASSERT_EQ(::write(conversion.list, "d", 1), 1);
  ::close(conversion.list);
  EXPECT_EQ(wait_for(conversion.program.pid), 0);
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c", "d"}));
}

TEST_F(EndToEndTest, EndsOnASignalAlsoAsTheProcess1OfAContainer) {
  // There the kernel drops a signal that the program raises on itself with the default action.
  const MidConversion conversion = start_mid_conversion({.as_process_1 = true});
  if (conversion.program.target < 0) {
    wait_for(conversion.program.pid);
    GTEST_SKIP() << "no PID namespace can be made here: unshare(CLONE_NEWPID) needs root";
  }
  ::kill(conversion.program.target, SIGTERM);
  EXPECT_EQ(wait_for(conversion.program.pid), 128 + SIGTERM);
  ::close(conversion.list);
  EXPECT_EQ(files(), (std::vector<std::string>{"list.fifo", "output_1.xml"}));
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a", "b"}));
}

TEST_F(EndToEndTest, WritesBesideFilesThatTakeItsTemporaryNames) {
  // Left by earlier runs with this run's process id, as in a container: a file, and a link
  // that must not be written through.
  write_list("list.txt", "a b c");
  write_file(work_.path() / "victim.txt", "victim");
  const RunResult result =
      run("2\nlist.txt\n", {.shell_prelude = "echo left >.output_1.xml.$$.tmp && "
                                             "ln -s victim.txt .output_2.xml.$$.tmp"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.console, kBanner + kAskListName + kConvertedABC + kClosing);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a", "b"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
  EXPECT_EQ(file("victim.txt"), "victim");
  EXPECT_EQ(files().size(), 6) << "list, victim, two group files and the two left alone";
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
  write_list("list.txt", "a b c");
  write_file(work_.path() / "output_4.xml", "from an earlier run");
  // "1,000" is the count 1 in every locale, then ",000" is the name of a list.
  const RunResult result = run("1,000 empty.txt list.txt\n",
                               {.environment = {"LC_ALL=", "LANGUAGE=", "LANG=zh_TW.UTF-8"}});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.console, kBanner + kAskListName + kListUnusable + kAskListName + kListUnusable +
                                kAskListName +
                                "輸出檔案:output_1.xml\nread:a\n輸出檔案:output_2.xml\nread:b\n"
                                "輸出檔案:output_3.xml\nread:c\n" +
                                kClosing);
  // The C library's text, then two of the program's own from its catalog.
  EXPECT_EQ(result.errors,
            "change_utf8: ,000: 沒有此一檔案或目錄\n"
            "change_utf8: empty.txt: 沒有任何電話號碼\n"
            "change_utf8: output_4.xml: 是之前執行留下的檔案，不屬於這次轉換\n");
}

TEST_F(EndToEndTest, FailsWhenTheConsoleCannotBeWrittenButStillWritesTheFiles) {
  write_list("list.txt", "a b c");
  const RunResult result = run("2\nlist.txt\n", {.console_path = "/dev/full"});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a", "b"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
}

TEST_F(EndToEndTest, FailsWhenNobodyReadsTheConsoleButStillWritesTheFiles) {
  write_list("list.txt", "a b c");
  const RunResult result = run("2\nlist.txt\n", {.console_is_closed_pipe = true});
  EXPECT_EQ(result.exit_status, 1) << "not ended by SIGPIPE, which would cut a file short";
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"a", "b"}));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
}

TEST_F(EndToEndTest, AsksAgainWhenTheListIsAFolder) {
  std::filesystem::create_directory(work_.path() / "folder");
  write_list("list.txt", "a b c");
  const RunResult result = run("2\nfolder\nlist.txt\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.console,
            kBanner + kAskListName + kListUnusable + kAskListName + kConvertedABC + kClosing);
}

TEST_F(EndToEndTest, OpensListsWhoseNamesHoldNonAsciiBytes) {
  // A UTF-8 name, then a name that is not valid UTF-8.
  for (const std::string name : {"電話清單.txt",
                                 "\xFF\xFE"
                                 "list"}) {
    write_list(name, "a b c");
    const RunResult result = run("2\n" + name + "\n");
    EXPECT_EQ(result.exit_status, 0) << name;
    EXPECT_EQ(result.console, kBanner + kAskListName + kConvertedABC + kClosing) << name;
  }
}

// Compares the file at `path` with `head`, then `body_size` bytes of `body_pattern` repeated,
// then `tail`, reading it in blocks.
void expect_file_holds(const std::filesystem::path& path, const std::string& head,
                       std::string_view body_pattern, std::uint64_t body_size,
                       const std::string& tail) {
  ASSERT_EQ(std::filesystem::file_size(path), head.size() + body_size + tail.size()) << path;
  std::ifstream in(path, std::ios::binary);
  std::string block(head.size(), '\0');
  in.read(block.data(), static_cast<std::streamsize>(block.size()));
  ASSERT_EQ(block, head) << path;
  std::string expected_body;
  while (expected_body.size() < (1u << 20)) {
    expected_body += body_pattern;
  }
  expected_body.resize((1u << 20) - (1u << 20) % body_pattern.size());
  for (std::uint64_t left = body_size; left > 0;) {
    const std::size_t n = std::min<std::uint64_t>(left, expected_body.size());
    block.resize(n);
    in.read(block.data(), static_cast<std::streamsize>(n));
    ASSERT_EQ(block, std::string_view(expected_body).substr(0, n)) << path << " at " << left;
    left -= n;
  }
  block.resize(tail.size());
  in.read(block.data(), static_cast<std::streamsize>(block.size()));
  ASSERT_EQ(block, tail) << path;
}

#ifdef CHANGE_UTF8_SANITIZED
constexpr std::uint64_t kAddressSpaceLimit = 0;  // the sanitizers reserve terabytes up front
#else
constexpr std::uint64_t kAddressSpaceLimit = 64ull << 20;
#endif

TEST_F(EndToEndTest, StreamsA256MiBNumberIn64MiBOfAddressSpace) {
  constexpr std::uint64_t kNumberSize = 256ull << 20;
  const std::string pattern = "0123456789abcdef";  // divides the size evenly
  {
    std::ofstream list(work_.path() / "huge.txt", std::ios::binary);
    std::string block;
    while (block.size() < (1u << 20)) {
      block += pattern;
    }
    for (std::uint64_t written = 0; written < kNumberSize; written += block.size()) {
      list.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    list << "\n";
    ASSERT_TRUE(list.good());
  }
  const RunResult result = run("1\nhuge.txt\n", {.console_path = scratch_.path() / "console.txt",
                                                 .address_space_limit = kAddressSpaceLimit});
  EXPECT_EQ(result.exit_status, 0);
  expect_file_holds(scratch_.path() / "console.txt",
                    kBanner + kAskListName + "輸出檔案:output_1.xml\nread:", pattern, kNumberSize,
                    "\n" + kClosing);
  const std::string group = expected_group_file(1, {"#"});
  const std::size_t hole = group.find('#');
  expect_file_holds(work_.path() / "output_1.xml", group.substr(0, hole), pattern, kNumberSize,
                    group.substr(hole + 1));
}

// Reads from `terminal` until what has come in ends with `expected`, or for at most 10 s.
std::string read_until(int terminal, std::string& received, std::string_view expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!std::string_view(received).ends_with(expected) &&
         std::chrono::steady_clock::now() < deadline) {
    pollfd ready{terminal, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) {
      continue;
    }
    char buffer[4096];
    const ssize_t n = ::read(terminal, buffer, sizeof buffer);
    if (n <= 0) {
      break;  // the program has ended and closed the terminal
    }
    received.append(buffer, static_cast<std::size_t>(n));
  }
  return received;
}

TEST_F(EndToEndTest, ShowsEachPromptAndLineOnATerminalAsSoonAsItIsComplete) {
  const std::filesystem::path fifo = make_fifo("list.fifo");
  termios raw{};
  ::cfmakeraw(&raw);  // no echo and no line-end translation: the bytes arrive as written
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, &raw, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    exec_program({});
  }
  std::string received;
  // Each prompt must arrive while the program waits for its answer: nothing has been typed yet.
  EXPECT_EQ(read_until(terminal, received, kBanner), kBanner);
  ASSERT_EQ(::write(terminal, "2\n", 2), 2);
  EXPECT_EQ(read_until(terminal, received, kAskListName), kBanner + kAskListName);
  ASSERT_EQ(::write(terminal, "list.fifo\n", 10), 10);
  // Each line of the conversion must arrive while the program waits for the rest of the list.
  const int list = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(list, 0);
  const std::string start_of_list = "a b" + std::string(4096 - 3, ' ');
  ASSERT_EQ(::write(list, start_of_list.data(), start_of_list.size()), 4096);
  const std::string first_lines =
      kBanner + kAskListName + "輸出檔案:output_1.xml\nread:a\nread:b\n";
  EXPECT_EQ(read_until(terminal, received, first_lines), first_lines);
  ASSERT_EQ(::write(list, "c", 1), 1);
  ::close(list);
  const std::string expected = kBanner + kAskListName + kConvertedABC + kClosing;
  if (read_until(terminal, received, expected) != expected) {
    ADD_FAILURE() << "the terminal showed: " << received;
    ::kill(child, SIGKILL);
  }
  EXPECT_EQ(wait_for(child), 0);  // before closing the terminal, which would hang it up
  ::close(terminal);
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
}

}  // namespace

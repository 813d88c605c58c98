// Runs the built program in a fresh directory, as a user would: answers on standard input
// through a pipe (or typed on a pseudo-terminal), console bytes, files and exit status checked.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
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

// The console lines of converting a, b, c with the limit 2.
const std::string kConvertedABC =
    "輸出檔案:output_1.xml\nread:a\nread:b\n輸出檔案:output_2.xml\nread:c\n";

struct RunOptions {
  std::vector<std::string> arguments = {};
  std::filesystem::path console_path = {};  // empty: a file of the test's own
  bool console_is_closed_pipe = false;      // a pipe that nobody reads: every write fails
  std::uint64_t address_space_limit = 0;    // bytes; 0: none
};

struct RunResult {
  int exit_status;  // the program's status, or 128 + the signal that ended it
  std::string console;
};

class EndToEndTest : public ::testing::Test {
 protected:
  // Runs the program in work_ with `input` written to a pipe on its standard input.
  RunResult run(std::string_view input, const RunOptions& options = {}) {
    const std::filesystem::path console_path =
        options.console_path.empty() ? scratch_.path() / "console.txt" : options.console_path;
    int input_pipe[2];
    if (::pipe(input_pipe) != 0) {
      ADD_FAILURE() << "pipe failed";
      return {-1, ""};
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
      const int console = options.console_is_closed_pipe
                              ? closed_pipe[1]
                              : ::open(console_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(console, STDOUT_FILENO);
      if (options.address_space_limit != 0) {
        const rlimit limit{options.address_space_limit, options.address_space_limit};
        ::setrlimit(RLIMIT_AS, &limit);
      }
      exec_program(options.arguments);
    }
    ::close(input_pipe[0]);
    ::close(closed_pipe[1]);
    // The program may stop reading early; a write to the closed pipe must not end the test.
    const auto previous_handler = std::signal(SIGPIPE, SIG_IGN);
    for (std::size_t written = 0; written < input.size();) {
      const ssize_t n = ::write(input_pipe[1], input.data() + written, input.size() - written);
      if (n <= 0) {
        break;
      }
      written += static_cast<std::size_t>(n);
    }
    ::close(input_pipe[1]);
    std::signal(SIGPIPE, previous_handler);
    const int exit_status = wait_for(child);
    const bool console_captured = options.console_path.empty() && !options.console_is_closed_pipe;
    return {exit_status, console_captured ? read_file(console_path) : ""};
  }

  // In a forked child: starts the program in work_ with `arguments` after its name.
  [[noreturn]] void exec_program(const std::vector<std::string>& arguments) {
    std::signal(SIGPIPE, SIG_DFL);
    if (::chdir(work_.path().c_str()) != 0) {
      ::_exit(126);
    }
    std::vector<char*> argv{const_cast<char*>(CHANGE_UTF8_PATH)};
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(CHANGE_UTF8_PATH, argv.data());
    ::_exit(127);
  }

  static int wait_for(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  void write_list(const std::string& name, std::string_view bytes) {
    write_file(work_.path() / name, bytes);
  }
  std::string file(const std::string& name) const { return read_file(work_.path() / name); }
  std::vector<std::string> files() const { return entry_names(work_.path()); }

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

TEST_F(EndToEndTest, EscapesMarkupInFilesButEchoesNumbersAsRead) {
  write_list("list.txt",
             "09<12>&34 \xE7\x8E\x8B"
             "0912\n");
  const RunResult result = run("5\nlist.txt\n");
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.console, kBanner + kAskListName +
                                "輸出檔案:output_1.xml\nread:09<12>&34\nread:\xE7\x8E\x8B"
                                "0912\n" +
                                kClosing);
  EXPECT_EQ(file("output_1.xml"), expected_group_file(1, {"09&lt;12&gt;&amp;34",
                                                          "\xE7\x8E\x8B"
                                                          "0912"}));
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

TEST_F(EndToEndTest, ReportsAGroupFileThatCannotBeCreated) {
  write_list("list.txt", "a b c");
  std::filesystem::create_directory(work_.path() / "output_1.xml");
  const RunResult result = run("2\nlist.txt\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console, kBanner + kAskListName +
                                "輸出檔案:output_1.xml\n無法寫入檔案:output_1.xml\nread:a\nread:b\n"
                                "輸出檔案:output_2.xml\nread:c\n" +
                                kIncomplete);
  EXPECT_TRUE(std::filesystem::is_directory(work_.path() / "output_1.xml"));
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
}

TEST_F(EndToEndTest, ReportsAndRemovesAGroupFileThatCannotBeWritten) {
  write_list("list.txt", "a b c");
  std::filesystem::create_symlink("/dev/full", work_.path() / "output_2.xml");
  const RunResult result = run("2\nlist.txt\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console,
            kBanner + kAskListName + kConvertedABC + "無法寫入檔案:output_2.xml\n" + kIncomplete);
  EXPECT_EQ(files(), (std::vector<std::string>{"list.txt", "output_1.xml"}));
}

TEST_F(EndToEndTest, NeverWritesOverTheListWhenItIsNamedLikeAGroupFile) {
  const std::string list = "a b c";
  write_list("output_1.xml", list);
  const RunResult result = run("2\noutput_1.xml\n");
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.console, kBanner + kAskListName +
                                "輸出檔案:output_1.xml\n無法寫入檔案:output_1.xml\nread:a\nread:b\n"
                                "輸出檔案:output_2.xml\nread:c\n" +
                                kIncomplete);
  EXPECT_EQ(file("output_1.xml"), list);
  EXPECT_EQ(file("output_2.xml"), expected_group_file(2, {"c"}));
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

TEST_F(EndToEndTest, ShowsEachPromptOnATerminalBeforeWaitingForTheAnswer) {
  write_list("list.txt", "a b c");
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
  ASSERT_EQ(::write(terminal, "list.txt\n", 9), 9);
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

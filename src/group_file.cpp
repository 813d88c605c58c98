#include "group_file.h"

#include <fcntl.h>
#include <libintl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <utility>

namespace {

// Markup is written to the file in blocks of about this size.
constexpr std::size_t kFlushThreshold = std::size_t{256} * 1024;

// The bytes of a phone text that markup gives a meaning to, and the entities written instead.
struct Entity {
  char byte;
  std::string_view text;
};
constexpr Entity kEntities[] = {{'&', "&amp;"}, {'<', "&lt;"}, {'>', "&gt;"}};

// U+FFFD, written for what XML cannot carry.
constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// ASCII bytes that XML text can carry as they are: all but the entities' bytes and the C0
// controls other than tab, line feed and carriage return. Every byte from 0x80 is part of a
// UTF-8 sequence and must be checked first.
constexpr std::array<bool, 256> make_copied_as_is_table() {
  std::array<bool, 256> table{};
  for (int byte = 0; byte < 0x80; ++byte) {
    table[byte] = byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r';
  }
  for (const Entity& entity : kEntities) {
    table[static_cast<unsigned char>(entity.byte)] = false;
  }
  return table;
}
constexpr std::array<bool, 256> kCopiedAsIs = make_copied_as_is_table();

bool is_copied_as_is(char byte) {
  return kCopiedAsIs[static_cast<unsigned char>(byte)];
}

// The entity written for `byte`; empty when it needs none.
std::string_view entity_for(char byte) {
  for (const Entity& entity : kEntities) {
    if (entity.byte == byte) {
      return entity.text;
    }
  }
  return {};
}

// The number of bytes of the UTF-8 character that `lead` begins; 0 when it begins none
// (a continuation byte, an overlong lead C0 or C1, or F5 and above, beyond U+10FFFF).
std::uint8_t utf8_length(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return 4;
  }
  return 0;
}

// Whether `byte` can follow the first `held` bytes of a character that begins with `lead`.
// The second byte's range excludes overlong forms (after E0 and F0), surrogates (after ED)
// and code points beyond U+10FFFF (after F4).
bool continues_character(unsigned char lead, std::size_t held, unsigned char byte) {
  unsigned char lowest = 0x80;
  unsigned char highest = 0xBF;
  if (held == 1) {
    switch (lead) {
      case 0xE0:
        lowest = 0xA0;
        break;
      case 0xED:
        highest = 0x9F;
        break;
      case 0xF0:
        lowest = 0x90;
        break;
      case 0xF4:
        highest = 0x8F;
        break;
      default:
        break;
    }
  }
  return byte >= lowest && byte <= highest;
}

// U+FFFE and U+FFFF, which XML does not allow.
bool is_xml_noncharacter(std::string_view character) {
  return character == "\xEF\xBF\xBE" || character == "\xEF\xBF\xBF";
}

// The decimal digits of a number, formatted without allocating.
class DecimalDigits {
 public:
  explicit DecimalDigits(std::int64_t number)
      : size_(static_cast<std::size_t>(
            std::to_chars(digits_, digits_ + sizeof digits_, number).ptr - digits_)) {}
  [[nodiscard]] std::string_view view() const { return {digits_, size_}; }

 private:
  char digits_[20];  // a sign and the 19 digits of the largest 64-bit number
  std::size_t size_;
};

// How many temporary names a group tries before it fails: a name may be taken by a file that
// an earlier run left behind when it was killed (in a container, with this very process id).
constexpr int kTemporaryNameAttempts = 100;

// The name of group file `name`'s temporary file on attempt `attempt` (from 0): "." and the
// group file name, then this process's id, then ".tmp", or for a later attempt the process
// id, "." and the attempt's number, then ".tmp".
std::string temporary_file_name(std::string_view name, int attempt) {
  std::string temporary = ".";
  temporary += name;
  temporary += ".";
  temporary += std::to_string(::getpid());
  if (attempt > 0) {
    temporary += ".";
    temporary += std::to_string(attempt);
  }
  temporary += ".tmp";
  return temporary;
}

// The temporary file that a termination signal removes. The path is complete whenever the
// flag is set, which is all the handler reads.
char temporary_file_to_remove[4096];
volatile std::sig_atomic_t temporary_file_is_registered = 0;

void register_temporary_file(const std::filesystem::path& path) {
  temporary_file_is_registered = 0;
  const std::string& text = path.native();
  if (text.size() >= sizeof temporary_file_to_remove) {
    return;  // too long to hold; such a file outlives a signal
  }
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(temporary_file_to_remove, text.c_str(), text.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  temporary_file_is_registered = 1;
}

void unregister_temporary_file() {
  temporary_file_is_registered = 0;
}

// Ends the process by `signal_number` with its default action. The process 1 of a PID
// namespace (a program started in a container) ignores such a signal raised on itself; it
// ends with the status a shell gives for the signal instead.
// Only async-signal-safe calls: unlink, signal, sigprocmask, raise, _exit. The signal is
// blocked while its handler runs, so it is unblocked before being raised again.
extern "C" void remove_temporary_file_and_end(int signal_number) {
  if (temporary_file_is_registered != 0) {
    ::unlink(temporary_file_to_remove);
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

std::string group_file_name(std::int64_t group_number) {
  return "output_" + std::to_string(group_number) + ".xml";
}

void remove_unfinished_group_file_on_termination_signals() {
  struct sigaction action {};
  action.sa_handler = remove_temporary_file_and_end;
  sigemptyset(&action.sa_mask);
  // Every signal whose default action ends the process, but SIGKILL and SIGSTOP, which cannot
  // be caught, and those that report a fault of the program itself (SIGSEGV, SIGABRT, ...).
  // SIGPIPE and SIGXFSZ are ignored instead, by main.
  const int signals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGQUIT, SIGALRM,
                         SIGUSR1, SIGUSR2, SIGVTALRM, SIGPROF, SIGXCPU};
  for (const int signal_number : signals) {
    sigaddset(&action.sa_mask, signal_number);  // one at a time
  }
  for (const int signal_number : signals) {
    struct sigaction previous {};
    // A signal ignored by whoever started the program (nohup) stays ignored.
    if (::sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) {
      ::sigaction(signal_number, &action, nullptr);
    }
  }
}

GroupFileWriter::GroupFileWriter(std::filesystem::path directory,
                                 std::optional<FileIdentity> file_to_protect)
    : directory_(std::move(directory)), protected_file_(file_to_protect) {
  pending_.reserve(kFlushThreshold);
}

GroupFileWriter::~GroupFileWriter() {
  discard_group();
}

bool GroupFileWriter::begin_group(std::int64_t group_number) {
  assert(!group_is_open());
  const std::string name = group_file_name(group_number);
  group_failed_ = false;
  final_path_ = directory_ / name;
  if (!name_can_be_replaced(final_path_)) {
    return false;
  }
  if (!create_temporary_file(name)) {
    return false;
  }
  partial_ = {};
  pending_ += "<xml><string id=\"name\">";
  pending_ += std::string_view(name).substr(0, name.size() - std::string_view(".xml").size());
  pending_ += "</string>";
  return true;
}

bool GroupFileWriter::group_file_exists(std::int64_t group_number) const {
  struct stat status {};
  return ::lstat((directory_ / group_file_name(group_number)).c_str(), &status) == 0;
}

// Creates the group's temporary file under the first of its names that no file has taken. A
// file that stands under a name stays as it is: this run never writes, replaces or removes a
// file it did not create.
bool GroupFileWriter::create_temporary_file(std::string_view name) {
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    temporary_path_ = directory_ / temporary_file_name(name, attempt);
    fd_ = ::open(temporary_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      // Only now is the file this run's own, for a termination signal to remove.
      register_temporary_file(temporary_path_);
      return true;
    }
    if (errno != EEXIST) {
      break;
    }
  }
  fail_group(std::strerror(errno));
  return false;
}

void GroupFileWriter::begin_contact(std::int64_t position) {
  assert(!contact_open_);
  contact_open_ = true;
  if (fd_ < 0) {
    return;
  }
  const DecimalDigits digits(position);
  pending_ += "<contactData><string id=\"peopleName";
  pending_ += digits.view();
  pending_ += "\">People</string><string id=\"peoplePhone";
  pending_ += digits.view();
  pending_ += "\">";
}

void GroupFileWriter::add_phone_bytes(std::string_view piece) {
  assert(contact_open_);
  if (fd_ < 0) {
    return;
  }
  std::size_t next = 0;
  while (next < piece.size()) {
    if (partial_.size > 0) {
      continue_character(piece[next++]);
      continue;
    }
    // The fast path: a run of bytes copied as they are, which is all of an ASCII number.
    std::size_t run_end = next;
    while (run_end < piece.size() && is_copied_as_is(piece[run_end])) {
      ++run_end;
    }
    pending_.append(piece.substr(next, run_end - next));
    if (run_end == piece.size()) {
      break;
    }
    write_special_byte(piece[run_end]);
    next = run_end + 1;
  }
  flush_when_full();
}

void GroupFileWriter::end_contact() {
  assert(contact_open_);
  contact_open_ = false;
  if (fd_ < 0) {
    return;
  }
  end_partial_character();
  pending_ += "</string></contactData>";
  flush_when_full();
}

bool GroupFileWriter::end_group(std::int64_t total) {
  assert(!contact_open_);
  if (fd_ < 0) {
    return true;
  }
  pending_ += "<int id=\"total\">";
  pending_ += DecimalDigits(total).view();
  pending_ += "</int></xml>";
  flush_pending();
  if (::close(std::exchange(fd_, -1)) != 0) {
    fail_group(std::strerror(errno));
  }
  if (!group_failed_ && ::rename(temporary_path_.c_str(), final_path_.c_str()) != 0) {
    fail_group(std::strerror(errno));
  }
  if (group_failed_) {
    remove_temporary_file();
    return false;
  }
  unregister_temporary_file();
  return true;
}

void GroupFileWriter::discard_group() {
  contact_open_ = false;
  if (fd_ < 0) {
    return;
  }
  ::close(std::exchange(fd_, -1));
  pending_.clear();
  remove_temporary_file();
}

bool GroupFileWriter::name_can_be_replaced(const std::filesystem::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return true;  // nothing there yet
  }
  if (S_ISDIR(status.st_mode)) {
    fail_group(std::strerror(EISDIR));
    return false;
  }
  if (S_ISLNK(status.st_mode) && ::stat(path.c_str(), &status) != 0) {
    return true;  // a link that leads nowhere
  }
  if (protected_file_ && FileIdentity{status.st_dev, status.st_ino} == *protected_file_) {
    fail_group(::gettext("leads to the phone list being read, which is never replaced"));
    return false;
  }
  return true;
}

// `byte` is not copied as it is: an entity, the start of a UTF-8 character, or a replacement.
void GroupFileWriter::write_special_byte(char byte) {
  if (const std::string_view entity = entity_for(byte); !entity.empty()) {
    pending_ += entity;
  } else if (utf8_length(static_cast<unsigned char>(byte)) > 0) {
    partial_.bytes[0] = byte;
    partial_.size = 1;
  } else {
    pending_ += kReplacementCharacter;
  }
}

// The next byte after an incomplete character: it completes or continues the character, or
// ends it as ill-formed and starts afresh.
void GroupFileWriter::continue_character(char byte) {
  if (!continues_character(static_cast<unsigned char>(partial_.bytes[0]), partial_.size,
                           static_cast<unsigned char>(byte))) {
    end_partial_character();
    if (is_copied_as_is(byte)) {
      pending_ += byte;
    } else {
      write_special_byte(byte);
    }
    return;
  }
  partial_.bytes[partial_.size++] = byte;
  if (partial_.size == utf8_length(static_cast<unsigned char>(partial_.bytes[0]))) {
    const std::string_view character(partial_.bytes, partial_.size);
    pending_ += is_xml_noncharacter(character) ? kReplacementCharacter : character;
    partial_.size = 0;
  }
}

// An incomplete character that nothing can complete: one U+FFFD for all its bytes.
void GroupFileWriter::end_partial_character() {
  if (partial_.size > 0) {
    pending_ += kReplacementCharacter;
    partial_.size = 0;
  }
}

void GroupFileWriter::flush_when_full() {
  if (pending_.size() >= kFlushThreshold) {
    flush_pending();
  }
}

void GroupFileWriter::flush_pending() {
  for (std::size_t written = 0; !group_failed_ && written < pending_.size();) {
    const ssize_t n = ::write(fd_, pending_.data() + written, pending_.size() - written);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      fail_group(std::strerror(n < 0 ? errno : EIO));
    } else {
      written += static_cast<std::size_t>(n);
    }
  }
  pending_.clear();
}

void GroupFileWriter::fail_group(std::string_view reason) {
  if (!group_failed_) {  // the first failure is the one the user can act on
    group_failed_ = true;
    failure_reason_ = reason;
  }
}

void GroupFileWriter::remove_temporary_file() {
  ::unlink(temporary_path_.c_str());
  unregister_temporary_file();
}

// The benchmark's floor: converts a phone list into the same group files and console text as
// change_utf8, with nothing but read(2) and write(2) of 1 MiB blocks, and the steps that any
// writer of whole files must take: each group file is created under a temporary name, written,
// closed and renamed. Usage: floor LIST LIMIT. Writes into the current directory and to
// standard output; no dialogue, no error reports, and ASCII lists only (no UTF-8 checks).

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kBlock = 1 << 20;

// Collects bytes and writes them to `fd` in blocks of 1 MiB.
class Sink {
 public:
  explicit Sink(int fd = -1) : fd_(fd) { buffer_.reserve(kBlock + 4096); }
  void reset(int fd) { fd_ = fd; }
  void put(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= kBlock) {
      flush();
    }
  }
  void put_number(std::int64_t number) {
    char digits[24];
    buffer_.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
  }
  void flush() {
    for (std::size_t done = 0; done < buffer_.size();) {
      const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n <= 0) {
        std::exit(1);
      }
      done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }

 private:
  int fd_;
  std::string buffer_;
};

bool is_separator(char byte) {
  return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

void put_escaped(Sink& file, std::string_view piece) {
  std::size_t from = 0;
  for (std::size_t i = 0; i < piece.size(); ++i) {
    const char c = piece[i];
    if (c == '&' || c == '<' || c == '>') {
      file.put(piece.substr(from, i - from));
      file.put(c == '&' ? "&amp;" : c == '<' ? "&lt;" : "&gt;");
      from = i + 1;
    }
  }
  file.put(piece.substr(from));
}

// Writes the trailer, closes the group file and renames it from its temporary name.
void end_group(Sink& file, int fd, std::int64_t total, const std::string& temporary,
               const std::string& name) {
  file.put("<int id=\"total\">");
  file.put_number(total);
  file.put("</int></xml>");
  file.flush();
  ::close(fd);
  ::rename(temporary.c_str(), name.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    return 2;
  }
  const int list = ::open(argv[1], O_RDONLY);
  const std::int64_t limit = std::atoi(argv[2]);
  if (list < 0 || limit < 1) {
    return 2;
  }
  Sink console(STDOUT_FILENO);
  Sink file;
  int file_fd = -1;
  std::string name;
  std::string temporary;
  std::int64_t count = 0;
  std::int64_t group = 0;
  bool in_word = false;
  bool at_start = true;
  std::vector<char> block(kBlock);
  ssize_t got = 0;
  while ((got = ::read(list, block.data(), block.size())) > 0) {
    std::string_view bytes(block.data(), static_cast<std::size_t>(got));
    if (at_start && bytes.starts_with("\xEF\xBB\xBF")) {
      bytes.remove_prefix(3);
    }
    at_start = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
      if (!in_word) {
        while (i < bytes.size() && is_separator(bytes[i])) {
          ++i;
        }
        if (i == bytes.size()) {
          break;
        }
        const std::int64_t position = count % limit;
        if (position == 0) {
          if (file_fd >= 0) {
            end_group(file, file_fd, limit, temporary, name);
          }
          ++group;
          name = "output_" + std::to_string(group) + ".xml";
          temporary = "." + name + ".tmp";
          file_fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
          file.reset(file_fd);
          console.put("輸出檔案:");
          console.put(name);
          console.put("\n");
          file.put("<xml><string id=\"name\">output_");
          file.put_number(group);
          file.put("</string>");
        }
        file.put("<contactData><string id=\"peopleName");
        file.put_number(position);
        file.put("\">People</string><string id=\"peoplePhone");
        file.put_number(position);
        file.put("\">");
        console.put("read:");
        in_word = true;
      }
      std::size_t end = i;
      while (end < bytes.size() && !is_separator(bytes[end])) {
        ++end;
      }
      put_escaped(file, bytes.substr(i, end - i));
      console.put(bytes.substr(i, end - i));
      if (end == bytes.size()) {
        break;
      }
      file.put("</string></contactData>");
      console.put("\n");
      ++count;
      in_word = false;
      i = end + 1;
    }
  }
  if (in_word) {
    file.put("</string></contactData>");
    console.put("\n");
    ++count;
  }
  if (file_fd >= 0) {
    end_group(file, file_fd, (count - 1) % limit + 1, temporary, name);
  }
  console.flush();
  return 0;
}

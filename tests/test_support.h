#ifndef CHANGE_UTF8_TESTS_TEST_SUPPORT_H_
#define CHANGE_UTF8_TESTS_TEST_SUPPORT_H_

#include <expat.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace test_support {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A fresh directory under /tmp, removed with everything in it when the object goes.
class ScopedTempDir {
 public:
  ScopedTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "change_utf8_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp failed";
    }
    path_ = pattern;
  }
  ~ScopedTempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.is_open()) << "cannot open " << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

// An unnamed file in memory that holds `bytes`, open for reading from its start; closed when
// the object goes.
class ListInMemory {
 public:
  explicit ListInMemory(std::string_view bytes) : fd_(::memfd_create("list", MFD_CLOEXEC)) {
    EXPECT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::lseek(fd_, 0, SEEK_SET);
  }
  ~ListInMemory() { ::close(fd_); }
  ListInMemory(const ListInMemory&) = delete;
  ListInMemory& operator=(const ListInMemory&) = delete;

  int fd() const { return fd_; }

 private:
  int fd_;
};

// Lowers the file size limit of this process for as long as it lives, with SIGXFSZ ignored,
// so that a write past `bytes` fails with EFBIG on a regular file.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : previous_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    const rlimit lowered{bytes, previous_.rlim_max};
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previous_handler_)(int);
};

// The names of the entries in `directory`, sorted.
inline std::vector<std::string> entry_names(const std::filesystem::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Whether `document` is well-formed XML, as a real parser (expat) judges it.
inline bool is_well_formed_xml(std::string_view document) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  const bool parsed = XML_Parse(parser, document.data(), static_cast<int>(document.size()),
                                XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return parsed;
}

// The bytes a group file must hold: group `group_number` with `phones` already escaped.
inline std::string expected_group_file(std::int64_t group_number,
                                       const std::vector<std::string>& phones) {
  std::ostringstream xml;
  xml << "<xml><string id=\"name\">output_" << group_number << "</string>";
  int position = 0;
  for (const std::string& phone : phones) {
    xml << "<contactData><string id=\"peopleName" << position
        << "\">People</string><string id=\"peoplePhone" << position << "\">" << phone
        << "</string></contactData>";
    ++position;
  }
  xml << "<int id=\"total\">" << phones.size() << "</int></xml>";
  return xml.str();
}

}  // namespace test_support

#endif  // CHANGE_UTF8_TESTS_TEST_SUPPORT_H_

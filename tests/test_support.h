#ifndef CHANGE_UTF8_TESTS_TEST_SUPPORT_H_
#define CHANGE_UTF8_TESTS_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "judged_start.h"

namespace test_support {

inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// What a unit that takes text in pieces makes of `text` given in two, split after `split`
// bytes: (unit.*add)(piece, out) for each, then unit.finish(out).
template <typename Unit>
std::string in_two_pieces(Unit& unit, void (Unit::*add)(std::string_view, std::string&),
                          std::string_view text, std::size_t split) {
  std::string out;
  (unit.*add)(text.substr(0, split), out);
  (unit.*add)(text.substr(split), out);
  unit.finish(out);
  return out;
}

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

// `blocks` one after the other.
inline std::string joined(const std::vector<std::string>& blocks) {
  std::string whole;
  for (const std::string& block : blocks) {
    whole += block;
  }
  return whole;
}

// The names of the entries in `directory`, sorted.
inline std::vector<std::string> entry_names(const std::filesystem::path& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The bytes a group file must hold: group `group_number` with `phones` as XML text.
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

#ifndef CHANGE_UTF8_ZIP_ARCHIVE_H_
#define CHANGE_UTF8_ZIP_ARCHIVE_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "core/failure.h"
#include "core/file_system.h"

// A member unpacking to more than this many bytes is refused as a likely ZIP bomb.
inline constexpr std::uint64_t kMaxMemberSize = std::uint64_t{1} << 30;

// A member unpacking to more than this many times its packed size is refused as a likely ZIP
// bomb, once the members read from the archive, it included, unpack to more than
// kRatioJudgedFrom bytes: below that nothing is a bomb, and the few bytes of a packed empty or
// tiny member would make any ratio look large; counted over the archive, many small members
// make no bomb either.
inline constexpr std::uint64_t kMaxPackingRatio = 100;
inline constexpr std::uint64_t kRatioJudgedFrom = std::uint64_t{1} << 20;

// The failure of the member `member` of the archive `archive`: `reason` is a text with one %s,
// which stands for the member's name.
Failure member_failure(std::string archive, const char* reason, std::string_view member);

// The result of one read of a member: how many bytes it gave (0 at the member's end), or why
// it failed.
struct ZipRead {
  std::size_t size = 0;
  std::optional<Failure> failure;
};

// A ZIP archive read one member at a time, each unpacked as it is read (by minizip), the file
// read through the file-system edge. Its failures name the archive as it was given, and the
// member where one is concerned.
class ZipArchive {
 public:
  // `files` must outlive the archive.
  explicit ZipArchive(FileSystem& files);
  // Closes the archive.
  ~ZipArchive();

  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Reads the archive's directory from `fd`, a descriptor open for reading on a file that can
  // be read at any position. The archive takes `fd` over: it is closed with the archive. Fails
  // when the file cannot be read, or is no whole ZIP archive.
  // REQUIRES: open has not been called.
  [[nodiscard]] std::optional<Failure> open(int fd, std::string name);

  // Whether the archive holds a member named `member` (a path inside it, such as "xl/a.xml").
  // REQUIRES: open succeeded.
  [[nodiscard]] bool holds(const std::string& member) const;

  // Begins reading `member`, and ends the reading of the member begun before. Fails when the
  // archive holds no such member, when it is encrypted or packed by a method that cannot be
  // unpacked, or when its declared sizes make it a likely ZIP bomb (see the limits above).
  // REQUIRES: open succeeded.
  [[nodiscard]] std::optional<Failure> open_member(const std::string& member);

  // Unpacks the next bytes of the member being read into `buffer`, at most its size. Fails
  // when the member is damaged (its checksum too, at its end), when the file cannot be read, or
  // when what it has unpacked passes the limits above; the member then ends there.
  // REQUIRES: open_member succeeded.
  [[nodiscard]] ZipRead read(std::span<char> buffer);

  // The bytes unpacked so far, of every member read.
  [[nodiscard]] std::uint64_t unpacked_so_far() const { return unpacked_before_ + unpacked_; }

  // The file as minizip reads it: its descriptor, where minizip stands in it, and the failure of
  // the last read that failed. Defined in zip_archive.cpp.
  struct File;

 private:
  [[nodiscard]] bool index_members();
  [[nodiscard]] Failure failure_of_member(const char* reason) const;
  [[nodiscard]] Failure failure_of(int minizip_error) const;
  [[nodiscard]] std::optional<Failure> judge_unpacked_size(std::uint64_t size) const;
  void close_member();

  FileSystem& files_;
  std::unique_ptr<File> file_;
  void* archive_ = nullptr;  // minizip's unzFile
  // Where each member's entry stands in the directory, as minizip's unz64_file_pos gives it.
  std::map<std::string, std::pair<std::uint64_t, std::uint64_t>, std::less<>> members_;
  bool member_open_ = false;
  std::string member_name_;  // of the member being read
  std::uint64_t packed_size_ = 0;
  std::uint64_t declared_size_ = 0;    // unpacked, of the member being read
  std::uint64_t unpacked_ = 0;         // bytes of the member read so far
  std::uint64_t unpacked_before_ = 0;  // bytes read of the members read before it
};

#endif  // CHANGE_UTF8_ZIP_ARCHIVE_H_

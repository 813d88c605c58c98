#ifndef CHANGE_UTF8_TESTS_COMPOUND_FILE_WRITER_H_
#define CHANGE_UTF8_TESTS_COMPOUND_FILE_WRITER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace compound_file {

constexpr std::size_t kSector = 512;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;

inline void put(std::string& bytes, std::size_t at, std::uint64_t value, int size) {
  for (int byte = 0; byte < size; ++byte) {
    bytes[at + static_cast<std::size_t>(byte)] = static_cast<char>(value >> (8 * byte));
  }
}

// A directory entry: `name` (ASCII), its type (5 the root, 2 a stream), first sector and size.
inline std::string entry(std::string_view name, int type, std::uint32_t start, std::size_t size,
                         std::uint32_t child) {
  std::string bytes(128, '\0');
  for (std::size_t at = 0; at < name.size(); ++at) {
    bytes[2 * at] = name[at];
  }
  put(bytes, 0x40, 2 * (name.size() + 1), 2);
  put(bytes, 0x42, static_cast<std::uint64_t>(type) | 1 << 8, 2);  // black
  put(bytes, 0x44, kFree, 4);
  put(bytes, 0x48, kFree, 4);
  put(bytes, 0x4C, child, 4);
  put(bytes, 0x74, start, 4);
  put(bytes, 0x78, size, 4);
  return bytes;
}

}  // namespace compound_file

// A compound file (version 3, sectors of 512 bytes) holding one stream, `name` (such as
// "Workbook"), of `stream` padded with NUL bytes to 4096 (the least kept outside the mini
// stream): its header, one sector of its allocation table, one of its directory, then the
// stream's. REQUIRES: the stream fits in 126 sectors.
inline std::string compound_file_of(std::string_view name, std::string stream) {
  using compound_file::kEndOfChain;
  using compound_file::kSector;
  using compound_file::put;
  stream.resize(std::max<std::size_t>(stream.size() + kSector - 1, 4096) / kSector * kSector);
  const std::size_t stream_sectors = stream.size() / kSector;
  std::string header(kSector, '\xFF');
  header.replace(0, 0x4C, 0x4C, '\0');
  header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
  put(header, 0x18, 0x3E, 2);
  put(header, 0x1A, 3, 2);
  put(header, 0x1C, 0xFFFE, 2);
  put(header, 0x1E, 9, 2);
  put(header, 0x20, 6, 2);
  put(header, 0x2C, 1, 4);  // one sector of the allocation table, sector 0
  put(header, 0x30, 1, 4);  // the directory, sector 1
  put(header, 0x38, 4096, 4);
  put(header, 0x3C, kEndOfChain, 4);
  put(header, 0x44, kEndOfChain, 4);
  put(header, 0x4C, 0, 4);
  std::string table(kSector, '\xFF');
  put(table, 0, 0xFFFFFFFD, 4);
  put(table, 4, kEndOfChain, 4);
  for (std::size_t sector = 2; sector < 2 + stream_sectors; ++sector) {
    put(table, 4 * sector, sector + 1 == 2 + stream_sectors ? kEndOfChain : sector + 1, 4);
  }
  std::string directory = compound_file::entry("Root Entry", 5, kEndOfChain, 0, 1) +
                          compound_file::entry(name, 2, 2, stream.size(), compound_file::kFree);
  directory.resize(kSector, '\0');
  return header + table + directory + stream;
}

#endif  // CHANGE_UTF8_TESTS_COMPOUND_FILE_WRITER_H_

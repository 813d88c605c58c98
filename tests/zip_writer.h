#ifndef CHANGE_UTF8_TESTS_ZIP_WRITER_H_
#define CHANGE_UTF8_TESTS_ZIP_WRITER_H_

#include <minizip/zip.h>

#include <filesystem>
#include <string>
#include <utility>

// Writes a ZIP archive of `members` (pairs of a name and its bytes, in order) to `path`, each
// member packed (deflated) or stored; false when minizip fails.
template <typename Members>
bool write_zip_archive(const std::filesystem::path& path, const Members& members,
                       bool packed = true) {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (zip == nullptr) {
    return false;
  }
  bool written = true;
  for (const auto& [name, bytes] : members) {
    written =
        written &&
        zipOpenNewFileInZip64(zip, name.c_str(), nullptr, nullptr, 0, nullptr, 0, nullptr,
                              packed ? Z_DEFLATED : 0, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK &&
        zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK &&
        zipCloseFileInZip(zip) == ZIP_OK;
  }
  return zipClose(zip, nullptr) == ZIP_OK && written;
}

#endif  // CHANGE_UTF8_TESTS_ZIP_WRITER_H_

#include "core/list_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "faulty_file_system.h"
#include "test_support.h"

namespace {

using test_support::kJudgedStartSize;
using test_support::kUtf8Bom;
using test_support::write_file;

class ListReaderTest : public ::testing::Test {
 protected:
  // Opens `list`, written to list.txt, with reads of at most `block_size` bytes.
  std::optional<Failure> open(const std::string& list, std::size_t block_size) {
    write_file(path(), list);
    reader_.emplace(file_system_, block_size);
    return reader_->open(path());
  }
  // The rest of the text, checking that no block is larger than `block_size`.
  std::string read_to_end(std::size_t block_size) {
    std::string text;
    while (true) {
      const ListBlock block = reader_->next_block();
      EXPECT_EQ(block.failure, std::nullopt);
      EXPECT_LE(block.text.size(), block_size);
      if (block.text.empty()) {
        return text;
      }
      text += block.text;
    }
  }
  std::filesystem::path path() const { return dir_.path() / "list.txt"; }

  test_support::ScopedTempDir dir_;
  FaultyFileSystem file_system_;
  std::optional<ListReader> reader_;
};

TEST_F(ListReaderTest, HandsOutTheWholeTextInBlocksWithoutTheByteOrderMark) {
  const std::string text = "0912\n" + std::string(kUtf8Bom) + "345 " +
                           std::string(kJudgedStartSize, '6') + std::string("\0 7", 3);
  for (const std::size_t block_size : {std::size_t{1}, std::size_t{7}, kListBlockSize}) {
    ASSERT_EQ(open(std::string(kUtf8Bom) + text, block_size), std::nullopt) << block_size;
    EXPECT_EQ(read_to_end(block_size), text) << block_size;
  }
}

TEST_F(ListReaderTest, RefusesAListWithANulByteInItsStartHoweverItIsRead) {
  const std::string not_plain_text =
      "is not plain text, perhaps a spreadsheet or word-processor file; save it as UTF-8 or "
      "Unicode text";
  const std::string rows[] = {
      std::string("0\0"
                  "9\0",
                  4),  // UTF-16 without a byte-order mark
      std::string(kJudgedStartSize - 1, '1') + '\0' + "2 3",
  };
  for (const std::string& list : rows) {
    for (const std::size_t block_size : {kListBlockSize, std::size_t{7}}) {
      const std::optional<Failure> failure = open(list, block_size);
      ASSERT_TRUE(failure.has_value()) << list.size() << " " << block_size;
      EXPECT_EQ(failure->subject, path().native());
      EXPECT_EQ(failure->reason, not_plain_text);
    }
  }
}

TEST_F(ListReaderTest, FailsWhenTheListCannotBeOpenedOrRead) {
  reader_.emplace(file_system_, kListBlockSize);
  std::optional<Failure> failure = reader_->open(dir_.path() / "missing.txt");
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->subject, (dir_.path() / "missing.txt").native());
  EXPECT_EQ(failure->reason, "No such file or directory");

  // A read within the judged start fails the opening; a later one fails its block.
  const std::string list(2 * kJudgedStartSize, '1');
  file_system_.fail_reads_after(kJudgedStartSize - 1);
  failure = open(list, 7);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->reason, "Input/output error");

  file_system_.fail_reads_after(kJudgedStartSize);
  ASSERT_EQ(open(list, kListBlockSize), std::nullopt);
  EXPECT_EQ(reader_->next_block().text, std::string(kJudgedStartSize, '1'));
  const ListBlock block = reader_->next_block();
  ASSERT_TRUE(block.failure.has_value());
  EXPECT_EQ(block.failure->subject, path().native());
  EXPECT_EQ(block.failure->reason, "Input/output error");
}

constexpr std::string_view kNotPlainText =
    "is not plain text, perhaps a spreadsheet or word-processor file; save it as UTF-8 or "
    "Unicode text";

// The text of `bytes`, read as a list as extract_phone_numbers reads one; or the reason it was
// refused; or "a ZIP archive", "a compound file".
std::string decoded(const std::string& bytes) {
  test_support::ScopedTempDir dir;
  write_file(dir.path() / "list", bytes);
  FileSystem files;
  ListReader list(files, kListBlockSize,
                  {.zip_archives = true, .compound_files = true, .big5 = true});
  if (const std::optional<Failure> failure = list.open(dir.path() / "list")) {
    return failure->reason;
  }
  if (list.zip_archive()) {
    return "a ZIP archive";
  }
  if (list.compound_file()) {
    return "a compound file";
  }
  std::string text;
  for (ListBlock block = list.next_block(); !block.text.empty(); block = list.next_block()) {
    text += block.text;
  }
  return text;
}

TEST(ListReaderFormatsTest, ReadsUtf8Utf16AndBig5ByTheirBytesAndHandsOnAZipArchiveOrCompoundFile) {
  const std::string a64k(kJudgedUtf8Size, 'a');
  const struct {
    std::string bytes;
    std::string text;
  } rows[] = {
      {"\xEF\xBB\xBF"
       "0912\xE7\x8E\x8B",
       "0912\xE7\x8E\x8B"},
      {std::string("\xFF\xFE"
                   "0\x00\x8B\x73",
                   6),
       "0\xE7\x8E\x8B"},
      {std::string("\xFE\xFF\x00"
                   "0\x73\x8B",
                   6),
       "0\xE7\x8E\x8B"},
      {"\xA4\xA4\xA4\xE5 0912\r\n\xFF", "\xE4\xB8\xAD\xE6\x96\x87 0912\r\n\xEF\xBF\xBD"},
      {"0912\xA4", "0912\xEF\xBF\xBD"},
      {a64k + "\xA4\xA4", a64k + "\xE4\xB8\xAD"},  // a regular file is judged whole
      {a64k.substr(1) + "\xE4\xB8\xAD", a64k.substr(1) + "\xE4\xB8\xAD"},
      {a64k.substr(1) + "\xA4\xA4", a64k.substr(1) + "\xE4\xB8\xAD"},
      {std::string("0912\0", 5), std::string(kNotPlainText)},
      {std::string("\xFF\xFE\x00\x00", 4), std::string(kNotPlainText)},
      {std::string("PK\3\4\x14\0\0\0", 8), "a ZIP archive"},
      {std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0", 9), "a compound file"},
      {std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\0", 8), std::string(kNotPlainText)},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(decoded(row.bytes), row.text) << row.bytes.substr(0, 16);
  }
}

}  // namespace

#include "list_reader.h"

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

}  // namespace

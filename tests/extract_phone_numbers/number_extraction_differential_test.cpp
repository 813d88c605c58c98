// The numbers NumberExtraction takes out of random lines, against an independent model on
// python3-phonenumbers (tests/phone_number_peer.py): the same mobile numbers in the same order.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "extract_phone_numbers/number_extraction.h"
#include "extract_phone_numbers/phone_number_finder.h"
#include "test_support.h"

namespace {

// The pieces random lines are made of: names, numbers in every form lists have them in,
// what stands between them, and what looks like a number but is none.
constexpr std::array<std::string_view, 44> kPieces = {
    "\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E",
    "Alice",
    "abc",
    "x",
    "ext",
    "#",
    "(",
    ")",
    "/",
    "-",
    ".",
    "+",
    ":",
    ",",
    ";",
    "|",
    " ",
    "  ",
    "\t",
    "\xC2\xA0",
    "\xE3\x80\x80",
    "\xE3\x80\x81",
    "\xEF\xBC\x8C",
    "\xEF\xBC\x9B",
    "\x01",
    "%",
    "$",
    "0912 345 678",
    "0912-345-678",
    "+886 912 345 678",
    "886912345678",
    "(02)2345-6789",
    "02-2345-6789",
    "\xEF\xBC\x90\xEF\xBC\x99\xEF\xBC\x91\xEF\xBC\x92\xEF\xBC\x93\xEF\xBC\x94\xEF\xBC\x95"
    "\xEF\xBC\x96\xEF\xBC\x97\xEF\xBC\x98",
    "+1 415 555 2671",
    "4155552671",
    "9.16796E+08",
    "2026/12/01",
    "15:04",
    "TEL;CELL:",
    "\xE2\x80\x8B",
    "(0912)345678",
    "0800-000-123",
    "+44 20 7946 0958"};

// A random line: pieces, random digits (a mobile number, a number without its leading 0, or
// any run of 1 to 16) between them.
std::string random_line(std::mt19937& random) {
  std::string line;
  const int parts = std::uniform_int_distribution(0, 8)(random);
  for (int part = 0; part < parts; ++part) {
    const int kind = std::uniform_int_distribution(0, 3)(random);
    if (kind > 0) {
      line += kPieces[std::uniform_int_distribution<std::size_t>(0, kPieces.size() - 1)(random)];
      continue;
    }
    const int prefix = std::uniform_int_distribution(0, 2)(random);
    line += prefix == 0 ? "09" : prefix == 1 ? "9" : "";
    const int digits =
        std::uniform_int_distribution(prefix < 2 ? 8 : 1, prefix < 2 ? 8 : 16)(random);
    for (int digit = 0; digit < digits; ++digit) {
      line += static_cast<char>('0' + std::uniform_int_distribution(0, 9)(random));
    }
  }
  return line;
}

// A number cell's value: a mobile without its 0, one with Taiwan's country code, or any.
std::string random_number_cell(std::mt19937& random) {
  const std::string mobile =
      std::to_string(std::uniform_int_distribution(900000000, 999999999)(random));
  const int kind = std::uniform_int_distribution(0, 2)(random);
  return kind == 0   ? mobile
         : kind == 1 ? "886" + mobile
                     : std::to_string(std::uniform_int_distribution<std::int64_t>(
                           1, 9999999999999999)(random));
}

std::string peer_numbers(std::string_view region, const std::filesystem::path& lines) {
  const std::string command = std::string("/usr/bin/python3 ") + PHONE_NUMBER_PEER + " " +
                              std::string(region) + " " + lines.string();
  FILE* peer = ::popen(command.c_str(), "r");
  std::string numbers;
  std::array<char, 4096> buffer{};
  for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), peer)) > 0;) {
    numbers.append(buffer.data(), got);
  }
  EXPECT_EQ(::pclose(peer), 0) << command;
  return numbers;
}

TEST(NumberExtractionDifferentialTest, TakesTheNumbersThePeerTakesFromRandomLines) {
  if (std::system("/usr/bin/python3 -c 'import phonenumbers' 2>/dev/null") != 0) {
    GTEST_SKIP() << "needs /usr/bin/python3 with python3-phonenumbers";
  }
  test_support::ScopedTempDir dir;
  for (const std::string_view region : {"TW", "US", "SG", "DE"}) {
    std::mt19937 random(20261209);
    std::string lines;
    const PhoneNumberFinder finder(region);
    std::ostringstream notes;
    NumberExtraction extraction(finder, notes);
    extraction.begin_source("lines.txt");
    for (int line = 0; line < 3000; ++line) {
      // Every fifth line a spreadsheet's number cell, "#=" and its value for the peer.
      const std::string text = line % 5 == 4 ? random_number_cell(random) : random_line(random);
      if (line % 5 == 4) {
        extraction.add_number_cell(text);
        extraction.end_line("A1");
      } else {
        extraction.add_lines(text + (line % 3 == 0 ? "\r\n" : "\n"));
      }
      lines += (line % 5 == 4 ? "#=" : "") + text + (line % 3 == 0 ? "\r\n" : "\n");
    }
    test_support::write_file(dir.path() / "lines.txt", lines);
    extraction.end_source();
    EXPECT_EQ(test_support::joined(extraction.take_new_numbers()),
              peer_numbers(region, dir.path() / "lines.txt"))
        << region;
  }
}

}  // namespace

// The program extract_phone_numbers: reads its command line, takes the phone numbers out of
// each file named there (or standard input) and writes them on standard output, one a line:
// the mobile numbers, or with --all every valid one.

#include <unistd.h>

#include <iostream>
#include <string_view>
#include <vector>

#include "core/file_system.h"
#include "core/message_catalog.h"
#include "extract_phone_numbers/extraction_options.h"
#include "extract_phone_numbers/extraction_run.h"
#include "extract_phone_numbers/number_extraction.h"
#include "extract_phone_numbers/phone_number_finder.h"

namespace {

// One catalog for the package: both programs' reasons are change_utf8.mo.
constexpr const char* kTextDomain = "change_utf8";

constexpr std::string_view kHelp =
    "Usage: extract_phone_numbers [--region=CC] [--all] [FILE]...\n"
    "Write every mobile number found in each FILE on standard output, one a line, each\n"
    "number once, in the form a phone in the region dials it: the list for a group text\n"
    "message, which reaches only mobiles. Other numbers (landlines, toll-free, ...) are\n"
    "left out and named on standard error. A cell of digits that lost its leading 0 (the\n"
    "national prefix) is taken only when it makes a mobile number, and noted with the\n"
    "prefix it lacked. A spreadsheet's number cells are read as numbers, not as text;\n"
    "its dates and times are never searched.\n"
    "With no FILE, or when FILE is -, read standard input.\n"
    "\n"
    "  --region=CC  read numbers as written in the country CC (two letters, such as TW or\n"
    "               US); by default, the country of the locale (LC_TELEPHONE), else TW\n"
    "  --all        write every valid number found, not only mobile numbers\n"
    "  --help       display this help and exit\n"
    "  --version    output version information and exit\n"
    "\n"
    "Files may be UTF-8, UTF-16 with its byte-order mark, or Big5 (code page 950).\n"
    "Exit status: 0 when every file was read and a number written, 1 otherwise, 2 for a\n"
    "wrong command line. Then give the numbers to change_utf8.\n";

constexpr std::string_view kVersion = "extract_phone_numbers (change_utf8) " CHANGE_UTF8_VERSION
                                      "\n"
                                      "Copyright (C) 2026 Kestrin\n"
                                      "License MIT.\n";

int usage_error(const std::string& reason) {
  write_note(std::cerr, {"", reason});
  std::cerr << "Try 'extract_phone_numbers --help' for more information.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  use_the_users_language(kTextDomain, CHANGE_UTF8_LOCALEDIR_FROM_BINDIR, CHANGE_UTF8_LOCALEDIR);
  std::ios::sync_with_stdio(false);
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const ExtractionOptions options =
      read_extraction_options(arguments, region_of_locale(telephone_locale_name()));
  if (options.usage_error) {
    return usage_error(*options.usage_error);
  }
  if (options.help || options.version) {
    std::cout << (options.help ? kHelp : kVersion) << std::flush;
    return std::cout ? 0 : 1;
  }
  FileSystem files;
  const PhoneNumberFinder finder(options.region);
  NumberExtraction extraction(finder, std::cerr,
                              options.all ? NumbersWritten::All : NumbersWritten::Mobiles);
  return extract_from_files(options.files, files, STDOUT_FILENO, extraction, std::cerr);
}

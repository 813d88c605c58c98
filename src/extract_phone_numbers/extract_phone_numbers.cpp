// The program extract_phone_numbers: reads its command line, takes the phone numbers out of
// each file named there (or standard input) and writes them on standard output, one a line:
// the mobile numbers, or with --all every valid one.

#include <execinfo.h>
#include <unistd.h>

#include <iostream>
#include <new>
#include <string>
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

// The text of --help in the user's language: what the program does, the kinds of files it
// reads, the way from a spreadsheet to the phone, the options and the exit status.
std::string help_text() {
  const char* const paragraphs[] = {
      catalog::gettext(
          // TRANSLATORS: the help of extract_phone_numbers, each line at most 80 columns (a
          // Chinese character takes two).
          "Usage: extract_phone_numbers [--region=CC] [--all] [FILE]...\n"
          "Write the mobile numbers found in each FILE on standard output, one a line, each\n"
          "once, as a phone in the region dials them: the list that change_utf8 makes into\n"
          "group files for a group text message, which reaches only mobiles.\n"
          "With no FILE, or when FILE is -, read standard input (a file, not a terminal).\n"),
      catalog::gettext(
          // TRANSLATORS: the help of extract_phone_numbers: the kinds of files it reads.
          "\n"
          "FILE may be an Excel workbook (.xlsx or .xls), an .ods spreadsheet, a CSV file, a\n"
          "vCard (.vcf), a Word .docx (or .odt) document, or text in UTF-8, Unicode (UTF-16)\n"
          "or Big5. Give a spreadsheet as it was saved, not as CSV: every digit of its\n"
          "number cells is read. Hidden sheets, rows and columns (but in an .xls) are\n"
          "skipped, and named on standard error; dates are not read.\n"),
      catalog::gettext(
          // TRANSLATORS: the help of extract_phone_numbers: the two commands from a spreadsheet
          // to the group files, with the names of files a user of your language would type.
          "\n"
          "From a spreadsheet to the phone:\n"
          "  extract_phone_numbers names.xlsx > names.txt\n"
          "  change_utf8                  (answer 500, then names.txt)\n"),
      catalog::gettext(
          // TRANSLATORS: the help of extract_phone_numbers: its options and exit status.
          "\n"
          "  --region=CC  read numbers as written in the country CC (two letters, such as TW\n"
          "               or US); by default, the country of the locale (LC_TELEPHONE), else TW\n"
          "  --all        write every valid number found; without it only mobile numbers are\n"
          "               written, and the others (landlines, toll-free, ...) are named on\n"
          "               standard error\n"
          "  --help       display this help and exit\n"
          "  --version    output version information and exit\n"
          "\n"
          "Exit status: 0 when every file was read and a number written, 1 otherwise, 2 for a\n"
          "wrong command line. The manual: man extract_phone_numbers\n"),
  };
  std::string help;
  for (const char* paragraph : paragraphs) {
    help += paragraph;
  }
  return help;
}

// The text of --version in the user's language.
std::string version_text() {
  return std::string("extract_phone_numbers (change_utf8) " CHANGE_UTF8_VERSION
                     "\n"
                     "Copyright (C) 2026 Kestrin\n") +
         // TRANSLATORS: the help of extract_phone_numbers: the license line of --version.
         catalog::gettext("License MIT.\n");
}

// Loads the unwinder of the C library's own frames now. It is loaded on first use, which fails
// when memory has run out: a std::bad_alloc thrown then through such a frame (the
// pthread_once in which libphonenumber loads its metadata) would end the program. backtrace(3)
// loads it.
void load_unwinder() {
  void* frame = nullptr;
  ::backtrace(&frame, 1);
}

// Takes the numbers out of the files the options name.
int extract_numbers(const ExtractionOptions& options) {
  FileSystem files;
  const PhoneNumberFinder finder(options.region);
  NumberExtraction extraction(finder, std::cerr,
                              options.all ? NumbersWritten::All : NumbersWritten::Mobiles);
  return extract_from_files(options.files, files, STDOUT_FILENO, extraction, std::cerr);
}

int usage_error(const std::string& reason) {
  write_note(std::cerr, {"", reason});
  std::cerr << catalog::gettext("Try 'extract_phone_numbers --help' for more information.") << '\n';
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
    std::cout << (options.help ? help_text() : version_text()) << std::flush;
    return std::cout ? 0 : 1;
  }
  load_unwinder();
  // Memory running out before the first file is read leaves that file unread. (Once reading
  // has begun, extract_from_files notes the file being read.)
  try {
    return extract_numbers(options);
  } catch (const std::bad_alloc&) {
    write_note(std::cerr, FileSystem::out_of_memory(shown_file_name(
                              options.files.empty() ? "-" : options.files.front())));
    return 1;
  }
}

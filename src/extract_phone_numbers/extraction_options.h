#ifndef CHANGE_UTF8_EXTRACTION_OPTIONS_H_
#define CHANGE_UTF8_EXTRACTION_OPTIONS_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What extract_phone_numbers was asked to do by its command line.
struct ExtractionOptions {
  std::string region;                      // two upper-case letters that libphonenumber knows
  std::vector<std::string> files;          // as given; "-" is standard input; none: standard input
  bool all = false;                        // --all: not only mobile numbers
  bool help = false;                       // --help
  bool version = false;                    // --version
  std::optional<std::string> usage_error;  // why the command line is wrong, in words
};

// The region that the locale named `locale_name` (zh_TW.UTF-8, en_US, C) stands for: its
// territory, upper-cased, when libphonenumber knows it; TW otherwise (the C and POSIX
// locales, no locale).
std::string region_of_locale(std::string_view locale_name);

// The name of the locale that selects LC_TELEPHONE in the environment: LC_ALL, else
// LC_TELEPHONE, else LANG, the first that is set and not empty; empty when none is.
std::string telephone_locale_name();

// Reads `arguments` (without the program's name): --region=CC or --region CC (two letters,
// any case), --all, --help, --version, -- (only files follow), and files. The region defaults to
// `default_region`. A wrong option or region sets usage_error.
ExtractionOptions read_extraction_options(std::span<const std::string_view> arguments,
                                          std::string_view default_region);

#endif  // CHANGE_UTF8_EXTRACTION_OPTIONS_H_

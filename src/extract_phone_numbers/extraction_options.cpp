#include "extract_phone_numbers/extraction_options.h"

#include <cstdlib>

#include "core/message_catalog.h"
#include "core/notes.h"
#include "extract_phone_numbers/phone_number_finder.h"

namespace {

// Where no locale names a region: the program is made for lists from Taiwan.
constexpr std::string_view kFallbackRegion = "TW";
constexpr std::string_view kRegionOption = "--region";

// `letters` upper-cased, when they are two ASCII letters that libphonenumber knows as a
// region; nullopt otherwise.
std::optional<std::string> known_region(std::string_view letters) {
  if (letters.size() != 2) {
    return std::nullopt;
  }
  std::string region;
  for (const char letter : letters) {
    if (!((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z'))) {
      return std::nullopt;
    }
    region += static_cast<char>(letter >= 'a' ? letter - 'a' + 'A' : letter);
  }
  if (!PhoneNumberFinder::is_known_region(region)) {
    return std::nullopt;
  }
  return region;
}

// Takes `value` as the region of `options`, or says why it is none.
void take_region(std::string_view value, ExtractionOptions& options) {
  if (std::optional<std::string> region = known_region(value)) {
    options.region = *region;
  } else {
    options.usage_error =
        filled_in(catalog::gettext(
                      "'%s' is not a region; give the two letters of a country, such as TW or US"),
                  {value});
  }
}

}  // namespace

std::string region_of_locale(std::string_view locale_name) {
  const std::size_t underscore = locale_name.find('_');
  if (underscore != std::string_view::npos) {
    const std::string_view territory = locale_name.substr(underscore + 1, 2);
    const std::string_view after = locale_name.substr(underscore + 1 + territory.size());
    if (after.empty() || after[0] == '.' || after[0] == '@') {
      if (std::optional<std::string> region = known_region(territory)) {
        return *region;
      }
    }
  }
  return std::string(kFallbackRegion);
}

std::string telephone_locale_name() {
  for (const char* variable : {"LC_ALL", "LC_TELEPHONE", "LANG"}) {
    const char* value = std::getenv(variable);  // NOLINT(concurrency-mt-unsafe): one thread
    if (value != nullptr && *value != '\0') {
      return value;
    }
  }
  return {};
}

ExtractionOptions read_extraction_options(std::span<const std::string_view> arguments,
                                          std::string_view default_region) {
  ExtractionOptions options;
  options.region = default_region;
  bool only_files = false;
  for (std::size_t next = 0; next < arguments.size() && !options.usage_error; ++next) {
    const std::string_view argument = arguments[next];
    if (only_files || argument == "-" || !argument.starts_with('-')) {
      options.files.emplace_back(argument);
    } else if (argument == "--") {
      only_files = true;
    } else if (argument == "--all") {
      options.all = true;
    } else if (argument == "--help") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument.starts_with("--region=")) {
      take_region(argument.substr(kRegionOption.size() + 1), options);
    } else if (argument == kRegionOption && next + 1 < arguments.size()) {
      take_region(arguments[++next], options);
    } else if (argument == kRegionOption) {
      options.usage_error = catalog::gettext("option '--region' requires an argument");
    } else {
      options.usage_error = filled_in(catalog::gettext("unrecognized option '%s'"), {argument});
    }
  }
  return options;
}

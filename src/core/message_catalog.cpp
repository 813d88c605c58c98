#include "core/message_catalog.h"

#include <libintl.h>

#include <clocale>
#include <string>
#include <system_error>

namespace {

// The folder of the running program; empty when /proc/self/exe cannot be read.
std::filesystem::path running_program_folder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    return {};
  }
  return program.parent_path();
}

}  // namespace

bool holds_message_catalog(const std::filesystem::path& folder, std::string_view text_domain) {
  const std::string catalog_name = std::string(text_domain) + ".mo";
  std::error_code error;
  for (std::filesystem::directory_iterator language(folder, error), end; !error && language != end;
       language.increment(error)) {
    std::error_code not_there;
    if (std::filesystem::is_regular_file(language->path() / "LC_MESSAGES" / catalog_name,
                                         not_there)) {
      return true;
    }
  }
  return false;
}

std::filesystem::path choose_message_catalog_folder(
    std::string_view text_domain, const std::filesystem::path& program_folder,
    std::string_view locale_folder_from_program_folder,
    const std::filesystem::path& configured_folder) {
  if (program_folder.empty()) {
    return configured_folder;
  }
  std::filesystem::path beside_program =
      (program_folder / locale_folder_from_program_folder).lexically_normal();
  if (holds_message_catalog(beside_program, text_domain)) {
    return beside_program;
  }
  return configured_folder;
}

std::filesystem::path message_catalog_folder(std::string_view text_domain,
                                             std::string_view locale_folder_from_program_folder,
                                             const std::filesystem::path& configured_folder) {
  return choose_message_catalog_folder(text_domain, running_program_folder(),
                                       locale_folder_from_program_folder, configured_folder);
}

void use_the_users_language(const char* text_domain,
                            std::string_view locale_folder_from_program_folder,
                            const std::filesystem::path& configured_folder) {
  std::setlocale(LC_ALL, "");
  ::bindtextdomain(
      text_domain,
      message_catalog_folder(text_domain, locale_folder_from_program_folder, configured_folder)
          .c_str());
  // The console is UTF-8 by design: with LC_MESSAGES alone choosing a language, the texts
  // would otherwise come in ASCII, as question marks.
  ::bind_textdomain_codeset(text_domain, "UTF-8");
  ::bind_textdomain_codeset("libc", "UTF-8");  // the C library's own reasons
  ::textdomain(text_domain);
}

namespace catalog {

const char* gettext(const char* text) {
  const char* translation = ::gettext(text);
  return *translation != '\0' ? translation : text;
}

const char* ngettext(const char* singular, const char* plural, unsigned long count) {
  const char* translation = ::ngettext(singular, plural, count);
  if (*translation != '\0') {
    return translation;
  }
  return count == 1 ? singular : plural;
}

}  // namespace catalog

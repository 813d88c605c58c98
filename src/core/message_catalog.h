#ifndef CHANGE_UTF8_MESSAGE_CATALOG_H_
#define CHANGE_UTF8_MESSAGE_CATALOG_H_

#include <filesystem>
#include <string_view>

// True when `folder` holds a message catalog of `text_domain` in some language, that is a
// regular file (or a link to one) <folder>/<language>/LC_MESSAGES/<text_domain>.mo. False
// when the folder is missing or cannot be read.
bool holds_message_catalog(const std::filesystem::path& folder, std::string_view text_domain);

// The folder to bind `text_domain` to: the locale folder reached from the running program's
// own folder by `locale_folder_from_program_folder` (an installation under any prefix, or the
// build folder, which has the same layout) when it holds a catalog of the domain; otherwise
// `configured_folder`, the folder the program was built to be installed with, so that a copy
// of the program made elsewhere still finds the installed catalogs. The configured folder is
// also the answer when the program's own path (/proc/self/exe) cannot be read.
std::filesystem::path message_catalog_folder(std::string_view text_domain,
                                             std::string_view locale_folder_from_program_folder,
                                             const std::filesystem::path& configured_folder);

// As above, with the program's own folder given: the choice made by message_catalog_folder,
// for a program whose folder is `program_folder` (empty when unknown).
std::filesystem::path choose_message_catalog_folder(
    std::string_view text_domain, const std::filesystem::path& program_folder,
    std::string_view locale_folder_from_program_folder,
    const std::filesystem::path& configured_folder);

// Takes the whole locale from the environment (LC_ALL, LC_MESSAGES, LANG, LANGUAGE), so that
// the reasons on standard error, the C library's and the program's own, are in the user's
// language, in UTF-8 whatever LC_CTYPE says; and makes `text_domain`, bound to
// message_catalog_folder, the domain of gettext. The C++ streams keep the classic locale.
void use_the_users_language(const char* text_domain,
                            std::string_view locale_folder_from_program_folder,
                            const std::filesystem::path& configured_folder);

// The program's texts in the user's language, looked up in the catalog of the current text
// domain. A text the catalog lacks, or gives as empty (as a catalog cut short does), stays as
// written in the source, in English: a reason is never lost.
namespace catalog {
const char* gettext(const char* text);
// The form of `singular` or `plural` for `count`, by the catalog's plural rule.
const char* ngettext(const char* singular, const char* plural, unsigned long count);
}  // namespace catalog

#endif  // CHANGE_UTF8_MESSAGE_CATALOG_H_

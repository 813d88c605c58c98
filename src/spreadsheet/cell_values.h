#ifndef CHANGE_UTF8_CELL_VALUES_H_
#define CHANGE_UTF8_CELL_VALUES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The size of a sheet: a cell beyond it is none a sheet can hold.
inline constexpr std::int64_t kMaxColumns = 16384;
inline constexpr std::int64_t kMaxRows = 1048576;

// A number cell's exact value as its text: an integral value in decimal digits, without sign
// for 0, exponent, fraction or leading zeros ("9.12345678E8" gives "912345678", "-0.0" gives
// "0"); any other ("1.5", "-2.50E-1"), an integral one of more digits than a double's largest
// ("1E400"), and anything that is no number, as it stands.
std::string exact_number_text(std::string_view value);

// Whether an .xlsx number format shows a number as a date or a time: when the workbook writes
// its `code`, whether that writes y, m, d, h or s, in either case, outside quoted text, brackets
// ("[Red]", "[$-404]") and the character after \, _ or *; else whether `id` is a built-in
// date or time format: 14 to 22 and 45 to 47, and those of the East Asian versions, 27 to 36
// and 50 to 58.
bool is_date_number_format(std::int64_t id, std::optional<std::string_view> code);

// An .xlsx text with the escapes of characters that XML cannot hold, or that would be taken
// for such an escape, unescaped: "_x000D_" is a carriage return, "_x005F_" an underscore. An
// escape of a surrogate ("_xD83D_"), and anything short of four hex digits between "_x" and
// "_", stays as it stands.
std::string unescaped_xlsx_text(std::string_view text);

// The A1-style reference of a cell: column letters, then the row number ("B7" for column 2,
// row 7).
std::string cell_reference(std::int64_t column, std::int64_t row);

// The column of an A1-style reference, read from its first capital letters, at most three ("B7"
// gives 2); nullopt when there is none, no capital letter first, or one beyond kMaxColumns.
std::optional<std::int64_t> column_of(std::optional<std::string_view> reference);

// `text` as a whole number from 1 to `most`, all of it decimal digits; nullopt when there is
// none, or it is anything else.
std::optional<std::int64_t> counting_number(std::optional<std::string_view> text,
                                            std::int64_t most);

// How many rows or columns an .ods run stands for, of at most `most` that a sheet has: 1 when
// `count` is missing or no counting number.
std::int64_t repeat_count(std::optional<std::string_view> count, std::int64_t most);

#endif  // CHANGE_UTF8_CELL_VALUES_H_

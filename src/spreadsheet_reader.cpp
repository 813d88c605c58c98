#include "spreadsheet_reader.h"

#include <expat.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "message_catalog.h"
#include "zip_archive.h"

namespace {

// The bytes of a part unpacked and parsed at a time.
constexpr int kChunkSize = 64 * 1024;

// A row holds at most this much text, copies by repetition included.
constexpr std::size_t kMaxRowTextBytes = std::size_t{16} << 20;
// Repetition makes at most this many cells over the file, beyond those the file writes.
constexpr std::int64_t kMaxRepeatedCells = std::int64_t{1} << 20;
// The size of a sheet: an .ods run repeated past it holds no cell.
constexpr std::int64_t kMaxColumns = 16384;
constexpr std::int64_t kMaxRows = 1048576;
// An integral number with more digits than a double's largest is left as the file writes it.
constexpr std::int64_t kMaxIntegralDigits = 309;

constexpr std::string_view kOdsSpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";
constexpr std::string_view kOpenDocumentType = "application/vnd.oasis.opendocument.";

// The name of an element or attribute without its namespace prefix: the files bind their
// prefixes as they like, and no two names the reader looks for differ only by namespace.
std::string_view local_name(const XML_Char* name) {
  const std::string_view whole(name);
  const std::size_t colon = whole.rfind(':');
  return colon == std::string_view::npos ? whole : whole.substr(colon + 1);
}

// The value of the attribute named `name` (without prefix); nullopt when there is none.
std::optional<std::string_view> attribute(const XML_Char** attributes, std::string_view name) {
  for (const XML_Char** pair = attributes; *pair != nullptr; pair += 2) {
    if (local_name(pair[0]) == name) {
      return std::string_view(pair[1]);
    }
  }
  return std::nullopt;
}

// `text` as a whole number from 1 to `most`; nullopt when it is none.
std::optional<std::int64_t> counting_number(std::optional<std::string_view> text,
                                            std::int64_t most) {
  std::int64_t number = 0;
  if (!text || text->empty()) {
    return std::nullopt;
  }
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
  if (error != std::errc() || end != text->data() + text->size() || number < 1 || number > most) {
    return std::nullopt;
  }
  return number;
}

// How many rows or columns an .ods run stands for, of at most `most` that a sheet has: 1
// when `count` is missing or malformed.
std::int64_t repeat_count(std::optional<std::string_view> count, std::int64_t most) {
  return std::min(counting_number(count, std::numeric_limits<std::int64_t>::max()).value_or(1),
                  most);
}

// "B7" for column 2, row 7.
std::string cell_reference(std::int64_t column, std::int64_t row) {
  std::string letters;
  for (std::int64_t left = column; left > 0; left = (left - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('A' + (left - 1) % 26));
  }
  return letters + std::to_string(row);
}

// The column of an A1-style reference ("B7" gives 2); nullopt when it names none of a sheet.
std::optional<std::int64_t> column_of(std::optional<std::string_view> reference) {
  if (!reference) {
    return std::nullopt;
  }
  std::int64_t column = 0;
  std::size_t letters = 0;
  for (; letters < reference->size() && (*reference)[letters] >= 'A' &&
         (*reference)[letters] <= 'Z' && letters < 3;
       ++letters) {
    column = column * 26 + ((*reference)[letters] - 'A' + 1);
  }
  if (letters == 0 || column > kMaxColumns) {
    return std::nullopt;
  }
  return column;
}

// Takes the leading ASCII digits off `text` and returns them.
std::string_view take_digits(std::string_view& text) {
  std::size_t count = 0;
  while (count < text.size() && text[count] >= '0' && text[count] <= '9') {
    ++count;
  }
  const std::string_view digits = text.substr(0, count);
  text.remove_prefix(count);
  return digits;
}

// The decimal exponent at the start of `text` ("E8", "e-03"), taken off; 0 when there is
// none, nullopt when it is malformed or too large to mean a cell's value.
std::optional<std::int64_t> take_exponent(std::string_view& text) {
  if (text.empty() || (text[0] != 'E' && text[0] != 'e')) {
    return 0;
  }
  text.remove_prefix(1);
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    text.remove_prefix(1);
  }
  const std::string_view digits = take_digits(text);
  std::int64_t exponent = 0;
  if (digits.empty() || digits.size() > 4) {
    return std::nullopt;
  }
  std::from_chars(digits.data(), digits.data() + digits.size(), exponent);
  return negative ? -exponent : exponent;
}

// A number cell's exact value as its text: an integral value in decimal digits, without sign
// for 0, exponent, fraction or leading zeros ("9.12345678E8" gives "912345678"); any other,
// and anything that is no number, as it stands.
std::string exact_number_text(std::string_view value) {
  std::string_view rest = value;
  const bool negative = !rest.empty() && rest[0] == '-';
  if (!rest.empty() && (rest[0] == '-' || rest[0] == '+')) {
    rest.remove_prefix(1);
  }
  const std::string_view whole = take_digits(rest);
  std::string_view fraction;
  if (!rest.empty() && rest[0] == '.') {
    rest.remove_prefix(1);
    fraction = take_digits(rest);
  }
  const std::optional<std::int64_t> exponent = take_exponent(rest);
  if (!exponent || !rest.empty() || (whole.empty() && fraction.empty())) {
    return std::string(value);
  }
  const std::int64_t point = static_cast<std::int64_t>(whole.size()) + *exponent;
  if (point > kMaxIntegralDigits) {
    return std::string(value);
  }
  const std::string digits = std::string(whole).append(fraction);
  const auto integral_size = static_cast<std::size_t>(std::max<std::int64_t>(point, 0));
  if (digits.find_first_not_of('0', std::min(integral_size, digits.size())) != std::string::npos) {
    return std::string(value);  // not integral
  }
  std::string integral = digits.substr(0, integral_size);
  integral.append(integral_size - integral.size(), '0');
  integral.erase(0, std::min(integral.find_first_not_of('0'), integral.size()));
  if (integral.empty()) {
    return "0";
  }
  return negative ? "-" + integral : integral;
}

// Why a row is refused when it would hold more than kMaxRowTextBytes of text.
const char* row_too_large() {
  return catalog::gettext("its part %s holds a row of more than 16 MiB of text; it is not read");
}

// The UTF-8 bytes of `code_point`, below U+10000.
void append_utf8(std::uint32_t code_point, std::string& text) {
  if (code_point < 0x80) {
    text += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    text += static_cast<char>(0xC0 | (code_point >> 6));
    text += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (code_point >> 12));
    text += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

// An .xlsx text with the characters that XML cannot hold, or that would be taken for such an
// escape, unescaped: "_x000D_" is a carriage return, "_x005F_" an underscore. A surrogate's
// escape stays as it stands.
std::string unescaped_xlsx_text(std::string_view text) {
  std::string plain;
  std::size_t done = 0;
  for (std::size_t mark = text.find("_x"); mark != std::string_view::npos;
       mark = text.find("_x", mark + 1)) {
    std::uint32_t code_point = 0;
    const char* digits = text.data() + mark + 2;
    if (mark < done || text.size() - mark < 7 || text[mark + 6] != '_' ||
        std::from_chars(digits, digits + 4, code_point, 16).ptr != digits + 4 ||
        (code_point >= 0xD800 && code_point < 0xE000)) {
      continue;
    }
    plain.append(text.substr(done, mark - done));
    append_utf8(code_point, plain);
    done = mark + 7;
  }
  return done == 0 ? std::string(text) : plain.append(text.substr(done));
}

// What an XML part's content asks of the parse after each event.
enum class Reaction {
  Go,     // parse on
  Pause,  // a row is complete: stop here until asked for the next
  Stop,   // the part is refused (stop_reason says why)
};

// What an XML part holds, told event by event, names without their prefixes.
class XmlContent {
 public:
  XmlContent() = default;
  virtual ~XmlContent() = default;
  XmlContent(const XmlContent&) = delete;
  XmlContent& operator=(const XmlContent&) = delete;

  virtual Reaction start(std::string_view name, const XML_Char** attributes) = 0;
  virtual Reaction end(std::string_view name) = 0;
  virtual Reaction text(std::string_view text) = 0;

  // Why the content stopped the parse: a text with one %s for the part's name.
  [[nodiscard]] const char* stop_reason() const { return stop_reason_; }
  void clear_stop_reason() { stop_reason_ = nullptr; }

 protected:
  Reaction stop(const char* reason) {
    stop_reason_ = reason;
    return Reaction::Stop;
  }

 private:
  const char* stop_reason_ = nullptr;
};

// How far a parse got.
enum class Progress { Paused, Ended, Failed };

// One XML part of the archive at a time, unpacked and parsed in chunks into its content,
// pausing where the content asks and resuming from there.
class XmlStream {
 public:
  // Reads parts of `archive`, naming the file `file_name` in failures; both must outlive it.
  XmlStream(ZipArchive& archive, const std::string& file_name)
      : archive_(archive), file_name_(file_name) {}
  ~XmlStream() { free_parser(); }
  XmlStream(const XmlStream&) = delete;
  XmlStream& operator=(const XmlStream&) = delete;

  // Begins the part `member`, told to `content`, which must outlive the parse.
  [[nodiscard]] std::optional<Failure> open(const std::string& member, XmlContent& content) {
    free_parser();
    member_ = member;
    content_ = &content;
    content.clear_stop_reason();
    suspended_ = false;
    final_ = false;
    failure_.reset();
    parser_ = XML_ParserCreate(nullptr);
    if (parser_ == nullptr) {
      return FileSystem::out_of_memory(file_name_);
    }
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, on_start, on_end);
    XML_SetCharacterDataHandler(parser_, on_text);
    return archive_.open_member(member);
  }

  // Parses on until the content pauses, the part ends, or it fails (failure() says why).
  [[nodiscard]] Progress advance() {
    if (failure_) {
      return Progress::Failed;
    }
    XML_Status status = XML_STATUS_OK;
    if (suspended_) {
      suspended_ = false;
      status = XML_ResumeParser(parser_);
    }
    while (status == XML_STATUS_OK && !final_) {
      void* buffer = XML_GetBuffer(parser_, kChunkSize);
      if (buffer == nullptr) {
        return fail(FileSystem::out_of_memory(file_name_));
      }
      ZipRead got = archive_.read(std::span(static_cast<char*>(buffer), kChunkSize));
      if (got.failure) {
        return fail(std::move(*got.failure));
      }
      final_ = got.size == 0;
      status = XML_ParseBuffer(parser_, static_cast<int>(got.size), final_ ? XML_TRUE : XML_FALSE);
    }
    if (status == XML_STATUS_SUSPENDED) {
      suspended_ = true;
      return Progress::Paused;
    }
    return status == XML_STATUS_ERROR ? fail(parse_failure()) : Progress::Ended;
  }

  // Parses the whole part `member` into `content`.
  [[nodiscard]] std::optional<Failure> read_whole(const std::string& member, XmlContent& content) {
    if (std::optional<Failure> failure = open(member, content)) {
      return failure;
    }
    Progress progress = Progress::Paused;
    while (progress == Progress::Paused) {
      progress = advance();
    }
    return failure_;
  }

  // Why the last advance failed.
  [[nodiscard]] const std::optional<Failure>& failure() const { return failure_; }

 private:
  static void XMLCALL on_start(void* stream, const XML_Char* name, const XML_Char** attributes) {
    auto* self = static_cast<XmlStream*>(stream);
    self->react(self->content_->start(local_name(name), attributes));
  }
  static void XMLCALL on_end(void* stream, const XML_Char* name) {
    auto* self = static_cast<XmlStream*>(stream);
    self->react(self->content_->end(local_name(name)));
  }
  static void XMLCALL on_text(void* stream, const XML_Char* text, int length) {
    auto* self = static_cast<XmlStream*>(stream);
    self->react(self->content_->text(std::string_view(text, static_cast<std::size_t>(length))));
  }

  void react(Reaction reaction) {
    if (reaction != Reaction::Go) {
      XML_StopParser(parser_, reaction == Reaction::Pause ? XML_TRUE : XML_FALSE);
    }
  }

  Failure parse_failure() const {
    if (content_->stop_reason() != nullptr) {
      return member_failure(file_name_, content_->stop_reason(), member_);
    }
    if (XML_GetErrorCode(parser_) == XML_ERROR_NO_MEMORY) {
      return FileSystem::out_of_memory(file_name_);
    }
    return member_failure(file_name_, catalog::gettext("its part %s is not well-formed XML"),
                          member_);
  }

  Progress fail(Failure failure) {
    failure_ = std::move(failure);
    return Progress::Failed;
  }

  void free_parser() {
    if (parser_ != nullptr) {
      XML_ParserFree(parser_);
      parser_ = nullptr;
    }
  }

  ZipArchive& archive_;
  const std::string& file_name_;
  std::string member_;
  XmlContent* content_ = nullptr;
  XML_Parser parser_ = nullptr;
  bool suspended_ = false;
  bool final_ = false;  // the last chunk has been given to the parser
  std::optional<Failure> failure_;
};

// The row being read and then handed out, with the copies of it that repetition makes.
class RowBuilder {
 public:
  void begin(std::int64_t number) {
    number_ = number;
    cells_.clear();
    columns_.clear();
    bytes_ = 0;
    copies_left_ = 0;
    cell_.clear();
  }

  void begin_cell() { cell_.clear(); }

  // Adds to the cell being read. False when the row would hold too much text.
  [[nodiscard]] bool add_text(std::string_view text) {
    if (text.size() > kMaxRowTextBytes - bytes_ - cell_.size()) {
      return false;
    }
    cell_.append(text);
    return true;
  }
  [[nodiscard]] bool add_spaces(std::int64_t count) {
    if (static_cast<std::uint64_t>(count) > kMaxRowTextBytes - bytes_ - cell_.size()) {
      return false;
    }
    cell_.append(static_cast<std::size_t>(count), ' ');
    return true;
  }
  [[nodiscard]] const std::string& cell_text() const { return cell_; }

  // Ends the cell being read: `text` stands in `count` cells side by side from `column` on
  // (none when it is empty). Returns why the row is refused, or nullptr.
  [[nodiscard]] const char* end_cell(std::int64_t column, std::string_view text,
                                     std::int64_t count) {
    if (text.empty()) {
      return nullptr;
    }
    if (const char* reason = count_copies(count - 1)) {
      return reason;
    }
    if (text.size() > (kMaxRowTextBytes - bytes_) / static_cast<std::size_t>(count)) {
      return row_too_large();
    }
    for (std::int64_t copy = 0; copy < count; ++copy) {
      cells_.push_back({cell_reference(column + copy, number_), std::string(text)});
      columns_.push_back(column + copy);
    }
    bytes_ += text.size() * static_cast<std::size_t>(count);
    return nullptr;
  }

  // Makes the row stand for `count` rows, one under the other. Returns why that is refused,
  // or nullptr.
  [[nodiscard]] const char* repeat(std::int64_t count) {
    const std::int64_t copies = count - 1;
    if (copies > 0 && copies > kMaxRepeatedCells / static_cast<std::int64_t>(cells_.size())) {
      return count_copies(kMaxRepeatedCells + 1);
    }
    copies_left_ = copies;
    return count_copies(copies * static_cast<std::int64_t>(cells_.size()));
  }

  [[nodiscard]] bool empty() const { return cells_.empty(); }
  [[nodiscard]] bool has_copies() const { return copies_left_ > 0; }

  // The row, of the sheet `sheet`.
  [[nodiscard]] SpreadsheetRow hand_out(std::string_view sheet) {
    sheet_ = sheet;
    return {sheet_, cells_, std::nullopt};
  }

  // The next copy of the row, one row lower.
  // REQUIRES: has_copies().
  [[nodiscard]] SpreadsheetRow hand_out_copy() {
    --copies_left_;
    ++number_;
    for (std::size_t cell = 0; cell < cells_.size(); ++cell) {
      cells_[cell].reference = cell_reference(columns_[cell], number_);
    }
    return {sheet_, cells_, std::nullopt};
  }

 private:
  const char* count_copies(std::int64_t copies) {
    repeated_cells_ += copies;
    if (repeated_cells_ > kMaxRepeatedCells) {
      return catalog::gettext(
          "its part %s repeats cells more than 1048576 times, as a ZIP bomb does; it is not "
          "read");
    }
    return nullptr;
  }

  std::int64_t number_ = 0;
  std::vector<SpreadsheetCell> cells_;
  std::vector<std::int64_t> columns_;  // of cells_
  std::size_t bytes_ = 0;              // of text in cells_
  std::string cell_;                   // the text of the cell being read
  std::int64_t copies_left_ = 0;
  std::int64_t repeated_cells_ = 0;  // made by repetition over the file
  std::string_view sheet_;
};

// Where a relationship's target lies in the archive: targets are relative to the folder of
// the workbook, or absolute from the archive's root.
std::string xlsx_member(std::string_view target) {
  if (target.starts_with('/')) {
    return std::string(target.substr(1));
  }
  return "xl/" + std::string(target);
}

// xl/_rels/workbook.xml.rels: the parts of the worksheets and of the shared texts.
class XlsxRelationships : public XmlContent {
 public:
  Reaction start(std::string_view name, const XML_Char** attributes) override {
    const auto id = attribute(attributes, "Id");
    const auto type = attribute(attributes, "Type");
    const auto target = attribute(attributes, "Target");
    if (name != "Relationship" || !id || !type || !target ||
        attribute(attributes, "TargetMode") == "External") {
      return Reaction::Go;
    }
    if (type->ends_with("/worksheet")) {
      worksheets[std::string(*id)] = xlsx_member(*target);
    } else if (type->ends_with("/sharedStrings")) {
      shared_strings = xlsx_member(*target);
    }
    return Reaction::Go;
  }
  Reaction end(std::string_view /*name*/) override { return Reaction::Go; }
  Reaction text(std::string_view /*text*/) override { return Reaction::Go; }

  std::map<std::string, std::string, std::less<>> worksheets;  // part by relationship id
  std::string shared_strings = "xl/sharedStrings.xml";
};

struct XlsxSheet {
  std::string name;
  std::string member;
};

// xl/workbook.xml: the sheets in their order, those that are worksheets.
class XlsxSheetList : public XmlContent {
 public:
  explicit XlsxSheetList(const XlsxRelationships& relationships) : relationships_(relationships) {}

  Reaction start(std::string_view name, const XML_Char** attributes) override {
    const auto sheet_name = attribute(attributes, "name");
    const auto id = attribute(attributes, "id");
    if (name == "sheet" && sheet_name && id) {
      const auto worksheet = relationships_.worksheets.find(*id);
      // A chart sheet has no worksheet; a worksheet listed twice is read once, or a small
      // file could have a large part read again and again.
      if (worksheet != relationships_.worksheets.end() &&
          listed_.insert(worksheet->second).second) {
        sheets.push_back({std::string(*sheet_name), worksheet->second});
      }
    }
    return Reaction::Go;
  }
  Reaction end(std::string_view /*name*/) override { return Reaction::Go; }
  Reaction text(std::string_view /*text*/) override { return Reaction::Go; }

  std::vector<XlsxSheet> sheets;

 private:
  const XlsxRelationships& relationships_;
  std::set<std::string, std::less<>> listed_;  // the parts of `sheets`
};

// The text of an .xlsx string item (<si>, <is>): its <t> elements, those of phonetic guides
// (<rPh>) left out.
class XlsxTextRuns {
 public:
  void start(std::string_view name) {
    if (name == "rPh") {
      ++phonetic_depth_;
    } else if (name == "t" && phonetic_depth_ == 0) {
      in_text_ = true;
    }
  }
  void end(std::string_view name) {
    if (name == "rPh") {
      --phonetic_depth_;
    } else if (name == "t") {
      in_text_ = false;
    }
  }
  [[nodiscard]] bool in_text() const { return in_text_; }

 private:
  int phonetic_depth_ = 0;
  bool in_text_ = false;
};

// xl/sharedStrings.xml: the table of texts that cells refer to by number.
class XlsxSharedStrings : public XmlContent {
 public:
  Reaction start(std::string_view name, const XML_Char** /*attributes*/) override {
    if (name == "si") {
      texts.emplace_back();
    }
    runs_.start(name);
    return Reaction::Go;
  }
  Reaction end(std::string_view name) override {
    runs_.end(name);
    if (name == "si" && !texts.empty()) {
      texts.back() = unescaped_xlsx_text(texts.back());
    }
    return Reaction::Go;
  }
  Reaction text(std::string_view text) override {
    if (runs_.in_text() && !texts.empty()) {
      texts.back().append(text);
    }
    return Reaction::Go;
  }

  std::vector<std::string> texts;

 private:
  XlsxTextRuns runs_;
};

// xl/worksheets/sheetN.xml: its rows, each one paused at.
class XlsxWorksheet : public XmlContent {
 public:
  XlsxWorksheet(RowBuilder& row, const std::vector<std::string>& shared_strings)
      : row_(row), shared_strings_(shared_strings) {}

  void begin_sheet() {
    in_sheet_data_ = false;
    in_cell_ = false;
    row_number_ = 0;
  }

  Reaction start(std::string_view name, const XML_Char** attributes) override {
    if (name == "sheetData") {
      in_sheet_data_ = true;
    } else if (!in_sheet_data_) {
      return Reaction::Go;
    } else if (name == "row") {
      row_number_ = counting_number(attribute(attributes, "r"), kMaxRows).value_or(row_number_ + 1);
      column_ = 0;
      row_.begin(row_number_);
    } else if (name == "c") {
      begin_cell(attributes);
    } else if (in_cell_) {
      runs_.start(name);
      in_value_ = name == "v";
    }
    return Reaction::Go;
  }

  Reaction end(std::string_view name) override {
    if (name == "sheetData") {
      in_sheet_data_ = false;
    } else if (!in_sheet_data_) {
      return Reaction::Go;
    } else if (name == "c" && in_cell_) {
      in_cell_ = false;
      return end_cell();
    } else if (name == "row") {
      return row_.empty() ? Reaction::Go : Reaction::Pause;
    } else if (in_cell_) {
      runs_.end(name);
      in_value_ = false;
    }
    return Reaction::Go;
  }

  Reaction text(std::string_view text) override {
    if ((in_value_ || runs_.in_text()) && !row_.add_text(text)) {
      return stop(row_too_large());
    }
    return Reaction::Go;
  }

 private:
  void begin_cell(const XML_Char** attributes) {
    in_cell_ = true;
    in_value_ = false;
    runs_ = XlsxTextRuns();
    column_ = column_of(attribute(attributes, "r")).value_or(column_ + 1);
    type_ = attribute(attributes, "t").value_or("n");
    row_.begin_cell();
  }

  Reaction end_cell() {
    const std::string& value = row_.cell_text();
    const char* reason = nullptr;
    if (value.empty()) {
      return Reaction::Go;
    }
    if (type_ == "n") {
      reason = row_.end_cell(column_, exact_number_text(value), 1);
    } else if (type_ == "s") {
      reason = shared_string_cell(value);
    } else if (type_ == "inlineStr" || type_ == "str") {
      reason = row_.end_cell(column_, unescaped_xlsx_text(value), 1);
    } else {
      reason = row_.end_cell(column_, value, 1);
    }
    return reason == nullptr ? Reaction::Go : stop(reason);
  }

  const char* shared_string_cell(const std::string& value) {
    std::size_t index = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), index);
    if (error != std::errc() || end != value.data() + value.size() ||
        index >= shared_strings_.size()) {
      return catalog::gettext("its part %s is damaged");
    }
    return row_.end_cell(column_, shared_strings_[index], 1);
  }

  RowBuilder& row_;
  const std::vector<std::string>& shared_strings_;
  bool in_sheet_data_ = false;
  bool in_cell_ = false;
  bool in_value_ = false;  // in a cell's <v>
  XlsxTextRuns runs_;      // of a cell's inline string
  std::int64_t row_number_ = 0;
  std::int64_t column_ = 0;
  std::string type_;
};

// content.xml of an .ods: the tables of its spreadsheet, their rows each one paused at.
class OdsContent : public XmlContent {
 public:
  explicit OdsContent(RowBuilder& row) : row_(row) {}

  // The name of the table being read.
  [[nodiscard]] const std::string& sheet() const { return sheet_; }

  Reaction start(std::string_view name, const XML_Char** attributes) override {
    ++depth_;
    if (annotation_depth_ != 0) {
      return Reaction::Go;
    }
    if (name == "spreadsheet") {
      in_spreadsheet_ = true;
    } else if (name == "table" && in_spreadsheet_ && table_depth_ == 0) {
      table_depth_ = depth_;
      sheet_ = attribute(attributes, "name").value_or("");
      row_number_ = 0;
    } else if (table_depth_ == 0) {
      return Reaction::Go;
    } else if (cell_depth_ == 0) {
      start_in_table(name, attributes);
    } else {
      return start_in_cell(name, attributes);
    }
    return Reaction::Go;
  }

  Reaction end(std::string_view name) override {
    const int depth = depth_--;
    if (depth == annotation_depth_) {
      annotation_depth_ = 0;
    } else if (annotation_depth_ != 0) {
      return Reaction::Go;
    } else if (depth == paragraph_depth_) {
      paragraph_depth_ = 0;
    } else if (depth == cell_depth_) {
      cell_depth_ = 0;
      return end_cell();
    } else if (depth == table_depth_) {
      table_depth_ = 0;
    } else if (name == "table-row" && table_depth_ != 0 && cell_depth_ == 0) {
      return end_row();
    } else if (name == "spreadsheet") {
      in_spreadsheet_ = false;
    }
    return Reaction::Go;
  }

  Reaction text(std::string_view text) override {
    if (paragraph_depth_ != 0 && annotation_depth_ == 0 && !row_.add_text(text)) {
      return stop(row_too_large());
    }
    return Reaction::Go;
  }

 private:
  void start_in_table(std::string_view name, const XML_Char** attributes) {
    if (name == "table-row") {
      rows_repeated_ = repeat_count(attribute(attributes, "number-rows-repeated"), kMaxRows);
      column_ = 0;
      row_.begin(row_number_ + 1);
    } else if (name == "table-cell" || name == "covered-table-cell") {
      cell_depth_ = depth_;
      columns_repeated_ =
          repeat_count(attribute(attributes, "number-columns-repeated"), kMaxColumns);
      kept_value_ = kept_value(attributes);
      paragraphs_ = 0;
      row_.begin_cell();
    }
  }

  // The value a cell keeps beside its paragraphs, which show it formatted: a number's exact
  // value, or a text kept whole (a formula's result); nullopt when the paragraphs are the value.
  static std::optional<std::string> kept_value(const XML_Char** attributes) {
    const auto type = attribute(attributes, "value-type");
    const auto number = attribute(attributes, "value");
    const auto text = attribute(attributes, "string-value");
    if ((type == "float" || type == "percentage" || type == "currency") && number) {
      return exact_number_text(*number);
    }
    if (type == "string" && text) {
      return std::string(*text);
    }
    return std::nullopt;
  }

  Reaction start_in_cell(std::string_view name, const XML_Char** attributes) {
    bool added = true;
    if (name == "annotation") {
      annotation_depth_ = depth_;
    } else if ((name == "p" || name == "h") && depth_ == cell_depth_ + 1) {
      paragraph_depth_ = depth_;
      added = paragraphs_++ == 0 || row_.add_text("\n");
    } else if (paragraph_depth_ == 0) {
      return Reaction::Go;
    } else if (name == "s") {
      added = row_.add_spaces(
          counting_number(attribute(attributes, "c"), kMaxRowTextBytes).value_or(1));
    } else if (name == "tab") {
      added = row_.add_text("\t");
    } else if (name == "line-break") {
      added = row_.add_text("\n");
    }
    return added ? Reaction::Go : stop(row_too_large());
  }

  Reaction end_cell() {
    const std::int64_t column = column_ + 1;
    column_ = std::min(column_ + columns_repeated_, kMaxColumns);
    const std::int64_t count = std::min(columns_repeated_, kMaxColumns - column + 1);
    if (row_number_ >= kMaxRows || count <= 0) {
      return Reaction::Go;  // beyond the sheet's edge: nothing a sheet can hold
    }
    const char* reason =
        row_.end_cell(column, kept_value_ ? *kept_value_ : row_.cell_text(), count);
    return reason == nullptr ? Reaction::Go : stop(reason);
  }

  Reaction end_row() {
    const std::int64_t count = std::min(rows_repeated_, kMaxRows - row_number_);
    row_number_ = std::min(row_number_ + rows_repeated_, kMaxRows);
    if (row_.empty() || count <= 0) {
      return Reaction::Go;
    }
    const char* reason = row_.repeat(count);
    return reason == nullptr ? Reaction::Pause : stop(reason);
  }

  RowBuilder& row_;
  std::string sheet_;
  int depth_ = 0;             // of the element being read
  int table_depth_ = 0;       // of the table being read; 0: none
  int cell_depth_ = 0;        // of the cell being read; 0: none
  int paragraph_depth_ = 0;   // of the cell's paragraph being read; 0: none
  int annotation_depth_ = 0;  // of the cell's comment being skipped; 0: none
  bool in_spreadsheet_ = false;
  std::int64_t row_number_ = 0;  // rows of the table before the one being read
  std::int64_t column_ = 0;      // cells of the row before the one being read
  std::int64_t rows_repeated_ = 1;
  std::int64_t columns_repeated_ = 1;
  std::optional<std::string> kept_value_;  // of the cell being read
  int paragraphs_ = 0;                     // of the cell being read
};

}  // namespace

// The opened file: its archive, what it holds, and the part being read.
class SpreadsheetReader::Workbook {
 public:
  Workbook(FileSystem& files, std::string name)
      : name_(std::move(name)),
        archive_(files),
        stream_(archive_, name_),
        worksheet_(row_, shared_strings_),
        ods_content_(row_) {}

  // Takes `fd` over and reads what comes before the cells.
  [[nodiscard]] std::optional<Failure> open(int fd) {
    if (std::optional<Failure> failure = archive_.open(fd, name_)) {
      return failure;
    }
    if (archive_.holds("[Content_Types].xml")) {
      return open_office_open_xml();
    }
    if (archive_.holds("mimetype")) {
      return open_open_document();
    }
    return not_a_spreadsheet();
  }

  [[nodiscard]] SpreadsheetRow next_row() {
    if (row_.has_copies()) {
      return row_.hand_out_copy();
    }
    while (!ended_) {
      if (!in_sheet_) {
        if (std::optional<Failure> failure = begin_next_worksheet()) {
          return end_with(std::move(failure));
        }
        continue;
      }
      switch (stream_.advance()) {
        case Progress::Paused:
          return row_.hand_out(ods_ ? ods_content_.sheet() : sheets_[next_sheet_ - 1].name);
        case Progress::Failed:
          return end_with(stream_.failure());
        case Progress::Ended:
          in_sheet_ = false;
          ended_ = ods_;
          break;
      }
    }
    return {};
  }

 private:
  [[nodiscard]] Failure not_a_spreadsheet() const {
    return {name_,
            catalog::gettext("is a ZIP archive, not a spreadsheet; unpack it and name the list "
                             "inside")};
  }

  [[nodiscard]] Failure other_document() const {
    return {name_,
            catalog::gettext("is an office document but not a spreadsheet; save the list as a "
                             "spreadsheet (.xlsx, .ods) or as UTF-8 text")};
  }

  [[nodiscard]] std::optional<Failure> open_office_open_xml() {
    if (!archive_.holds("xl/workbook.xml")) {
      if (archive_.holds("xl/workbook.bin")) {
        return Failure{name_,
                       catalog::gettext("is a spreadsheet in a binary format (.xlsb); save it "
                                        "as .xlsx or .ods")};
      }
      return other_document();
    }
    XlsxRelationships relationships;
    XlsxSheetList sheet_list(relationships);
    XlsxSharedStrings shared_strings;
    std::optional<Failure> failure =
        stream_.read_whole("xl/_rels/workbook.xml.rels", relationships);
    if (!failure) {
      failure = stream_.read_whole("xl/workbook.xml", sheet_list);
    }
    if (!failure && archive_.holds(relationships.shared_strings)) {
      failure = stream_.read_whole(relationships.shared_strings, shared_strings);
    }
    sheets_ = std::move(sheet_list.sheets);
    shared_strings_ = std::move(shared_strings.texts);
    return failure;
  }

  [[nodiscard]] std::optional<Failure> open_open_document() {
    std::array<char, 128> type{};
    std::optional<Failure> failure = archive_.open_member("mimetype");
    std::size_t held = 0;
    while (!failure && held < type.size()) {
      ZipRead got = archive_.read(std::span(type).subspan(held));
      failure = std::move(got.failure);
      held += got.size;
      if (got.size == 0) {
        break;
      }
    }
    if (failure) {
      return failure;
    }
    const std::string_view mimetype(type.data(), held);
    if (mimetype.starts_with(kOdsSpreadsheetType)) {
      ods_ = true;
      in_sheet_ = true;
      return stream_.open("content.xml", ods_content_);
    }
    if (mimetype.starts_with(kOpenDocumentType)) {
      return other_document();
    }
    return not_a_spreadsheet();
  }

  [[nodiscard]] std::optional<Failure> begin_next_worksheet() {
    if (next_sheet_ == sheets_.size()) {
      ended_ = true;
      return std::nullopt;
    }
    worksheet_.begin_sheet();
    in_sheet_ = true;
    return stream_.open(sheets_[next_sheet_++].member, worksheet_);
  }

  SpreadsheetRow end_with(std::optional<Failure> failure) {
    ended_ = true;
    return {{}, {}, std::move(failure)};
  }

  std::string name_;
  ZipArchive archive_;
  XmlStream stream_;
  RowBuilder row_;
  bool ods_ = false;
  bool in_sheet_ = false;  // a sheet's part is being read
  bool ended_ = false;
  std::vector<XlsxSheet> sheets_;
  std::size_t next_sheet_ = 0;
  std::vector<std::string> shared_strings_;
  XlsxWorksheet worksheet_;
  OdsContent ods_content_;
};

SpreadsheetReader::SpreadsheetReader(FileSystem& files) : files_(files) {}

SpreadsheetReader::~SpreadsheetReader() = default;

std::optional<Failure> SpreadsheetReader::open(int fd, std::string name) {
  assert(!workbook_);
  workbook_ = std::make_unique<Workbook>(files_, std::move(name));
  return workbook_->open(fd);
}

SpreadsheetRow SpreadsheetReader::next_row() {
  return workbook_->next_row();
}

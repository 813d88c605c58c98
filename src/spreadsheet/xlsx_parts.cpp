#include "spreadsheet/xlsx_parts.h"

#include <charconv>
#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <system_error>
#include <utility>

#include "core/message_catalog.h"
#include "spreadsheet/cell_values.h"
#include "spreadsheet/zip_archive.h"

namespace {

// The day after 9999-12-31, the last day a spreadsheet shows, as a serial number: a number
// from it on is shown as ####, never as a date, whatever its style.
constexpr double kFirstSerialPastDates = 2958466.0;

// Whether `value`, the value of a number cell in a date's or time's style, is shown as one.
bool is_shown_date(std::string_view value) {
  double serial = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), serial);
  return error != std::errc() || serial < kFirstSerialPastDates;
}

// Where a relationship's target lies in the archive: targets are relative to the folder of
// the workbook, or absolute from the archive's root.
std::string xlsx_member(std::string_view target) {
  if (target.starts_with('/')) {
    return std::string(target.substr(1));
  }
  return "xl/" + std::string(target);
}

// Whether an .xlsx truth value is true: "1" or "true".
bool xlsx_true(std::optional<std::string_view> value) {
  return value == "1" || value == "true";
}

// `text` as the number of an entry in a table, counted from 0: all of it decimal digits;
// nullopt when it is anything else.
std::optional<std::size_t> table_index(std::string_view text) {
  std::size_t index = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return index;
}

// xl/_rels/workbook.xml.rels: the parts of the worksheets and of the shared texts.
class XlsxRelationships : public XmlContent {
 public:
  Reaction start(std::string_view name, XmlAttributes attributes) override {
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
    } else if (type->ends_with("/styles")) {
      styles = xlsx_member(*target);
    }
    return Reaction::Go;
  }
  Reaction end(std::string_view /*name*/) override { return Reaction::Go; }
  Reaction text(std::string_view /*text*/) override { return Reaction::Go; }

  std::map<std::string, std::string, std::less<>> worksheets;  // part by relationship id
  std::string shared_strings = "xl/sharedStrings.xml";
  std::string styles = "xl/styles.xml";
};

// xl/workbook.xml: the sheets in their order, those that are worksheets.
class XlsxSheetList : public XmlContent {
 public:
  explicit XlsxSheetList(const XlsxRelationships& relationships) : relationships_(relationships) {}

  Reaction start(std::string_view name, XmlAttributes attributes) override {
    const auto sheet_name = attribute(attributes, "name");
    const auto id = attribute(attributes, "id");
    if (name == "sheet" && sheet_name && id) {
      const auto worksheet = relationships_.worksheets.find(*id);
      // A chart sheet has no worksheet; a worksheet listed twice is read once, or a small
      // file could have a large part read again and again.
      if (worksheet != relationships_.worksheets.end() &&
          listed_.insert(worksheet->second).second) {
        const auto state = attribute(attributes, "state");
        sheets.push_back({std::string(*sheet_name), worksheet->second,
                          state == "hidden" || state == "veryHidden"});
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

// xl/sharedStrings.xml: the table of texts that cells refer to by number, each added at the
// end of its item.
class XlsxSharedStrings : public XmlContent {
 public:
  Reaction start(std::string_view name, XmlAttributes /*attributes*/) override {
    if (name == "si") {
      in_item_ = true;
      item_.clear();
    }
    runs_.start(name);
    return Reaction::Go;
  }
  Reaction end(std::string_view name) override {
    runs_.end(name);
    if (name == "si" && in_item_) {
      in_item_ = false;
      texts.add(unescaped_xlsx_text(item_));
    }
    return Reaction::Go;
  }
  Reaction text(std::string_view text) override {
    if (runs_.in_text() && in_item_) {
      item_.append(text);
    }
    return Reaction::Go;
  }

  StringTable texts;

 private:
  XlsxTextRuns runs_;
  bool in_item_ = false;
  std::string item_;  // the text of the item being read
};

// xl/styles.xml: which cell styles (the <xf> of <cellXfs>, numbered from 0) show a number as a
// date or a time, by their number formats, the workbook's own (<numFmts>) or built-in.
class XlsxStyles : public XmlContent {
 public:
  Reaction start(std::string_view name, XmlAttributes attributes) override {
    const std::int64_t format_id =
        counting_number(attribute(attributes, "numFmtId"), kMaxFormatId).value_or(0);
    if (name == "numFmt") {
      if (const auto code = attribute(attributes, "formatCode")) {
        codes_[format_id] = std::string(*code);
      }
    } else if (name == "cellXfs") {
      in_cell_styles_ = true;
    } else if (name == "xf" && in_cell_styles_) {
      const auto code = codes_.find(format_id);
      date_styles.push_back(is_date_number_format(
          format_id,
          code == codes_.end() ? std::nullopt : std::optional<std::string_view>(code->second)));
    }
    return Reaction::Go;
  }
  Reaction end(std::string_view name) override {
    in_cell_styles_ = in_cell_styles_ && name != "cellXfs";
    return Reaction::Go;
  }
  Reaction text(std::string_view /*text*/) override { return Reaction::Go; }

  std::vector<bool> date_styles;

 private:
  static constexpr std::int64_t kMaxFormatId = std::int64_t{1} << 31;
  std::map<std::int64_t, std::string> codes_;  // the workbook's own formats by number
  bool in_cell_styles_ = false;
};

}  // namespace

XlsxWorkbook read_xlsx_workbook(XmlStream& stream, const ZipArchive& archive) {
  XlsxRelationships relationships;
  XlsxSheetList sheet_list(relationships);
  XlsxSharedStrings shared_strings;
  XlsxStyles styles;
  std::optional<Failure> failure = stream.read_whole("xl/_rels/workbook.xml.rels", relationships);
  if (!failure) {
    failure = stream.read_whole("xl/workbook.xml", sheet_list);
  }
  if (!failure && archive.holds(relationships.shared_strings)) {
    failure = stream.read_whole(relationships.shared_strings, shared_strings);
    shared_strings.texts.shrink_to_fit();  // held while every sheet is read
  }
  if (!failure && archive.holds(relationships.styles)) {
    failure = stream.read_whole(relationships.styles, styles);
  }
  return {std::move(sheet_list.sheets), std::move(shared_strings.texts),
          std::move(styles.date_styles), std::move(failure)};
}

void XlsxTextRuns::start(std::string_view name) {
  if (name == "rPh") {
    ++phonetic_depth_;
  } else if (name == "t" && phonetic_depth_ == 0) {
    in_text_ = true;
  }
}

void XlsxTextRuns::end(std::string_view name) {
  if (name == "rPh") {
    --phonetic_depth_;
  } else if (name == "t") {
    in_text_ = false;
  }
}

XlsxWorksheet::XlsxWorksheet(RowBuilder& row, const StringTable& shared_strings,
                             const std::vector<bool>& date_styles)
    : row_(row), shared_strings_(shared_strings), date_styles_(date_styles) {}

void XlsxWorksheet::begin_sheet() {
  in_sheet_data_ = false;
  in_cell_ = false;
  row_number_ = 0;
  row_.begin_sheet();
}

Reaction XlsxWorksheet::start(std::string_view name, XmlAttributes attributes) {
  if (name == "sheetData") {
    in_sheet_data_ = true;
  } else if (!in_sheet_data_) {
    if (name == "col" && xlsx_true(attribute(attributes, "hidden"))) {
      hide_columns(attributes);
    }
    return Reaction::Go;
  } else if (name == "row") {
    row_number_ = counting_number(attribute(attributes, "r"), kMaxRows).value_or(row_number_ + 1);
    column_ = 0;
    row_.begin(row_number_, xlsx_true(attribute(attributes, "hidden")));
  } else if (name == "c") {
    begin_cell(attributes);
  } else if (in_cell_) {
    runs_.start(name);
    in_value_ = name == "v";
  }
  return Reaction::Go;
}

Reaction XlsxWorksheet::end(std::string_view name) {
  if (name == "sheetData") {
    in_sheet_data_ = false;
  } else if (!in_sheet_data_) {
    return Reaction::Go;
  } else if (name == "c" && in_cell_) {
    in_cell_ = false;
    return end_cell();
  } else if (name == "row") {
    return row_.end_row(1) ? Reaction::Pause : Reaction::Go;
  } else if (in_cell_) {
    runs_.end(name);
    in_value_ = false;
  }
  return Reaction::Go;
}

Reaction XlsxWorksheet::text(std::string_view text) {
  if ((in_value_ || runs_.in_text()) && !row_.add_text(text)) {
    return stop(row_too_large());
  }
  return Reaction::Go;
}

// Hides the columns of a <col> range, min to max.
void XlsxWorksheet::hide_columns(XmlAttributes attributes) {
  const auto first = counting_number(attribute(attributes, "min"), kMaxColumns);
  const auto last = counting_number(attribute(attributes, "max"), kMaxRows);
  if (first && last) {
    row_.hide_columns(*first, *last);
  }
}

// Begins a cell, at the column its reference names or after the cell before.
void XlsxWorksheet::begin_cell(XmlAttributes attributes) {
  in_cell_ = true;
  in_value_ = false;
  runs_ = XlsxTextRuns();
  column_ = column_of(attribute(attributes, "r")).value_or(column_ + 1);
  type_ = attribute(attributes, "t").value_or("n");
  // A cell without a style has the first.
  const std::optional<std::size_t> style = table_index(attribute(attributes, "s").value_or("0"));
  shown_as_date_ = style && *style < date_styles_.size() && date_styles_[*style];
  row_.begin_cell();
}

// Ends a cell: its text as its type says.
Reaction XlsxWorksheet::end_cell() {
  const std::string& value = row_.cell_text();
  const char* reason = nullptr;
  if (value.empty()) {
    return Reaction::Go;
  }
  if (type_ == "n") {
    reason =
        row_.end_cell(column_, exact_number_text(value), 1,
                      shown_as_date_ && is_shown_date(value) ? CellKind::Date : CellKind::Number);
  } else if (type_ == "s") {
    reason = shared_string_cell(value);
  } else if (type_ == "inlineStr" || type_ == "str") {
    reason = row_.end_cell(column_, unescaped_xlsx_text(value), 1, CellKind::Text);
  } else {
    reason = row_.end_cell(column_, value, 1, type_ == "d" ? CellKind::Date : CellKind::Other);
  }
  return reason == nullptr ? Reaction::Go : stop(reason);
}

// Ends a cell of a shared text, `value` being its number in the table.
const char* XlsxWorksheet::shared_string_cell(const std::string& value) {
  const std::optional<std::size_t> index = table_index(value);
  if (!index || *index >= shared_strings_.size()) {
    return catalog::gettext("its part %s is damaged");
  }
  return row_.end_cell(column_, shared_strings_[*index], 1, CellKind::Text);
}

#include "spreadsheet/xlsx_parts.h"

#include <charconv>
#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <utility>

#include "core/message_catalog.h"
#include "spreadsheet/cell_values.h"
#include "spreadsheet/zip_archive.h"

namespace {

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
    }
    return Reaction::Go;
  }
  Reaction end(std::string_view /*name*/) override { return Reaction::Go; }
  Reaction text(std::string_view /*text*/) override { return Reaction::Go; }

  std::map<std::string, std::string, std::less<>> worksheets;  // part by relationship id
  std::string shared_strings = "xl/sharedStrings.xml";
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

// xl/sharedStrings.xml: the table of texts that cells refer to by number.
class XlsxSharedStrings : public XmlContent {
 public:
  Reaction start(std::string_view name, XmlAttributes /*attributes*/) override {
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

}  // namespace

XlsxWorkbook read_xlsx_workbook(XmlStream& stream, const ZipArchive& archive) {
  XlsxRelationships relationships;
  XlsxSheetList sheet_list(relationships);
  XlsxSharedStrings shared_strings;
  std::optional<Failure> failure = stream.read_whole("xl/_rels/workbook.xml.rels", relationships);
  if (!failure) {
    failure = stream.read_whole("xl/workbook.xml", sheet_list);
  }
  if (!failure && archive.holds(relationships.shared_strings)) {
    failure = stream.read_whole(relationships.shared_strings, shared_strings);
  }
  return {std::move(sheet_list.sheets), std::move(shared_strings.texts), std::move(failure)};
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

XlsxWorksheet::XlsxWorksheet(RowBuilder& row, const std::vector<std::string>& shared_strings)
    : row_(row), shared_strings_(shared_strings) {}

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

// Ends a cell of a shared text, `value` being its number in the table.
const char* XlsxWorksheet::shared_string_cell(const std::string& value) {
  std::size_t index = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), index);
  if (error != std::errc() || end != value.data() + value.size() ||
      index >= shared_strings_.size()) {
    return catalog::gettext("its part %s is damaged");
  }
  return row_.end_cell(column_, shared_strings_[index], 1);
}

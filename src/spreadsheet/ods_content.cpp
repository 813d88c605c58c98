#include "spreadsheet/ods_content.h"

#include <algorithm>

#include "spreadsheet/cell_values.h"

namespace {

// The value a cell keeps beside its paragraphs, which show it formatted: a number's exact
// value, or a text kept whole (a formula's result); nullopt when the paragraphs are the value.
std::optional<std::string> kept_value(XmlAttributes attributes) {
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

// Whether table:visibility hides a row or a column: collapsed, or filtered out.
bool hidden_by(std::optional<std::string_view> visibility) {
  return visibility == "collapse" || visibility == "filter";
}

// What a cell holds, by its value type (SpreadsheetReader).
CellKind kind_of(XmlAttributes attributes) {
  const auto type = attribute(attributes, "value-type");
  if (!type || type == "string") {
    return CellKind::Text;
  }
  if (type == "float" || type == "percentage" || type == "currency") {
    return CellKind::Number;
  }
  return type == "date" || type == "time" ? CellKind::Date : CellKind::Other;
}

}  // namespace

Reaction OdsContent::start(std::string_view name, XmlAttributes attributes) {
  ++depth_;
  if (skipped_depth_ != 0) {
    return Reaction::Go;
  }
  if (name == "spreadsheet") {
    in_spreadsheet_ = true;
  } else if (name == "table" && in_spreadsheet_ && table_depth_ == 0) {
    begin_table(attributes);
  } else if (table_depth_ == 0) {
    note_table_style(name, attributes);
  } else if (cell_depth_ == 0) {
    start_in_table(name, attributes);
  } else {
    return start_in_cell(name, attributes);
  }
  return Reaction::Go;
}

Reaction OdsContent::end(std::string_view name) {
  const int depth = depth_--;
  if (depth == skipped_depth_) {
    skipped_depth_ = 0;
  } else if (skipped_depth_ != 0) {
    return Reaction::Go;
  } else if (depth == paragraph_depth_) {
    paragraph_depth_ = 0;
  } else if (depth == cell_depth_) {
    cell_depth_ = 0;
    return end_cell();
  } else if (depth == table_depth_) {
    table_depth_ = 0;
    row_.end_sheet(sheet_);
  } else if (name == "table-row" && table_depth_ != 0 && cell_depth_ == 0) {
    return end_row();
  } else if (name == "spreadsheet") {
    in_spreadsheet_ = false;
  }
  return Reaction::Go;
}

Reaction OdsContent::text(std::string_view text) {
  if (paragraph_depth_ != 0 && skipped_depth_ == 0 && !row_.add_text(text)) {
    return stop(row_too_large());
  }
  return Reaction::Go;
}

// Notes a table style that hides its table, told an element of the styles.
void OdsContent::note_table_style(std::string_view name, XmlAttributes attributes) {
  if (name == "style") {
    table_style_ = attribute(attributes, "family") == "table"
                       ? attribute(attributes, "name").value_or("")
                       : "";
  } else if (name == "table-properties" && !table_style_.empty() &&
             attribute(attributes, "display") == "false") {
    hiding_styles_.insert(table_style_);
  }
}

// Begins a table, or passes over it when its style hides it.
void OdsContent::begin_table(XmlAttributes attributes) {
  sheet_ = attribute(attributes, "name").value_or("");
  const auto style = attribute(attributes, "style-name");
  if (style && hiding_styles_.contains(*style)) {
    skipped_depth_ = depth_;
    row_.skip_hidden_sheet(sheet_);
    return;
  }
  table_depth_ = depth_;
  row_number_ = 0;
  columns_declared_ = 0;
  row_.begin_sheet();
}

// Begins a column, a row or a cell of the table.
void OdsContent::start_in_table(std::string_view name, XmlAttributes attributes) {
  if (name == "table-column") {
    const std::int64_t count =
        repeat_count(attribute(attributes, "number-columns-repeated"), kMaxColumns);
    if (hidden_by(attribute(attributes, "visibility"))) {
      row_.hide_columns(columns_declared_ + 1, columns_declared_ + count);
    }
    columns_declared_ = std::min(columns_declared_ + count, kMaxColumns);
  } else if (name == "table-row") {
    rows_repeated_ = repeat_count(attribute(attributes, "number-rows-repeated"), kMaxRows);
    column_ = 0;
    row_.begin(row_number_ + 1, hidden_by(attribute(attributes, "visibility")));
  } else if (name == "table-cell" || name == "covered-table-cell") {
    cell_depth_ = depth_;
    columns_repeated_ = repeat_count(attribute(attributes, "number-columns-repeated"), kMaxColumns);
    kept_value_ = kept_value(attributes);
    kind_ = kind_of(attributes);
    paragraphs_ = 0;
    row_.begin_cell();
  }
}

// Begins an element inside a cell: a paragraph, a comment, or what a paragraph holds.
Reaction OdsContent::start_in_cell(std::string_view name, XmlAttributes attributes) {
  bool added = true;
  if (name == "annotation") {
    skipped_depth_ = depth_;
  } else if ((name == "p" || name == "h") && depth_ == cell_depth_ + 1) {
    paragraph_depth_ = depth_;
    added = paragraphs_++ == 0 || row_.add_text("\n");
  } else if (paragraph_depth_ == 0) {
    return Reaction::Go;
  } else if (name == "s") {
    added =
        row_.add_spaces(counting_number(attribute(attributes, "c"), kMaxRowTextBytes).value_or(1));
  } else if (name == "tab") {
    added = row_.add_text("\t");
  } else if (name == "line-break") {
    added = row_.add_text("\n");
  }
  return added ? Reaction::Go : stop(row_too_large());
}

// Ends a cell, standing for as many as it repeats within the sheet.
Reaction OdsContent::end_cell() {
  const std::int64_t column = column_ + 1;
  column_ = std::min(column_ + columns_repeated_, kMaxColumns);
  const std::int64_t count = std::min(columns_repeated_, kMaxColumns - column + 1);
  if (row_number_ >= kMaxRows || count <= 0) {
    return Reaction::Go;  // beyond the sheet's edge: nothing a sheet can hold
  }
  const char* reason =
      row_.end_cell(column, kept_value_ ? *kept_value_ : row_.cell_text(), count, kind_);
  return reason == nullptr ? Reaction::Go : stop(reason);
}

// Ends a row, standing for as many as it repeats within the sheet; pauses when it holds a
// cell to hand out.
Reaction OdsContent::end_row() {
  const std::int64_t count = std::min(rows_repeated_, kMaxRows - row_number_);
  row_number_ = std::min(row_number_ + rows_repeated_, kMaxRows);
  if (!row_.end_row(count) || count <= 0) {
    return Reaction::Go;
  }
  const char* reason = row_.repeat(count);
  return reason == nullptr ? Reaction::Pause : stop(reason);
}

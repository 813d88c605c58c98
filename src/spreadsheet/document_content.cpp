#include "spreadsheet/document_content.h"

#include <algorithm>
#include <array>

#include "spreadsheet/cell_values.h"

namespace {

// Elements whose text is no part of what the document shows as its text, or is shown twice.
constexpr std::array<std::string_view, 13> kSkippedWordprocessingMl = {
    "del", "moveFrom", "delText", "instrText", "Fallback", "rt",     "pPr",
    "rPr", "tblPr",    "trPr",    "tcPr",      "sectPr",   "tblGrid"};
constexpr std::array<std::string_view, 6> kSkippedOpenDocumentText = {
    "tracked-changes", "annotation", "note", "ruby-text", "title", "desc"};

template <std::size_t N>
bool among(const std::array<std::string_view, N>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

Reaction DocumentContent::start(std::string_view name, XmlAttributes attributes) {
  ++depth_;
  if (skipped_depth_ != 0) {
    return Reaction::Go;
  }
  if (name == "body") {
    in_body_ = true;
  } else if (!in_body_) {
    return Reaction::Go;
  } else if (skipped(name)) {
    skipped_depth_ = depth_;
  } else if (paragraph_depth_ == 0 && cell_depth_ == 0) {
    start_structure(name);
  } else if (!start_in_paragraph(name, attributes)) {
    return stop(row_too_large());
  }
  return Reaction::Go;
}

Reaction DocumentContent::end(std::string_view name) {
  const int depth = depth_--;
  if (skipped_depth_ != 0) {
    skipped_depth_ = depth == skipped_depth_ ? 0 : skipped_depth_;
    return Reaction::Go;
  }
  if (depth == text_depth_) {
    text_depth_ = 0;
  }
  if (is_paragraph(name) && open_paragraphs_ > 0) {
    --open_paragraphs_;
  }
  if (depth == paragraph_depth_) {
    paragraph_depth_ = 0;
    const Reaction reaction = end_cell();
    return reaction == Reaction::Go ? end_row() : reaction;
  }
  if (depth == cell_depth_) {
    cell_depth_ = 0;
    return end_cell();
  }
  if (depth == row_depth_) {
    row_depth_ = 0;
    return end_row();
  }
  if (depth == table_depth_) {
    table_depth_ = 0;
  } else if (name == "body") {
    in_body_ = false;
  }
  return Reaction::Go;
}

Reaction DocumentContent::text(std::string_view text) {
  const bool shown =
      markup_ == DocumentMarkup::WordprocessingMl ? text_depth_ != 0 : open_paragraphs_ > 0;
  if (skipped_depth_ == 0 && shown && !row_.add_text(text)) {
    return stop(row_too_large());
  }
  return Reaction::Go;
}

bool DocumentContent::skipped(std::string_view name) const {
  return markup_ == DocumentMarkup::WordprocessingMl ? among(kSkippedWordprocessingMl, name)
                                                     : among(kSkippedOpenDocumentText, name);
}

bool DocumentContent::is_paragraph(std::string_view name) const {
  return name == "p" || (markup_ == DocumentMarkup::OpenDocumentText && name == "h");
}

bool DocumentContent::is_table(std::string_view name) const {
  return name == (markup_ == DocumentMarkup::WordprocessingMl ? "tbl" : "table");
}

bool DocumentContent::is_table_row(std::string_view name) const {
  return name == (markup_ == DocumentMarkup::WordprocessingMl ? "tr" : "table-row");
}

bool DocumentContent::is_table_cell(std::string_view name) const {
  if (markup_ == DocumentMarkup::WordprocessingMl) {
    return name == "tc";
  }
  return name == "table-cell" || name == "covered-table-cell";
}

// Begins, outside any paragraph or cell, a table, a row of it, a cell of the row, or a
// paragraph outside tables: a row of its own.
void DocumentContent::start_structure(std::string_view name) {
  if (table_depth_ == 0 && is_table(name)) {
    table_depth_ = depth_;
  } else if (table_depth_ != 0 && row_depth_ == 0 && is_table_row(name)) {
    row_depth_ = depth_;
    row_.begin(++line_);
    column_ = 0;
  } else if (row_depth_ != 0 && is_table_cell(name)) {
    cell_depth_ = depth_;
    row_.begin_cell();
    paragraphs_ = 0;
  } else if (table_depth_ == 0 && is_paragraph(name)) {
    paragraph_depth_ = depth_;
    row_.begin(++line_);
    row_.begin_cell();
    paragraphs_ = 0;
    (void)begin_paragraph();  // the first adds nothing
  }
}

// Begins an element inside a paragraph or a cell: a paragraph, a piece of text, a tab, a line
// break, spaces. False when the row would hold too much text.
bool DocumentContent::start_in_paragraph(std::string_view name, XmlAttributes attributes) {
  if (is_paragraph(name)) {
    return begin_paragraph();
  }
  if (markup_ == DocumentMarkup::WordprocessingMl) {
    if (name == "t") {
      text_depth_ = depth_;
    }
    // An alignment tab (ptab) parts what stands around it as a tab does.
    return name == "tab" || name == "ptab" ? row_.add_text("\t")
           : name == "br" || name == "cr"  ? row_.add_text("\n")
                                           : true;
  }
  if (open_paragraphs_ == 0) {
    return true;
  }
  if (name == "s") {
    return row_.add_spaces(
        counting_number(attribute(attributes, "c"), kMaxRowTextBytes).value_or(1));
  }
  return name == "tab" ? row_.add_text("\t") : name == "line-break" ? row_.add_text("\n") : true;
}

// Begins a paragraph of the cell or paragraph being read, apart from those before it by a line
// feed. False when the row would hold too much text.
bool DocumentContent::begin_paragraph() {
  ++open_paragraphs_;
  return paragraphs_++ == 0 || row_.add_text("\n");
}

// Ends a cell, or a paragraph outside tables, as the next cell of its row.
Reaction DocumentContent::end_cell() {
  column_ = std::min(column_ + 1, kMaxColumns);
  const char* reason = row_.end_cell(column_, row_.cell_text(), 1, CellKind::Text);
  return reason == nullptr ? Reaction::Go : stop(reason);
}

// Ends a paragraph or a table row; pauses when it holds text.
Reaction DocumentContent::end_row() {
  const Reaction reaction = row_.empty() ? Reaction::Go : Reaction::Pause;
  column_ = 0;
  return reaction;
}

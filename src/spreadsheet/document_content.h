#ifndef CHANGE_UTF8_DOCUMENT_CONTENT_H_
#define CHANGE_UTF8_DOCUMENT_CONTENT_H_

#include <cstdint>
#include <string_view>

#include "spreadsheet/row_builder.h"
#include "spreadsheet/xml_stream.h"

// The markup a text document is written in.
enum class DocumentMarkup {
  WordprocessingMl,  // word/document.xml of a .docx
  OpenDocumentText,  // content.xml of an .odt
};

// The body of a text document read as one sheet: each paragraph a row of one cell (column A),
// each row of a table a row of its cells (column A, B, ... in the row's order), numbered from 1
// in the document's order; the parse paused after each that holds text. A cell's paragraphs
// are joined by line feeds, and so are the paragraphs of a text box or of a table inside it;
// tabs and line breaks stand as themselves, .odt's text:s as spaces. Left out: deleted text
// (w:del, w:moveFrom; text:tracked-changes), comments (office:annotation), notes (text:note),
// field codes (w:instrText), the fallback copy of a drawing (mc:Fallback), and the properties
// of paragraphs, runs and tables. Headers, footers, comments and notes of a .docx are parts of
// their own, not read. Refuses a row of too much text.
class DocumentContent : public XmlContent {
 public:
  // Builds the rows in `row`, which must outlive it.
  DocumentContent(RowBuilder& row, DocumentMarkup markup) : row_(row), markup_(markup) {}

  Reaction start(std::string_view name, XmlAttributes attributes) override;
  Reaction end(std::string_view name) override;
  Reaction text(std::string_view text) override;

 private:
  [[nodiscard]] bool skipped(std::string_view name) const;
  [[nodiscard]] bool is_paragraph(std::string_view name) const;
  [[nodiscard]] bool is_table(std::string_view name) const;
  [[nodiscard]] bool is_table_row(std::string_view name) const;
  [[nodiscard]] bool is_table_cell(std::string_view name) const;
  void start_structure(std::string_view name);
  [[nodiscard]] bool start_in_paragraph(std::string_view name, XmlAttributes attributes);
  [[nodiscard]] bool begin_paragraph();
  Reaction end_row();
  Reaction end_cell();

  RowBuilder& row_;
  const DocumentMarkup markup_;
  int depth_ = 0;            // of the element being read
  int skipped_depth_ = 0;    // of the element being left out; 0: none
  bool in_body_ = false;     // in the document's body
  int table_depth_ = 0;      // of the outermost table; 0: none
  int row_depth_ = 0;        // of its row being read; 0: none
  int cell_depth_ = 0;       // of the row's cell being read; 0: none
  int paragraph_depth_ = 0;  // of the paragraph being read outside tables; 0: none
  int paragraphs_ = 0;       // begun in the cell or paragraph being read
  int open_paragraphs_ = 0;  // begun and not yet ended, one in another
  int text_depth_ = 0;       // of the .docx w:t being read; 0: none
  std::int64_t line_ = 0;    // paragraphs and table rows begun
  std::int64_t column_ = 0;  // cells of the table row before the one being read
};

#endif  // CHANGE_UTF8_DOCUMENT_CONTENT_H_

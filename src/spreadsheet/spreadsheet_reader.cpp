#include "spreadsheet/spreadsheet_reader.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <utility>
#include <vector>

#include "core/message_catalog.h"
#include "spreadsheet/document_content.h"
#include "spreadsheet/ods_content.h"
#include "spreadsheet/row_builder.h"
#include "spreadsheet/text_budget.h"
#include "spreadsheet/xls_workbook.h"
#include "spreadsheet/xlsx_parts.h"
#include "spreadsheet/xml_stream.h"
#include "spreadsheet/zip_archive.h"

namespace {

constexpr std::string_view kOdsSpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";
constexpr std::string_view kOdtTextType = "application/vnd.oasis.opendocument.text";
constexpr std::string_view kOpenDocumentType = "application/vnd.oasis.opendocument.";

}  // namespace

// The opened ZIP archive: what it holds, and the part being read.
class SpreadsheetReader::Workbook {
 public:
  Workbook(FileSystem& files, std::string name)
      : name_(std::move(name)),
        archive_(files),
        stream_(archive_, name_),
        worksheet_(row_, shared_strings_, date_styles_),
        ods_content_(row_),
        docx_content_(row_, DocumentMarkup::WordprocessingMl),
        odt_content_(row_, DocumentMarkup::OpenDocumentText) {}

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
      return within_budget(row_.hand_out_copy());
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
          return within_budget(row_.hand_out(sheet_name()));
        case Progress::Failed:
          return end_with(stream_.failure());
        case Progress::Ended:
          if (kind_ == Kind::Xlsx) {
            row_.end_sheet(sheets_[next_sheet_ - 1].name);
          }
          in_sheet_ = false;
          ended_ = kind_ != Kind::Xlsx;
          break;
      }
    }
    return row_.hand_out_end();
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

  // What it reads: a workbook of sheets, one part each, or a single part.
  enum class Kind { Xlsx, Ods, Document };

  // The name of the sheet being read; a document has none.
  [[nodiscard]] std::string_view sheet_name() const {
    switch (kind_) {
      case Kind::Xlsx:
        return sheets_[next_sheet_ - 1].name;
      case Kind::Ods:
        return ods_content_.sheet();
      case Kind::Document:
        break;
    }
    return {};
  }

  // Reads the single part `member` into `content`.
  [[nodiscard]] std::optional<Failure> open_single_part(Kind kind, const std::string& member,
                                                        XmlContent& content) {
    kind_ = kind;
    in_sheet_ = true;
    return stream_.open(member, content);
  }

  [[nodiscard]] std::optional<Failure> open_office_open_xml() {
    if (archive_.holds("word/document.xml")) {
      return open_single_part(Kind::Document, "word/document.xml", docx_content_);
    }
    if (!archive_.holds("xl/workbook.xml")) {
      if (archive_.holds("xl/workbook.bin")) {
        return Failure{name_,
                       catalog::gettext("is a spreadsheet in a binary format (.xlsb); save it "
                                        "as .xlsx or .ods")};
      }
      return other_document();
    }
    XlsxWorkbook workbook = read_xlsx_workbook(stream_, archive_);
    sheets_ = std::move(workbook.sheets);
    shared_strings_ = std::move(workbook.shared_strings);
    date_styles_ = std::move(workbook.date_styles);
    return workbook.failure;
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
      kind_ = Kind::Ods;
      in_sheet_ = true;
      return open_ods_content();
    }
    if (mimetype == kOdtTextType) {
      return open_single_part(Kind::Document, "content.xml", odt_content_);
    }
    if (mimetype.starts_with(kOpenDocumentType)) {
      return other_document();
    }
    return not_a_spreadsheet();
  }

  // Opens content.xml, after the styles in styles.xml that may hide its tables.
  [[nodiscard]] std::optional<Failure> open_ods_content() {
    if (archive_.holds("styles.xml")) {
      if (std::optional<Failure> failure = stream_.read_whole("styles.xml", ods_content_)) {
        return failure;
      }
    }
    return stream_.open("content.xml", ods_content_);
  }

  // Begins the next worksheet, or passes over it when it is hidden.
  [[nodiscard]] std::optional<Failure> begin_next_worksheet() {
    if (next_sheet_ == sheets_.size()) {
      ended_ = true;
      return std::nullopt;
    }
    const XlsxSheet& sheet = sheets_[next_sheet_++];
    if (sheet.hidden) {
      row_.skip_hidden_sheet(sheet.name);
      return std::nullopt;
    }
    worksheet_.begin_sheet();
    in_sheet_ = true;
    return stream_.open(sheet.member, worksheet_);
  }

  // `row`, unless its text passes the limits of what the file may hand out.
  SpreadsheetRow within_budget(SpreadsheetRow row) {
    if (!budget_.spend(row_.text_bytes(), archive_.unpacked_so_far())) {
      return end_with(Failure{name_, TextBudget::refusal()});
    }
    return row;
  }

  SpreadsheetRow end_with(std::optional<Failure> failure) {
    ended_ = true;
    return {{}, {}, std::move(failure), {}};
  }

  std::string name_;
  ZipArchive archive_;
  XmlStream stream_;
  RowBuilder row_;
  TextBudget budget_;
  Kind kind_ = Kind::Xlsx;
  bool in_sheet_ = false;  // a sheet's part is being read
  bool ended_ = false;
  std::vector<XlsxSheet> sheets_;
  std::size_t next_sheet_ = 0;
  StringTable shared_strings_;
  std::vector<bool> date_styles_;
  XlsxWorksheet worksheet_;
  OdsContent ods_content_;
  DocumentContent docx_content_;
  DocumentContent odt_content_;
};

SpreadsheetReader::SpreadsheetReader(FileSystem& files) : files_(files) {}

SpreadsheetReader::~SpreadsheetReader() = default;

std::optional<Failure> SpreadsheetReader::open(int fd, std::string name) {
  assert(!workbook_ && !xls_workbook_);
  std::array<char, 8> start{};
  ReadBytes got = files_.read_at(fd, 0, start, name);
  if (got.failure) {
    (void)files_.close(fd, name);  // only read: its close changes nothing
    return std::move(got.failure);
  }
  if (starts_as_compound_file(std::string_view(start.data(), got.size))) {
    xls_workbook_ = std::make_unique<XlsWorkbook>(files_, std::move(name));
    return xls_workbook_->open(fd);
  }
  workbook_ = std::make_unique<Workbook>(files_, std::move(name));
  return workbook_->open(fd);
}

SpreadsheetRow SpreadsheetReader::next_row() {
  return xls_workbook_ ? xls_workbook_->next_row() : workbook_->next_row();
}

#include "spreadsheet/spreadsheet_reader.h"

#include <array>
#include <cassert>
#include <cstddef>
#include <utility>
#include <vector>

#include "core/message_catalog.h"
#include "spreadsheet/ods_content.h"
#include "spreadsheet/row_builder.h"
#include "spreadsheet/xlsx_parts.h"
#include "spreadsheet/xml_stream.h"
#include "spreadsheet/zip_archive.h"

namespace {

constexpr std::string_view kOdsSpreadsheetType = "application/vnd.oasis.opendocument.spreadsheet";
constexpr std::string_view kOpenDocumentType = "application/vnd.oasis.opendocument.";

}  // namespace

// The opened file: its archive, what it holds, and the part being read.
class SpreadsheetReader::Workbook {
 public:
  Workbook(FileSystem& files, std::string name)
      : name_(std::move(name)),
        archive_(files),
        stream_(archive_, name_),
        worksheet_(row_, shared_strings_, date_styles_),
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
  std::vector<bool> date_styles_;
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

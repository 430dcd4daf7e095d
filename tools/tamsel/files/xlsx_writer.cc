#include "files/xlsx_writer.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "cli_context.h"
#include "files/cells.h"
#include "present/i18n.h"

namespace tamsel::cli {
namespace {

// Column widths in characters: room for the header and its filter button, or for the values a
// column of that kind usually holds.
double Width(const ExportColumn& column) {
  double usual = 10;
  switch (column.kind) {
    case ColumnKind::kText:
      usual = 16;
      break;
    case ColumnKind::kNumber:
      usual = 14;
      break;
    case ColumnKind::kDate:
      usual = 12;
      break;
    case ColumnKind::kWhole:
    case ColumnKind::kFlag:
      break;
  }
  return std::max(usual, static_cast<double>(column.name.size()) + 4);
}

// A yyyy-MM-dd text as a spreadsheet date; false for anything else or a year before 1900, which
// the format cannot hold.
bool ParseDate(std::string_view text, lxw_datetime& date) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  const auto number = [&](size_t at, size_t n, int& value) {
    const auto [end, ec] = std::from_chars(text.data() + at, text.data() + at + n, value);
    return ec == std::errc() && end == text.data() + at + n;
  };
  date = {};
  return number(0, 4, date.year) && number(5, 2, date.month) && number(8, 2, date.day) &&
         date.year >= 1900 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
         date.day <= 31;
}

class XlsxSheet : public SheetWriter {
 public:
  XlsxSheet(ExportTarget& out, std::vector<ExportColumn> columns)
      : path_(out.path()), columns_(std::move(columns)) {
    if (out.total() >= static_cast<int64_t>(LXW_ROW_MAX)) {
      throw ToolError(
          Tf("an xlsx sheet holds at most {0} rows below its header; narrow the "
             "export with --filter or --limit, or write CSV",
             LXW_ROW_MAX - 1));
    }
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    book_.reset(workbook_new_opt(out.temporary_path().c_str(), &options));
    if (book_ == nullptr) throw ToolError(Tf("cannot write {0}", path_));
    sheet_ = workbook_add_worksheet(book_.get(), nullptr);
    lxw_format* header = workbook_add_format(book_.get());
    format_set_bold(header);
    format_set_bg_color(header, 0xD9E1F2);
    format_set_bottom(header, LXW_BORDER_THIN);
    date_ = workbook_add_format(book_.get());
    format_set_num_format(date_, "yyyy-mm-dd");
    if (sheet_ == nullptr || header == nullptr || date_ == nullptr)
      Failed(LXW_ERROR_MEMORY_MALLOC_FAILED);
    for (size_t c = 0; c < columns_.size(); ++c) {
      const auto col = static_cast<lxw_col_t>(c);
      Check(worksheet_set_column(sheet_, col, col, Width(columns_[c]), nullptr));
      Check(worksheet_write_string(sheet_, 0, col, columns_[c].name.c_str(), header));
    }
    worksheet_freeze_panes(sheet_, 1, 0);
  }

  void Row(const std::vector<Cell>& cells) override {
    ++row_;
    for (size_t c = 0; c < columns_.size(); ++c) {
      const Cell& cell = cells[c];
      const auto col = static_cast<lxw_col_t>(c);
      switch (cell.type) {
        case Cell::Type::kNull:
          break;
        case Cell::Type::kFlag:
          Check(worksheet_write_number(sheet_, row_, col, cell.flag ? 1 : 0, nullptr));
          break;
        case Cell::Type::kWhole:
          Check(
              worksheet_write_number(sheet_, row_, col, static_cast<double>(cell.whole), nullptr));
          break;
        case Cell::Type::kNumber:
          if (!std::isfinite(cell.number)) FormatNumber(cell.number);  // refused as in CSV
          Check(worksheet_write_number(sheet_, row_, col, cell.number, nullptr));
          break;
        case Cell::Type::kText:
          WriteText(col, columns_[c].kind, cell.text);
          break;
      }
    }
  }

  void Close() override {
    const auto last_col = static_cast<lxw_col_t>(columns_.empty() ? 0 : columns_.size() - 1);
    Check(worksheet_autofilter(sheet_, 0, 0, row_, last_col));
    // Closing frees the workbook, whatever the outcome.
    Check(workbook_close(book_.release()));
  }

 private:
  void WriteText(lxw_col_t col, ColumnKind kind, const std::string& text) {
    lxw_datetime date;
    if (kind == ColumnKind::kDate && ParseDate(text, date)) {
      Check(worksheet_write_datetime(sheet_, row_, col, &date, date_));
      return;
    }
    if (text.empty()) return;
    if (kind == ColumnKind::kText && NeedsNeutralising(text)) {
      Check(worksheet_write_string(sheet_, row_, col, NeutraliseCell(text).c_str(), nullptr));
    } else {
      Check(worksheet_write_string(sheet_, row_, col, text.c_str(), nullptr));
    }
  }

  void Check(lxw_error error) const {
    if (error != LXW_NO_ERROR) Failed(error);
  }
  [[noreturn]] void Failed(lxw_error error) const {
    throw ToolError(Tf("cannot write {0}: {1}", path_, lxw_strerror(error)));
  }

  std::string path_;
  std::vector<ExportColumn> columns_;
  // Freed unclosed when the export fails: nothing is written, and the target drops its file.
  std::unique_ptr<lxw_workbook, decltype(&lxw_workbook_free)> book_{nullptr, lxw_workbook_free};
  lxw_worksheet* sheet_ = nullptr;
  lxw_format* date_ = nullptr;
  lxw_row_t row_ = 0;
};

}  // namespace

std::unique_ptr<SheetWriter> OpenXlsxSheet(ExportTarget& out, std::vector<ExportColumn> columns) {
  if (!out.to_file()) {
    throw UsageError(_("an xlsx workbook is written to a file: give -o FILE.xlsx"));
  }
  return std::make_unique<XlsxSheet>(out, std::move(columns));
}

}  // namespace tamsel::cli

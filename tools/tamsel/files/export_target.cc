#include "files/export_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli_context.h"
#include "common/text.h"
#include "files/cells.h"
#include "files/csv.h"
#include "files/formats.h"
#include "files/xlsx_writer.h"
#include "present/i18n.h"

namespace tamsel::cli {

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)), temporary_(path_ + ".XXXXXX") {
  // Beside the target, so that the rename stays on one file system.
  fd_ = ::mkstemp(temporary_.data());
  if (fd_ < 0) throw ToolError(Tf("cannot write {0}", path_));
  guard_.emplace(temporary_);
  // The mode a plain write would give: the old file's, or the default one for a new file.
  struct stat old {};
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, ::stat(path_.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~mask));
}

AtomicFile::~AtomicFile() {
  if (fd_ < 0) return;
  ::close(fd_);
  std::remove(temporary_.c_str());
}

void AtomicFile::Write(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd_, text.data(), text.size());
    if (n <= 0) throw ToolError(Tf("cannot write {0}", path_));
    text.remove_prefix(static_cast<size_t>(n));
  }
}

void AtomicFile::Commit() {
  const bool synced = ::fsync(fd_) == 0;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!synced || !closed || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    std::remove(temporary_.c_str());
    throw ToolError(Tf("cannot write {0}", path_));
  }
  guard_.reset();
}

ExportTarget::ExportTarget(const std::string& path, const std::function<int64_t()>& count)
    : path_(path), progress_(_("exporting")) {
  if (path.empty() || path == "-") return;
  file_.emplace(path);
  total_ = count();
}

void ExportTarget::Write(std::string_view text) {
  if (file_) {
    file_->Write(text);
  } else {
    std::cout << text;
  }
}

void ExportTarget::BeginCsv() {
  // A file is for a spreadsheet, which needs the mark to read UTF-8; a pipe is for a program.
  if (file_) Write(kUtf8Bom);
}

void ExportTarget::Counted() {
  ++written_;
  if (total_ > 0) progress_.Update(static_cast<double>(written_) / static_cast<double>(total_));
}

void ExportTarget::Finish(const char* singular, const char* plural) {
  if (!file_) return;
  if (total_ > 0) progress_.Finish();
  file_->Commit();
  std::cerr << Tfn(singular, plural, written_, written_, path_) << '\n';
}

std::string ExportFormat(const std::string& format, const std::string& path, bool json_default) {
  const bool xlsx = format == "xlsx" ||
                    (format.empty() &&
                     detail::Lower(std::filesystem::path(path).extension().string()) == ".xlsx");
  if (!xlsx) return ImportFormat(format, path, json_default);
  if (path.empty() || path == "-") {
    throw UsageError(_("an xlsx workbook is written to a file: give -o FILE.xlsx"));
  }
  return "xlsx";
}

std::string_view CellText(const Cell& cell, std::string& scratch) {
  switch (cell.type) {
    case Cell::Type::kNull:
      return {};
    case Cell::Type::kFlag:
      return cell.flag ? "1" : "0";
    case Cell::Type::kWhole: {
      scratch.resize(24);
      const auto end = std::to_chars(scratch.data(), scratch.data() + scratch.size(), cell.whole);
      scratch.resize(static_cast<size_t>(end.ptr - scratch.data()));
      return scratch;
    }
    case Cell::Type::kNumber:
      scratch = FormatNumber(cell.number);
      return scratch;
    case Cell::Type::kText:
      break;
  }
  return cell.text;
}

namespace {

class CsvSheet : public SheetWriter {
 public:
  CsvSheet(ExportTarget& out, std::vector<ExportColumn> columns)
      : columns_(std::move(columns)), text_([&out](std::string_view text) { out.Write(text); }) {
    out.BeginCsv();
    std::string& line = text_.text();
    for (size_t c = 0; c < columns_.size(); ++c) AppendCsvField(line, columns_[c].name, c == 0);
    line += "\r\n";
  }

  void Row(const std::vector<Cell>& cells) override {
    std::string& line = text_.text();
    for (size_t c = 0; c < columns_.size(); ++c) {
      std::string_view text = CellText(cells[c], scratch_);
      if (columns_[c].kind == ColumnKind::kText && NeedsNeutralising(text)) {
        scratch_ = NeutraliseCell(text);
        text = scratch_;
      }
      AppendCsvField(line, text, c == 0);
    }
    line += "\r\n";
    text_.FlushIfFull();
  }

  void Close() override { text_.Flush(); }

 private:
  std::vector<ExportColumn> columns_;
  TextBuffer text_;
  std::string scratch_;
};

}  // namespace

std::unique_ptr<SheetWriter> OpenSheet(ExportTarget& out, const std::string& format,
                                       std::vector<ExportColumn> columns) {
  if (format == "xlsx") return OpenXlsxSheet(out, std::move(columns));
  return std::make_unique<CsvSheet>(out, std::move(columns));
}

void WriteFileAtomically(const std::string& path, const std::string& text) {
  AtomicFile file(path);
  file.Write(text);
  file.Commit();
}

}  // namespace tamsel::cli

#pragma once

// Where files are written: whole or not at all, and an export's target with its progress.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/cleanup.h"
#include "present/output.h"
#include "present/progress.h"

namespace tamsel::cli {

// A file replaced whole or not at all: the text goes to a temporary file beside it, which takes
// the file's place on Commit. Destroyed before that, it leaves the old file as it was.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  void Write(std::string_view text);
  void Commit();
  // Where the text goes until Commit, for a writer that writes files only by name.
  const std::string& temporary_path() const { return temporary_; }

 private:
  std::string path_, temporary_;
  int fd_ = -1;
  std::optional<TempFileGuard> guard_;  // removes the temporary file on a signal
};

// Where an export goes: a file (replaced only once complete, its progress shown while written) or
// standard output for "" and "-".
class ExportTarget {
 public:
  // count, asked for a file only, is how many elements the export is going to write.
  ExportTarget(const std::string& path, const std::function<int64_t()>& count);
  bool to_file() const { return file_.has_value(); }
  const std::string& path() const { return path_; }
  // The file being written, for a writer that writes files only by name; to_file() only.
  const std::string& temporary_path() const { return file_->temporary_path(); }
  int64_t total() const { return total_; }
  void Write(std::string_view text);
  // Before the CSV header line.
  void BeginCsv();
  // One element written.
  void Counted();
  // Completes a file and says on stderr what it holds: a pair from NP_() with {0} the count and
  // {1} the path. Standard output needs no summary.
  void Finish(const char* singular, const char* plural);

 private:
  std::string path_;
  std::optional<AtomicFile> file_;
  ProgressBar progress_;
  int64_t total_ = 0;
  int64_t written_ = 0;
};

// "csv", "json" or "xlsx": format when given, else by the path's extension, else json with
// json_default, else csv. An xlsx workbook is assembled whole at its end, so it goes to a file
// only: UsageError for standard output.
std::string ExportFormat(const std::string& format, const std::string& path, bool json_default);

// How a spreadsheet is to show an exported column.
enum class ColumnKind { kText, kWhole, kNumber, kDate, kFlag };
struct ExportColumn {
  std::string name;
  ColumnKind kind;
};

// The rows of an exported table, one cell per column (null cells empty), as a CSV file or an
// xlsx workbook. Text cells are neutralised so that a spreadsheet never runs them as formulas.
class SheetWriter {
 public:
  virtual ~SheetWriter() = default;
  virtual void Row(const std::vector<Cell>& cells) = 0;
  // Completes the sheet; the target's Finish then completes the file.
  virtual void Close() = 0;
};
// "csv" or "xlsx" (which needs a file).
std::unique_ptr<SheetWriter> OpenSheet(ExportTarget& out, const std::string& format,
                                       std::vector<ExportColumn> columns);
// A cell's text in CSV: null empty, flags 1/0, numbers plain decimals, as JsonToCell writes the
// same value. scratch holds the text where the cell does not.
std::string_view CellText(const Cell& cell, std::string& scratch);

// Replaces the file's content at once: a failure leaves the file as it was, never half-written.
void WriteFileAtomically(const std::string& path, const std::string& text);

}  // namespace tamsel::cli

#pragma once

// Where files are written: whole or not at all, and an export's target with its progress.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "files/cleanup.h"
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

// Replaces the file's content at once: a failure leaves the file as it was, never half-written.
void WriteFileAtomically(const std::string& path, const std::string& text);

}  // namespace tamsel::cli

// The tool's CSV reader: records or ToolError; what it reads writes out as JSON and reads back
// the same after FormatCsvLine.

#include "csv.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli_context.h"
#include "output.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tamsel::cli;
  std::vector<CsvRecord> records;
  try {
    records = ParseCsv(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const ToolError&) {
    return 0;
  }
  std::string written;
  std::vector<std::vector<std::string>> expected;
  for (const auto& record : records) {
    Json(record.fields).dump();  // throws on text that is not UTF-8
    // A record of one empty field writes as a blank line, which reads as no record.
    if (record.fields.size() == 1 && record.fields[0].empty()) continue;
    written += FormatCsvLine(record.fields);
    expected.push_back(record.fields);
  }
  const auto again = ParseCsv(written);
  if (again.size() != expected.size()) std::abort();
  for (size_t i = 0; i < again.size(); ++i) {
    if (again[i].fields != expected[i]) std::abort();
  }
  return 0;
}

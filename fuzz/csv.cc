// The tool's CSV reader: records or ToolError; what it reads writes out as JSON and reads back
// the same after FormatCsvLine. Every field survives the quoting of formula-like text, which then
// starts with nothing a spreadsheet would run.

#include "files/csv.h"

#include "cli_context.h"
#include "files/cells.h"
#include "harness.h"
#include "present/output.h"

TAMSEL_FUZZ_TARGET(text) {
  using namespace tamsel::cli;
  std::vector<CsvRecord> records;
  try {
    records = ParseCsv(text);
  } catch (const ToolError&) {
    return;
  }
  std::string written;
  std::vector<std::vector<std::string>> expected;
  for (const auto& record : records) {
    Json(record.fields).dump();  // throws on text that is not UTF-8
    for (const auto& field : record.fields) {
      const std::string cell = NeutraliseCell(field);
      if (RestoreCell(cell) != field || std::string_view("=+-@\t\r").find(cell[0]) < 6) {
        std::abort();
      }
    }
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
}

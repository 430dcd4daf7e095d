// The tool's rule-file reader on any JSON: a rule or ToolError, and the rule writes out again.

#include <cstdint>
#include <string>

#include "cli_context.h"
#include "rule_file.h"
#include "suite_db.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tamsel::cli;
  const Json file = Json::parse(data, data + size, nullptr, /*allow_exceptions=*/false);
  if (file.is_discarded()) return 0;
  try {
    const auto rule = RuleFromJson(file, SuiteManager());
    RuleToJson(*rule).dump();
  } catch (const ToolError&) {
  } catch (const tamsel::ComponentError&) {
  }
  return 0;
}

// The tool's rule-file reader on any JSON: a rule or ToolError, and the rule writes out again.

#include "cli_context.h"
#include "files/rule_file.h"
#include "harness.h"

TAMSEL_FUZZ_TARGET(text) {
  using namespace tamsel::cli;
  const Json file = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (file.is_discarded()) return;
  Refusing<ToolError, tamsel::ComponentError>(
      [&] { RuleToJson(*RuleFromJson(file, SuiteManager())).dump(); });
}

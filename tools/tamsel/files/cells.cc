#include "files/cells.h"

namespace tamsel::cli {

namespace {
constexpr std::string_view kFormulaStarts = "=+-@\t\r'";
constexpr char kQuote = '\'';
}  // namespace

bool NeedsNeutralising(std::string_view text) {
  return !text.empty() && kFormulaStarts.find(text.front()) != std::string_view::npos;
}

std::string NeutraliseCell(std::string_view text) {
  std::string cell;
  if (NeedsNeutralising(text)) cell += kQuote;
  cell += text;
  return cell;
}

std::string_view RestoreCell(std::string_view cell) {
  if (!cell.empty() && cell.front() == kQuote) cell.remove_prefix(1);
  return cell;
}

}  // namespace tamsel::cli

#include "files/cells.h"

namespace tamsel::cli {

namespace {
constexpr std::string_view kFormulaStarts = "=+-@\t\r'";
constexpr char kQuote = '\'';
}  // namespace

std::string NeutraliseCell(std::string_view text) {
  if (text.empty() || kFormulaStarts.find(text.front()) == std::string_view::npos) {
    return std::string(text);
  }
  std::string cell(1, kQuote);
  cell += text;
  return cell;
}

std::string_view RestoreCell(std::string_view cell) {
  if (!cell.empty() && cell.front() == kQuote) cell.remove_prefix(1);
  return cell;
}

}  // namespace tamsel::cli

#include "files/cells.h"

namespace tamsel::cli {

bool NeedsNeutralising(std::string_view text) {
  return !text.empty() &&
         std::string_view("=+-@\t\r'").find(text.front()) != std::string_view::npos;
}

std::string NeutraliseCell(std::string_view text) {
  std::string out;
  if (NeedsNeutralising(text)) out += '\'';
  out += text;
  return out;
}

}  // namespace tamsel::cli

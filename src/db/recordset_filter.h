#pragma once

// The condition language of Recordset::Filter: column op literal, AND / OR / NOT, parentheses,
// IS [NOT] NULL and LIKE with % and _.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/internal_api.h"
#include "tamsel/variant.h"

namespace tamsel::detail {

class TAMSEL_INTERNAL RowFilter {
 public:
  struct Node;

  // Compiles a condition over the given columns (names matched ignoring letter case). A
  // condition that does not parse or names an unknown column throws DatabaseError.
  static RowFilter Parse(std::string_view condition, const std::vector<std::string>& columns);

  // row points at one value per column, in the order Parse was given. A comparison with a Null
  // value is false, as in SQL.
  bool Matches(const Variant* row) const;

 private:
  explicit RowFilter(std::shared_ptr<const Node> root) : root_(std::move(root)) {}
  std::shared_ptr<const Node> root_;
};

// LIKE: % any run of characters, _ exactly one (UTF-8) character, ASCII letters without case.
TAMSEL_INTERNAL bool LikeMatch(std::string_view value, std::string_view pattern);

}  // namespace tamsel::detail

// Recordset filters on any text, matched against a row with one value of each kind.

#include "db/recordset_filter.h"

#include <vector>

#include "harness.h"

TAMSEL_FUZZ_TARGET(text) {
  using tamsel::Variant;
  static const std::vector<std::string> kColumns = {"cInvCode", "iPrice", "dDate",
                                                    "bFlag",    "cMemo",  "iCount"};
  static const Variant kRow[] = {
      Variant("A01"), Variant(12.5),   Variant(tamsel::Date::FromYmd(2026, 6, 1)),
      Variant(true),  Variant::Null(), Variant(int32_t{7})};
  Refusing<tamsel::DatabaseError>(
      [&] { tamsel::detail::RowFilter::Parse(text, kColumns).Matches(kRow); });
}

// Recordset filters on any text, matched against a row with one value of each kind.

#include "services/recordset_filter.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tamsel/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tamsel::Variant;
  static const std::vector<std::string> kColumns = {"cInvCode", "iPrice", "dDate",
                                                    "bFlag",    "cMemo",  "iCount"};
  static const Variant kRow[] = {
      Variant("A01"), Variant(12.5),   Variant(tamsel::Date::FromYmd(2026, 6, 1)),
      Variant(true),  Variant::Null(), Variant(int32_t{7})};
  try {
    const auto filter = tamsel::detail::RowFilter::Parse(
        std::string_view(reinterpret_cast<const char*>(data), size), kColumns);
    filter.Matches(kRow);
  } catch (const tamsel::DatabaseError&) {
  }
  return 0;
}

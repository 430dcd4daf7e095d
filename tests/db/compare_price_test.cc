// ComparePrice: authorisation, local-currency conversion and the winner.

#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

TEST(ComparePrice, Winner) {
  for (const auto& c : ReadCases("lookup.txt", "compare")) {
    SCOPED_TRACE(c[0]);
    LookupEnv env;
    AddCurrency(env.db, "HALF", Variant(int32_t{0}), Variant(0.5));
    AddCurrency(env.db, "NORATE", Variant(int32_t{1}), Variant());
    AddCurrency(env.db, "NULLCAL", Variant::Null(), Variant(2.0));
    AddCurrency(env.db, "ZERODIV", Variant(int32_t{0}), Variant(0.0));
    AddCurrency(env.db, "ZEROMUL", Variant(int32_t{1}), Variant(0.0));
    int32_t iid = 0;
    for (const auto& [code, end] : {std::pair("V01", Variant::Null()),
                                    {"V02", Variant::Null()},
                                    {"ENDED", Variant("2024-06-01")},
                                    {"TODAY", Variant("2024-06-15")},
                                    {"LATER", Variant("2024-06-16")}}) {
      AddVendor(env.db, {.code = code, .iid = ++iid, .end_date = end});
    }
    std::vector<int32_t> ids;
    for (const auto& r : Split(c[1], ';')) ids.push_back(AddPrice(env.db, PriceFrom(r)));
    auto item = env.manager.ComparePrice("I01", 3);
    const int32_t winner = VarToLng(Variant(c[2]));
    EXPECT_EQ(item ? item->id : 0, winner < 0 ? 0 : ids.at(winner));
  }
}

TEST(ComparePrice, AuthorisedVendorsAndMonthlyRates) {
  LookupEnv env;
  AddVendor(env.db, {.code = "V01", .iid = 1});
  AddVendor(env.db, {.code = "V02", .iid = 2});
  const int32_t v01 = AddPrice(env.db, {.ven = Variant("V01"), .exch = Variant("USD"), .price = 1});
  const int32_t v02 = AddPrice(env.db, {.ven = Variant("V02"), .price = 8});
  const auto winner = [&] {
    auto item = env.manager.ComparePrice("I01", 1);
    return item ? item->id : 0;
  };
  env.auth->condition = "2";
  EXPECT_EQ(winner(), v01);  // the check is off: the service is not asked
  EXPECT_EQ(env.auth->condition_calls, 0);
  env.info->Set("bCheckVendorAuth", Variant(true));
  EXPECT_EQ(winner(), v02);
  env.auth->condition = "";  // unrestricted
  EXPECT_EQ(winner(), v01);
  env.auth->condition = "1=2";  // nothing visible: no price statement runs
  StatementLog log;
  EXPECT_EQ(winner(), 0);
  EXPECT_TRUE(log.statements().empty());
  EXPECT_EQ(env.auth->condition_calls, 3);
  // Monthly rates: at 7 USD loses, without a monthly rate for the period it counts at 1.
  env.auth->condition = "";
  env.info->Set("getdicvalue", Variant(true));
  env.db.Exec("update exch set nflat = 9 where itype=2");
  EXPECT_EQ(winner(), v02);
  env.db.Exec("delete from exch where itype=2");
  auto item = env.manager.ComparePrice("I01", 1);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->id, v01);
  EXPECT_DOUBLE_EQ(item->iUnitPrice, 1);  // the row's own price, not the local one
}

TEST(ComparePrice, RuleCarriesTheNames) {
  LookupEnv env;
  env.db.Exec("insert into ComputationUnit (cComUnitCode, cComUnitName) values ('PCS','Piece')");
  env.db.Exec("insert into ex_incoterms (cIncotermCode, cIncotermsRemark) values ('FOB','Free')");
  AddItem(env.db, {.code = "I01", .name = " Bolt ", .unit = "PCS"});
  AddVendor(env.db, {.code = "V01", .iid = 1, .abb_name = "Acme"});
  const int32_t id = AddPrice(env.db, {.tax_rate = 17, .term = "FOB"});
  auto item = env.manager.ComparePrice("I01", 1);
  ASSERT_NE(item, nullptr);
  const std::string ids = "id=" + std::to_string(id);
  EXPECT_EQ(TierText(*item), ids + " #1 0..null price=10 tax=17 taxprice=11.7");
  ASSERT_NE(item->objRule(), nullptr);
  // Names come trimmed from the joined tables; the tax rate is the row's.
  EXPECT_EQ(RuleText(*item->objRule()),
            ids +
                " ven=V01/Acme inv=I01/Bolt/I01-A/std unit=PCS/Piece tax=17 2024-01-01.. "
                "promo=0 exch=CNY supply=1 taxcost=1 memo= term=FOB/Free ufts=set tiers=1");
  // The row version in the views' money form, whatever the driver reads from the table.
  EXPECT_EQ(
      item->objRule()->ufts,
      VarToStr(QueryValue(*env.db.Connect(), "select ufts from pu_veninvpricelist where autoid=" +
                                                 std::to_string(id))));
}

TEST(ComparePrice, Failures) {
  LookupEnv env;
  AddItem(env.db, {.code = "QUOTE'S"});
  EXPECT_EQ(env.manager.ComparePrice("QUOTE'S", 1, 1, "<z cfree1=\"'\"/>"), nullptr);
  const std::pair<const char*, Variant> cases[] = {
      {"getdicvalue", Variant::Null()},  // the exchange-rate option
      {"getdicvalue", Variant("monthly")},
      {"Today", Variant("someday")},
  };
  for (const auto& [member, value] : cases) {
    SCOPED_TRACE(member);
    LookupEnv failing;
    failing.info->Set(member, value);
    ExpectAssertError([&] { failing.manager.ComparePrice("I01", 1); });
  }
}

}  // namespace
}  // namespace tamsel::testing

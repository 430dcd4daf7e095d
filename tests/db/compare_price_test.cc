// ComparePrice: the statement, authorisation, local-currency conversion and the winner.

#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

// The statement for item I01, quantity 3, supply type 1 on 2024-06-15, without free items.
std::string ExpectedSql(const std::string& auth, const std::string& rate) {
  const std::string validity =
      std::string(" isnull(ven.denddate,'9999-12-31')>N'2024-06-15") +
      "' and isnull(pu_veninvpricelist.cvencode,'')<>'' and pu_veninvpricelist.cInvCode =N'I01" +
      "' and pu_veninvpricelist.iSupplyType = 1" + " and pu_veninvpricelist.iLowerLimit<=3" +
      " and pu_veninvpricelist.dEnableDate <=N'2024-06-15" +
      "' and ((dDisableDate is null) or (dDisableDate >'2024-06-15'))" +
      (auth.empty() ? "" : " and " + auth) +
      " and ((ddisabledate is null) Or ddisabledate > '2024-06-15') ";
  return std::string(
             " select top 1  autoid as id,pu_veninvpricelist.cvencode,cvenabbname,"
             "pu_veninvpricelist.cinvcode,cinvname,inv.cComUnitCode,cComUnitName,cInvAddCode,"
             "cInvStd,pu_veninvpricelist.itaxrate as iInvTaxRate,") +
         "pu_veninvpricelist.dEnableDate,dDisableDate,bPromotion,pu_veninvpricelist.cExch_Name,"
         "pu_veninvpricelist.iSupplyType,bTaxCost,pu_veninvpricelist.cMemo,ufts,cTermCode, "
         "v_ex_incoterms.cincotermsremark as cTermName,pu_veninvpricelist.iLowerLimit," +
         "iUpperLimit,pu_veninvpricelist.iTaxRate,iTaxUnitPrice , iUnitPrice, " +
         "case isnull(foreigncurrency.bcal,1) when 1 then "
         "pu_veninvpricelist.iunitprice*isnull(exch.nflat,1) else "
         "pu_veninvpricelist.iunitprice/isnull(exch.nflat,1) end as inatprice " +
         " from ven_inv_price pu_veninvpricelist left join inventory inv on "
         "inv.cinvcode=pu_veninvpricelist.cinvcode " +
         " left join vendor ven on ven.cvencode=pu_veninvpricelist.cvencode" +
         " left join computationunit  unit1  on inv.ccomunitcode=unit1.ccomunitcode" +
         " left join dbo.v_ex_incoterms ON v_ex_incoterms.cincotermcode = "
         "pu_veninvpricelist.cTermCode  " +
         " left join foreigncurrency on (pu_veninvpricelist.cexch_name "
         "=foreigncurrency.cexch_name) " +
         " left join exch on (foreigncurrency.cexch_name = exch.cexch_name) and " + rate +
         " inner join " +
         " (select pu_veninvpricelist.cvencode,cinvcode,ilowerlimit,iSupplyType,cExch_Name,"
         "Max(dEnableDate) as dEnableDate,isnull(cfree1,'') as cafree1,isnull(cfree2,'') as "
         "cafree2,isnull(cfree3,'') as cafree3,isnull(cfree4,'') as cafree4,isnull(cfree5,'') "
         "as cafree5,isnull(cfree6,'') as cafree6,isnull(cfree7,'') as cafree7,isnull(cfree8,'') "
         "as cafree8,isnull(cfree9,'') as cafree9,isnull(cfree10,'') as cafree10  " +
         " from ven_inv_price pu_veninvpricelist left join vendor ven on "
         "ven.cvencode=pu_veninvpricelist.cvencode" +
         " where " + validity +
         " group by pu_veninvpricelist.cvencode,cinvcode,ilowerlimit,iSupplyType,cExch_Name, "
         "isnull(cfree1,''),isnull(cfree2,''),isnull(cfree3,''),isnull(cfree4,''),isnull(cfree5,"
         "''),isnull(cfree6,''),isnull(cfree7,''),isnull(cfree8,''),isnull(cfree9,''),isnull("
         "cfree10,'') " +
         " ) a " + " on pu_veninvpricelist.cvencode = a.cvencode " +
         " and pu_veninvpricelist.cinvcode = a.cinvcode " +
         " and pu_veninvpricelist.ilowerlimit = a.ilowerlimit " +
         " and pu_veninvpricelist.iSupplyType =a.iSupplyType " +
         " and pu_veninvpricelist.cExch_Name =a.cExch_Name " +
         " and pu_veninvpricelist.dEnableDate =a.dEnableDate " +
         " and isnull(pu_veninvpricelist.cfree1,'') =a.cafree1 " +
         " and isnull(pu_veninvpricelist.cfree2,'') =a.cafree2 " +
         " and isnull(pu_veninvpricelist.cfree3,'') =a.cafree3 " +
         " and isnull(pu_veninvpricelist.cfree4,'') =a.cafree4 " +
         " and isnull(pu_veninvpricelist.cfree5,'') =a.cafree5 " +
         " and isnull(pu_veninvpricelist.cfree6,'') =a.cafree6 " +
         " and isnull(pu_veninvpricelist.cfree7,'') =a.cafree7 " +
         " and isnull(pu_veninvpricelist.cfree8,'') =a.cafree8 " +
         " and isnull(pu_veninvpricelist.cfree9,'') =a.cafree9 " +
         " and isnull(pu_veninvpricelist.cfree10,'') =a.cafree10 " + " where " + validity +
         " order by inatprice asc,pu_veninvpricelist.denabledate desc,"
         "pu_veninvpricelist.iLowerLimit DESC,autoid desc";
}

const std::string kDaily = "(exch.itype= 1 AND exch.cdate=N'2024.06.15')";
const std::string kMonthly = "(exch.itype= 2) AND (exch.iyear=N'2024' and exch.cdate=N'6')";

TEST(ComparePrice, StatementText) {
  const struct {
    const char* name;
    bool check_auth;
    const char* answer;
    bool monthly;
    std::vector<std::string> expected;  // price statements run
    int auth_calls;
  } cases[] = {
      {"no authorisation, daily", false, "7,8", false, {ExpectedSql("", kDaily)}, 0},
      {"unrestricted, monthly", true, "", true, {ExpectedSql("", kMonthly)}, 1},
      {"id list", true, "7,8", false, {ExpectedSql("ven.iid in (7,8)", kDaily)}, 1},
      {"nothing visible", true, "1=2", false, {}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LookupEnv env;
    env.info->Set("bCheckVendorAuth", Variant(c.check_auth));
    env.info->Set("getdicvalue", Variant(c.monthly));
    env.auth->condition = c.answer;
    StatementLog log;
    EXPECT_EQ(env.manager.ComparePrice("I01", 3), nullptr);
    EXPECT_EQ(log.statements(), c.expected);
    EXPECT_EQ(env.auth->condition_calls, c.auth_calls);
  }
}

struct Vendor {
  const char* code;
  int32_t iid;
  Variant end_date = Variant::Null();
};

struct WinnerCase {
  const char* name;
  std::vector<PriceRow> rows;
  int winner;  // index into rows, -1 for none
};

TEST(ComparePrice, Winner) {
  const Variant promo = Variant(int32_t{1});
  const WinnerCase cases[] = {
      {"cheapest in local currency: 65 local beats 10 at rate 7",
       {{.ven = Variant("V01"), .exch = Variant("USD"), .price = 10},
        {.ven = Variant("V02"), .exch = Variant("CNY"), .price = 65}},
       1},
      {"bcal 0 divides: 10 at rate 0.5 is 20",
       {{.ven = Variant("V01"), .exch = Variant("HALF"), .price = 10},
        {.ven = Variant("V02"), .price = 19.5}},
       1},
      {"bcal 0 divides: 10 at rate 0.5 loses to 20.5",
       {{.ven = Variant("V01"), .exch = Variant("HALF"), .price = 10},
        {.ven = Variant("V02"), .price = 20.5}},
       0},
      {"currency without a row counts at rate 1",
       {{.ven = Variant("V01"), .exch = Variant("XXX"), .price = 8},
        {.ven = Variant("V02"), .exch = Variant("USD"), .price = 2}},
       0},
      {"currency without a rate counts at rate 1",
       {{.ven = Variant("V01"), .exch = Variant("NORATE"), .price = 8},
        {.ven = Variant("V02"), .exch = Variant("USD"), .price = 2}},
       0},
      {"null bcal multiplies",
       {{.ven = Variant("V01"), .exch = Variant("NULLCAL"), .price = 10},
        {.ven = Variant("V02"), .price = 15}},
       1},
      {"only the latest enable date of a group takes part",
       {{.ven = Variant("V01"), .enable = "2024-01-01", .price = 1},
        {.ven = Variant("V01"), .enable = "2024-02-01", .price = 5},
        {.ven = Variant("V02"), .price = 3}},
       2},
      {"equal prices: later enable date",
       {{.ven = Variant("V01"), .enable = "2024-03-01"},
        {.ven = Variant("V02"), .enable = "2024-01-01"}},
       0},
      {"equal prices and dates: greater lower limit",
       {{.ven = Variant("V01"), .lower = 2}, {.ven = Variant("V02"), .lower = 0}},
       0},
      {"equal in all: greater autoid",
       {{.ven = Variant("V01"), .promotion = promo}, {.ven = Variant("V02")}},
       1},
      {"rows without vendor never qualify", {{.ven = Variant::Null()}, {.ven = Variant("")}}, -1},
      {"vendor ended today or earlier", {{.ven = Variant("ENDED")}, {.ven = Variant("TODAY")}}, -1},
      {"vendor ending tomorrow, unknown vendor",
       {{.ven = Variant("LATER"), .price = 4}, {.ven = Variant("GHOST"), .price = 3}},
       1},
      {"lower limit above the quantity, upper limit below it",
       {{.ven = Variant("V01"), .lower = 4, .price = 1},
        {.ven = Variant("V02"), .upper = Variant(1.0), .price = 2}},
       1},
      {"validity ends on the day", {{.disable = Variant("2024-06-15")}}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LookupEnv env;
    AddCurrency(env.db, "HALF", 0, Variant(int32_t{0}));
    AddRate(env.db, "HALF", 1, 2024, "2024.06.15", 0.5);
    AddCurrency(env.db, "NORATE", 0, Variant(int32_t{1}));
    AddCurrency(env.db, "NULLCAL", 0, Variant::Null());
    AddRate(env.db, "NULLCAL", 1, 2024, "2024.06.15", 2);
    const Vendor vendors[] = {{"V01", 1},
                              {"V02", 2},
                              {"ENDED", 3, Variant("2024-06-01")},
                              {"TODAY", 4, Variant("2024-06-15")},
                              {"LATER", 5, Variant("2024-06-16")}};
    for (const auto& v : vendors) {
      AddVendor(env.db, {.code = v.code, .iid = v.iid, .end_date = v.end_date});
    }
    std::vector<int32_t> ids;
    for (const auto& r : c.rows) ids.push_back(AddPrice(env.db, r));
    auto item = env.manager.ComparePrice("I01", 3);
    if (c.winner < 0) {
      EXPECT_EQ(item, nullptr);
    } else {
      ASSERT_NE(item, nullptr);
      EXPECT_EQ(item->id, ids[c.winner]);
    }
  }
}

TEST(ComparePrice, AuthorisedVendorsAndMonthlyRates) {
  LookupEnv env;
  AddVendor(env.db, {.code = "V01", .iid = 1});
  AddVendor(env.db, {.code = "V02", .iid = 2});
  AddPrice(env.db, {.ven = Variant("V01"), .exch = Variant("USD"), .price = 1});  // 7 local
  const int32_t v02 = AddPrice(env.db, {.ven = Variant("V02"), .price = 8});
  env.info->Set("bCheckVendorAuth", Variant(true));
  env.auth->condition = "2";
  EXPECT_EQ(env.manager.ComparePrice("I01", 1)->id, v02);
  env.auth->condition = "";
  EXPECT_NE(env.manager.ComparePrice("I01", 1)->id, v02);
  // Without a monthly rate for the period USD counts at 1.
  env.info->Set("getdicvalue", Variant(true));
  env.db.Exec("delete from exch where itype=2");
  auto item = env.manager.ComparePrice("I01", 1);
  ASSERT_NE(item, nullptr);
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
  auto rule = item->objRule();
  ASSERT_NE(rule, nullptr);
  EXPECT_EQ(rule->id, id);
  EXPECT_EQ(rule->cVenAbbName, "Acme");
  EXPECT_EQ(rule->cInvName, "Bolt");
  EXPECT_EQ(rule->cComUnitCode, "PCS");
  EXPECT_EQ(rule->cComUnitName, "Piece");
  EXPECT_EQ(rule->cInvAddCode, "I01-A");
  EXPECT_EQ(rule->cTermName, "Free");
  EXPECT_DOUBLE_EQ(rule->iTaxRate, 17);
  EXPECT_FALSE(rule->ufts.empty());
  EXPECT_EQ(item->index, 1);
  EXPECT_DOUBLE_EQ(item->iTaxRate, 17);
}

TEST(ComparePrice, Failures) {
  PriceRuleManager never_initialised;
  {
    StatementLog log;
    EXPECT_EQ(never_initialised.ComparePrice(" ", 1), nullptr);
    EXPECT_TRUE(log.statements().empty());
  }
  LookupEnv env;
  AddItem(env.db, {.code = "QUOTE'S"});
  EXPECT_EQ(env.manager.ComparePrice("QUOTE'S", 1, 1, "<z cfree1=\"'\"/>"), nullptr);

  const struct {
    const char* name;
    const char* member;
    Variant value;
  } cases[] = {
      {"exchange-rate option Null", "getdicvalue", Variant::Null()},
      {"exchange-rate option not a Boolean", "getdicvalue", Variant("monthly")},
      {"business date not a date", "Today", Variant("someday")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LookupEnv failing;
    failing.info->Set(c.member, c.value);
    auto error = CatchComponentError([&] { failing.manager.ComparePrice("I01", 1); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), -2147220503);
    EXPECT_EQ(error->source(), "Assert");
    EXPECT_FALSE(error->description().empty());
  }
  auto error = CatchComponentError([&] { never_initialised.ComparePrice("I01", 1); });
  ASSERT_TRUE(error);
  EXPECT_NE(error->description().find("not initialised"), std::string::npos);
}

}  // namespace
}  // namespace tamsel::testing

// ComparePrice: the statement, authorisation, local-currency conversion and the winner.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

// The ten free-item pieces from a pattern with {0} for the number, joined by sep.
std::string EachFree(const char* pattern, const char* sep) {
  std::string out;
  for (int n = 1; n <= 10; ++n) out += (n > 1 ? sep : "") + fmt::format(fmt::runtime(pattern), n);
  return out;
}

// The statement for item I01, quantity 3, supply type 1 on 2024-06-15, without free items.
std::string ExpectedSql(const std::string& auth, const std::string& rate) {
  const std::string validity =
      " isnull(ven.denddate,'9999-12-31')>N'2024-06-15' and isnull(pu_veninvpricelist.cvencode,'')"
      "<>'' and pu_veninvpricelist.cInvCode =N'I01' and pu_veninvpricelist.iSupplyType = 1 and "
      "pu_veninvpricelist.iLowerLimit<=3 and pu_veninvpricelist.dEnableDate <=N'2024-06-15' and "
      "((dDisableDate is null) or (dDisableDate >'2024-06-15'))" +
      (auth.empty() ? "" : " and " + auth) +
      " and ((ddisabledate is null) Or ddisabledate > '2024-06-15') ";
  return std::string(
             " select top 1  autoid as id,pu_veninvpricelist.cvencode,cvenabbname,"
             "pu_veninvpricelist.cinvcode,cinvname,inv.cComUnitCode,cComUnitName,cInvAddCode,"
             "cInvStd,pu_veninvpricelist.itaxrate as iInvTaxRate,pu_veninvpricelist.dEnableDate,"
             "dDisableDate,bPromotion,pu_veninvpricelist.cExch_Name,pu_veninvpricelist.iSupplyType,"
             "bTaxCost,pu_veninvpricelist.cMemo,convert(varchar(30),convert(money,"
             "pu_veninvpricelist.ufts),2) as ufts,cTermCode, v_ex_incoterms.cincotermsremark as "
             "cTermName,pu_veninvpricelist.iLowerLimit,iUpperLimit,pu_veninvpricelist.iTaxRate,"
             "iTaxUnitPrice , iUnitPrice, case isnull(foreigncurrency.bcal,1) when 1 then "
             "pu_veninvpricelist.iunitprice*isnull(nullif(exch.nflat,0),1) else "
             "pu_veninvpricelist.iunitprice/isnull(nullif(exch.nflat,0),1) end as inatprice  from "
             "ven_inv_price pu_veninvpricelist left join inventory inv on "
             "inv.cinvcode=pu_veninvpricelist.cinvcode  left join vendor ven on "
             "ven.cvencode=pu_veninvpricelist.cvencode left join computationunit  unit1  on "
             "inv.ccomunitcode=unit1.ccomunitcode left join dbo.v_ex_incoterms ON "
             "v_ex_incoterms.cincotermcode = pu_veninvpricelist.cTermCode   left join "
             "foreigncurrency on (pu_veninvpricelist.cexch_name =foreigncurrency.cexch_name)  left "
             "join exch on (foreigncurrency.cexch_name = exch.cexch_name) and ") +
         rate +
         " inner join  (select pu_veninvpricelist.cvencode,cinvcode,ilowerlimit,iSupplyType,"
         "cExch_Name,Max(dEnableDate) as dEnableDate," +
         EachFree("isnull(cfree{0},'') as cafree{0}", ",") +
         "   from ven_inv_price pu_veninvpricelist left join vendor ven on "
         "ven.cvencode=pu_veninvpricelist.cvencode where " +
         validity +
         " group by pu_veninvpricelist.cvencode,cinvcode,ilowerlimit,iSupplyType,cExch_Name, " +
         EachFree("isnull(cfree{0},'')", ",") +
         "  ) a  on pu_veninvpricelist.cvencode = a.cvencode  and pu_veninvpricelist.cinvcode "
         "= a.cinvcode  and pu_veninvpricelist.ilowerlimit = a.ilowerlimit  and "
         "pu_veninvpricelist.iSupplyType =a.iSupplyType  and pu_veninvpricelist.cExch_Name "
         "=a.cExch_Name  and pu_veninvpricelist.dEnableDate =a.dEnableDate " +
         EachFree(" and isnull(pu_veninvpricelist.cfree{0},'') =a.cafree{0} ", "") + " where " +
         validity +
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

PriceRow At(const char* ven, double price, const char* exch = "CNY") {
  return {.ven = Variant(ven), .exch = Variant(exch), .price = price};
}

TEST(ComparePrice, Winner) {
  const Variant promo = Variant(int32_t{1});
  const struct {
    const char* name;
    std::vector<PriceRow> rows;
    int winner;  // index into rows, -1 for none
  } cases[] = {
      {"cheapest in local currency: 65 local beats 10 at rate 7",
       {At("V01", 10, "USD"), At("V02", 65)},
       1},
      {"bcal 0 divides: 10 at rate 0.5 is 20", {At("V01", 10, "HALF"), At("V02", 19.5)}, 1},
      {"bcal 0 divides: 10 at rate 0.5 loses to 20.5", {At("V01", 10, "HALF"), At("V02", 20.5)}, 0},
      {"currency without a row counts at rate 1", {At("V01", 8, "XXX"), At("V02", 2, "USD")}, 0},
      {"currency without a rate counts at rate 1",
       {At("V01", 8, "NORATE"), At("V02", 2, "USD")},
       0},
      {"null bcal multiplies", {At("V01", 10, "NULLCAL"), At("V02", 15)}, 1},
      {"a zero rate counts as 1 when dividing", {At("V01", 8, "ZERODIV"), At("V02", 5)}, 1},
      {"a zero rate counts as 1 when multiplying", {At("V01", 8, "ZEROMUL"), At("V02", 5)}, 1},
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
      {"vendor ending tomorrow, unknown vendor", {At("LATER", 4), At("GHOST", 3)}, 1},
      {"lower limit above the quantity, upper limit below it",
       {{.ven = Variant("V01"), .lower = 4, .price = 1},
        {.ven = Variant("V02"), .upper = Variant(1.0), .price = 2}},
       1},
      {"validity ends on the day", {{.disable = Variant("2024-06-15")}}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LookupEnv env;
    AddCurrency(env.db, "HALF", 0, Variant(int32_t{0}), Variant(0.5));
    AddCurrency(env.db, "NORATE", 0, Variant(int32_t{1}));
    AddCurrency(env.db, "NULLCAL", 0, Variant::Null(), Variant(2.0));
    AddCurrency(env.db, "ZERODIV", 0, Variant(int32_t{0}), Variant(0.0));
    AddCurrency(env.db, "ZEROMUL", 0, Variant(int32_t{1}), Variant(0.0));
    int32_t iid = 0;
    for (const auto& [code, end] : {std::pair("V01", Variant::Null()),
                                    {"V02", Variant::Null()},
                                    {"ENDED", Variant("2024-06-01")},
                                    {"TODAY", Variant("2024-06-15")},
                                    {"LATER", Variant("2024-06-16")}}) {
      AddVendor(env.db, {.code = code, .iid = ++iid, .end_date = end});
    }
    std::vector<int32_t> ids;
    for (const auto& r : c.rows) ids.push_back(AddPrice(env.db, r));
    auto item = env.manager.ComparePrice("I01", 3);
    EXPECT_EQ(item ? item->id : 0, c.winner < 0 ? 0 : ids[c.winner]);
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
  const std::string ids = "id=" + std::to_string(id);
  EXPECT_EQ(TierText(*item), ids + " #1 0..null price=10 tax=17 taxprice=11.7");
  ASSERT_NE(item->objRule(), nullptr);
  // Names come trimmed from the joined tables; the tax rate is the row's.
  EXPECT_EQ(RuleText(*item->objRule()),
            ids +
                " ven=V01/Acme inv=I01/Bolt/I01-A/std unit=PCS/Piece tax=17 2024-01-01.. "
                "promo=0 exch=CNY supply=1 taxcost=1 memo= term=FOB/Free ufts=set tiers=1");
  // The row version in the views' money form, whatever the driver reads from the table.
  auto view = env.db.Connect()->OpenRecordset("select ufts from pu_veninvpricelist where autoid=" +
                                              std::to_string(id));
  EXPECT_EQ(item->objRule()->ufts, VarToStr(view->Fields("ufts")));
}

TEST(ComparePrice, Failures) {
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
    ExpectAssertError([&] { failing.manager.ComparePrice("I01", 1); });
  }
}

}  // namespace
}  // namespace tamsel::testing

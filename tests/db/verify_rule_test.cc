// Rule verification: the first failing condition wins, with its key and tier number, and the
// rule leaves with normalised dates and completed master data.

#include <gtest/gtest.h>

#include <functional>

#include "support/rule_fixtures.h"

namespace tamsel::testing {
namespace {

class VerifyRuleTest : public ::testing::Test {
 protected:
  std::string Verify(const std::shared_ptr<PriceRule>& rule) {
    return ErrorText([&] { env.validator->VerifyRule(rule); });
  }
  static std::string Tier(const std::string& digits, int32_t tier) {
    return KeyText(digits, {Variant(tier)});
  }

  RuleEnv env;
};

TEST_F(VerifyRuleTest, FirstFailingConditionWins) {
  using Edit = std::function<void(PriceRule&)>;
  struct Case {
    std::string name;
    Edit edit;
    std::string expected;
  };
  auto tier = [](PriceRule& r, const char* key) { return r.ruleItems->Item(key); };
  const Case cases[] = {
      {"supply type 3 before blank codes", [](PriceRule& r) { r.iSupplyType = 3, r.cVenCode = ""; },
       KeyText("00002")},
      {"vendor before item", [](PriceRule& r) { r.cVenCode = r.cInvCode = ""; }, KeyText("00003")},
      {"item", [](PriceRule& r) { r.cInvCode = ""; }, KeyText("00004")},
      {"currency", [](PriceRule& r) { r.cExchName = ""; }, KeyText("00005")},
      {"trade term before any look-up", [](PriceRule& r) { r.iSupplyType = 4, r.cInvCode = "x"; },
       KeyText("00502")},
      {"item check before vendor check",
       [](PriceRule& r) { r.cInvCode = "X99", r.cVenCode = "V99"; },
       KeyText("00031", {Variant("X99")}) + "\r"},
      {"blank vendor passes the emptiness test and fails the look-up",
       [](PriceRule& r) { r.cVenCode = "  "; }, KeyText("00033", {Variant("  ")}) + "\r"},
      {"vendor before dates", [](PriceRule& r) { r.cVenCode = "V99", r.dEnableDate = "bad"; },
       KeyText("00033", {Variant("V99")}) + "\r"},
      {"unknown currency", [](PriceRule& r) { r.cExchName = "XXX"; },
       KeyText("00050", {Variant("XXX")}) + "\r"},
      {"blank enable date", [](PriceRule& r) { r.dEnableDate = "  "; }, KeyText("00006")},
      {"enable date not a date", [](PriceRule& r) { r.dEnableDate = "2024-02-30"; },
       KeyText("00007")},
      {"disable date not a date", [](PriceRule& r) { r.dDisableDate = "soon"; }, KeyText("00008")},
      {"same day", [](PriceRule& r) { r.dDisableDate = "2024-01-01"; }, KeyText("00009")},
      {"before", [](PriceRule& r) { r.dDisableDate = "2023-12-31"; }, KeyText("00009")},
      {"no tiers", [](PriceRule& r) { r.ruleItems = std::make_shared<RuleItems>(); },
       KeyText("00010")},
      {"first tier not from 0", [&](PriceRule& r) { tier(r, "1")->iLowerLimit = 5; },
       KeyText("00013")},
      {"gap before tier 2", [&](PriceRule& r) { tier(r, "2")->iLowerLimit = 12; },
       Tier("00015", 2)},
      {"unit price", [&](PriceRule& r) { tier(r, "2")->iUnitPrice = 0; }, Tier("00017", 2)},
      {"tax price", [&](PriceRule& r) { tier(r, "3")->iTaxUnitPrice = -1; }, Tier("00019", 3)},
      {"negative rate", [&](PriceRule& r) { tier(r, "1")->iTaxRate = -0.5; }, Tier("00021", 1)},
      {"rate 100", [&](PriceRule& r) { tier(r, "2")->iTaxRate = 100; }, Tier("00023", 2)},
      {"last tier limited", [&](PriceRule& r) { tier(r, "3")->iUpperLimit = Variant(99.0); },
       KeyText("00024")},
      {"middle tier open", [&](PriceRule& r) { tier(r, "2")->iUpperLimit = Variant::Null(); },
       Tier("00026", 2)},
      {"middle tier never limited: Empty is not Null",
       [&](PriceRule& r) { tier(r, "2")->iUpperLimit = Variant(); }, Tier("00028", 2)},
      {"infinite price", [&](PriceRule& r) { tier(r, "2")->iUnitPrice = 1 / 0.0; },
       "Tier 2: the unit price is not a number between -1E+300 and 1E+300."},
      {"limit that turns infinite in text",
       [&](PriceRule& r) { tier(r, "1")->iUpperLimit = Variant(1.7976931348623157e308); },
       "Tier 1: the upper limit is not a number between -1E+300 and 1E+300."},
      {"empty band", [&](PriceRule& r) { tier(r, "1")->iUpperLimit = Variant(0.0); },
       Tier("00028", 1)},
      {"price fails before the chain of a later tier",
       [&](PriceRule& r) {
         tier(r, "1")->iUnitPrice = 0;
         tier(r, "2")->iLowerLimit = 99;
       },
       Tier("00017", 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto rule = env.NewRule(3);
    c.edit(*rule);
    EXPECT_EQ(Verify(rule), c.expected);
  }
  EXPECT_EQ(Verify(nullptr), KeyText("00001"));
}

TEST_F(VerifyRuleTest, OwnConditionsRaiseAssertAndMasterDataRaisesError) {
  auto rule = env.NewRule(1);
  rule->iSupplyType = 0;
  ExpectAssertError([&] { env.validator->VerifyRule(rule); });
  rule = env.NewRule(1);
  rule->cVenCode = "V99";
  auto master = CatchComponentError([&] { env.validator->VerifyRule(rule); });
  ASSERT_TRUE(master);
  EXPECT_EQ(master->source(), "Error");
  rule = env.NewRule(3);
  rule->ruleItems->Remove("2");  // tiers must be keyed 1 to n
  EXPECT_NE(Verify(rule).find("tier 2"), std::string::npos) << Verify(rule);
}

TEST_F(VerifyRuleTest, NormalisesDatesAndCompletesMasterDataAlsoWhenItFails) {
  auto rule = env.NewRule(2);
  rule->cVenCode = "Acme";
  rule->cExchName = "RMB";
  rule->iTaxRate = 0;
  rule->dEnableDate = "2024-1-5";
  rule->dDisableDate = "2024/2/1 10:30";
  rule->ruleItems->Item("2")->iUnitPrice = 0;
  EXPECT_EQ(Verify(rule), Tier("00017", 2));
  EXPECT_EQ((std::vector<std::string>{rule->dEnableDate, rule->dDisableDate, rule->cVenCode,
                                      rule->cVenAbbName, rule->cExchName, rule->cInvName}),
            (std::vector<std::string>{"2024-01-05", "2024-02-01", "V01", "Acme", "CNY", "Bolt"}));
  EXPECT_EQ(rule->iTaxRate, 13);
  SetTierPrices(*rule->ruleItems->Item("2"), 5);
  for (const char* end : {"", "   ", "2024-01-02"}) {  // blank ends stay blank
    rule->dEnableDate = "2024-01-01";
    rule->dDisableDate = end;
    EXPECT_NO_THROW(env.validator->VerifyRule(rule));
    EXPECT_EQ(rule->dDisableDate, end);
  }
}

}  // namespace
}  // namespace tamsel::testing

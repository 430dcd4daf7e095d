#include "services/tsql_rewriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <charconv>
#include <string>

#include "tamsel/error.h"

namespace tamsel::detail {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

struct Case {
  const char* name;
  const char* tsql;
  const char* sqlite;
};

class RewriteTsqlTest : public ::testing::TestWithParam<Case> {};

TEST_P(RewriteTsqlTest, Rewrites) { EXPECT_EQ(RewriteTsql(GetParam().tsql), GetParam().sqlite); }

INSTANTIATE_TEST_SUITE_P(
    Dialect, RewriteTsqlTest,
    ::testing::Values(
        Case{"PlainTextUnchanged", "select a,  b from t where x = 1 ",
             "select a,  b from t where x = 1 "},
        Case{"NationalLiteral", "where c=N'abc' and d=n'x'", "where c='abc' and d='x'"},
        Case{"NameEndingInNIsNoPrefix", "select colN from t where colN='a'",
             "select colN from t where colN='a'"},
        Case{"LiteralInsideNeverChanges",
             "select N'isnull( TOP 5 [x] dbo.t -- /* convert(int,1)' from t",
             "select 'isnull( TOP 5 [x] dbo.t -- /* convert(int,1)' from t"},
        Case{"DoubledQuoteStaysInLiteral", "where c=N'x''; delete from t; --'",
             "where c='x''; delete from t; --'"},
        Case{"TopAtEnd", "select TOP 1 id from t order by id DESC ",
             "select id from t order by id DESC LIMIT 1 "},
        Case{"TopLowerCaseDoubleBlank", " select top 1  autoid as id from t",
             " select autoid as id from t LIMIT 1"},
        Case{"TopParenthesised", "select top (3) a from t", "select a from t LIMIT 3"},
        Case{"TopDistinct", "select distinct top 2 a from t", "select distinct a from t LIMIT 2"},
        Case{"TopInSubquery", "select a from t where a in (select top 1 b from u order by b) ",
             "select a from t where a in (select b from u order by b LIMIT 1) "},
        Case{"TopInsideAndOutside",
             "select top 2 a from (select top 5 b from u where f(b) > 0) x order by a",
             "select a from (select b from u where f(b) > 0 LIMIT 5) x order by a LIMIT 2"},
        Case{"TopBeforeUnionLimitsOnlyItsMember", "select top 1 a from t union select b from u",
             "select * from (select a from t LIMIT 1) union select b from u"},
        Case{"TopAfterUnionAll", "select a from t union all select top 1 b from u",
             "select a from t union all select * from (select b from u LIMIT 1)"},
        Case{"TopAsColumnNameUntouched", "select top_n from t", "select top_n from t"},
        Case{"Isnull", "where isnull(cvencode,'')='' and x is null",
             "where ifnull(cvencode,'') COLLATE tamsel_text='' and x is null"},
        Case{"IsnullUpperCase", "ISNULL (a,1)", "ifnull (a,1) COLLATE tamsel_text"},
        Case{"IsnullNestedBeforeLimit", "select TOP 1 isnull(f(a),'') from t",
             "select ifnull(f(a),'') COLLATE tamsel_text from t LIMIT 1"},
        Case{"ConvertNested",
             "where Id= 5 and convert(char,convert(money,ufts),2)="
             "convert(char,convert(money,'123.0000'),2)",
             "where Id= 5 and tamsel_convert('char',tamsel_convert('money',ufts),2)="
             "tamsel_convert('char',tamsel_convert('money','123.0000'),2)"},
        Case{"ConvertTypeWithArguments", "convert(decimal(18, 2), x) + CONVERT(nvarchar(20),y)",
             "tamsel_convert('decimal(18,2)', x) + tamsel_convert('nvarchar(20)',y)"},
        Case{"DboDropped", "left join dbo.v_ex_incoterms ON v_ex_incoterms.c = 1",
             "left join v_ex_incoterms ON v_ex_incoterms.c = 1"},
        Case{"BracketedDbo", "select * from [dbo].[Vendor]", "select * from \"Vendor\""},
        Case{"BracketedName", "select [my col], [a]]b] from t",
             "select \"my col\", \"a]b\" from t"},
        Case{"DoubleQuotedNameUntouched", "select \"top 1\" from t", "select \"top 1\" from t"},
        Case{"LineComment", "select a -- note it's here\nfrom t", "select a \nfrom t"},
        Case{"BlockCommentsNest", "select a/* x /* y */ z */from t", "select a from t"},
        Case{"Utf8Untouched", "select N'宏' as 名称 from t", "select '宏' as 名称 from t"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RewriteTsqlErrors, RefusesTextItCannotRead) {
  for (const char* bad : {"select 'abc", "select N'it''s", "select [abc from t", "select a /* open",
                          "select \"x", "select top x from t", "select top from t",
                          "select top 10 percent a from t", "select convert(int) from t"}) {
    EXPECT_THROW(RewriteTsql(bad), DatabaseError) << bad;
  }
  EXPECT_THAT([] { RewriteTsql("select 'abc"); },
              ThrowsMessage<DatabaseError>(HasSubstr("unterminated string literal")));
}

// Values come back typed as written: n(ational text), t(ext), i(nteger), r(eal).
std::string Values(const StatementShape& shape) {
  std::string out;
  for (const LiftedValue& v : shape.values) {
    char number[32] = {};
    if (v.type == LiftedValue::Type::kInteger) std::to_chars(number, number + 31, v.integer);
    if (v.type == LiftedValue::Type::kReal) std::to_chars(number, number + 31, v.real);
    out += std::string(1, static_cast<char>(v.type)) + ":" + v.text + number + "|";
  }
  return out;
}

TEST(LiftLiterals, LiftsOnlyWhatCannotChangeTheStatementsMeaning) {
  const char* cases[][3] = {
      {"select TOP 2 a, 'k' as k from t where (c=N'V''1' or isnull(c,'')='') and n = -12 and "
       "r<=2.5 and x in (1E-2, 99999999999999999999, 0x1F) order by 1",
       "select TOP 2 a, 'k' as k from t where (c=? or isnull(c,'')=?) and n = -? and r<=? and "
       "x in (?, 99999999999999999999, 0x1F) order by 1",
       "n:V'1|t:|i:12|r:2.5|r:0.01|"},
      {"insert into t(a,b) values(.5,/* c */'x') -- done", "insert into t(a,b) values(?, ?) ",
       "r:0.5|t:x|"},
      {"select a from t where b = ?", "select a from t where b = ?", ""},
      {"select a from t where b = 1; select 2", "select a from t where b = 1; select 2", ""},
      {"create table t(a text default 'x')", "create table t(a text default 'x')", ""}};
  for (const auto& [tsql, shape, values] : cases) {
    const StatementShape lifted = LiftLiterals(tsql);
    EXPECT_EQ(lifted.text, shape) << tsql;
    EXPECT_EQ(Values(lifted), values) << tsql;
  }
  // One compiled statement per shape and value types.
  EXPECT_EQ(LiftLiterals("select a from t where c=N'x'").key,
            LiftLiterals("select a from t where c=N'y'").key);
  EXPECT_NE(LiftLiterals("select a from t where c=N'x'").key,
            LiftLiterals("select a from t where c='x'").key);
}

}  // namespace
}  // namespace tamsel::detail

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

TEST(RewriteTsql, Dialect) {
  // clang-format off
  const std::pair<const char*, const char*> cases[] = {
      {"select a,  b from t where x = 1 ", "select a,  b from t where x = 1 "},
      {"where c=N'abc' and d=n'x'", "where c='abc' and d='x'"},
      {"select colN from t where colN='a'", "select colN from t where colN='a'"},
      // Nothing inside a literal ever changes.
      {"select N'isnull( TOP 5 [x] dbo.t -- /* convert(int,1)' from t",
       "select 'isnull( TOP 5 [x] dbo.t -- /* convert(int,1)' from t"},
      {"where c=N'x''; delete from t; --'", "where c='x''; delete from t; --'"},
      {"select TOP 1 id from t order by id DESC ", "select id from t order by id DESC LIMIT 1 "},
      {" select top 1  autoid as id from t", " select autoid as id from t LIMIT 1"},
      {"select top (3) a from t", "select a from t LIMIT 3"},
      {"select distinct top 2 a from t", "select distinct a from t LIMIT 2"},
      {"select a from t where a in (select top 1 b from u order by b) ",
       "select a from t where a in (select b from u order by b LIMIT 1) "},
      {"select top 2 a from (select top 5 b from u where f(b) > 0) x order by a",
       "select a from (select b from u where f(b) > 0 LIMIT 5) x order by a LIMIT 2"},
      // TOP before a UNION limits only its own member.
      {"select top 1 a from t union select b from u",
       "select * from (select a from t LIMIT 1) union select b from u"},
      {"select a from t union all select top 1 b from u",
       "select a from t union all select * from (select b from u LIMIT 1)"},
      {"select top_n from t", "select top_n from t"},
      {"where isnull(cvencode,'')='' and x is null",
       "where ifnull(cvencode,'') COLLATE tamsel_text='' and x is null"},
      {"ISNULL (a,1)", "ifnull (a,1) COLLATE tamsel_text"},
      {"select TOP 1 isnull(f(a),'') from t",
       "select ifnull(f(a),'') COLLATE tamsel_text from t LIMIT 1"},
      {"where Id= 5 and convert(char,convert(money,ufts),2)=convert(char,convert(money,'1.0'),2)",
       "where Id= 5 and tamsel_convert('char',tamsel_convert('money',ufts),2)="
       "tamsel_convert('char',tamsel_convert('money','1.0'),2)"},
      {"convert(decimal(18, 2), x) + CONVERT(nvarchar(20),y)",
       "tamsel_convert('decimal(18,2)', x) + tamsel_convert('nvarchar(20)',y)"},
      {"left join dbo.v_x ON v_x.c = 1", "left join v_x ON v_x.c = 1"},
      {"select * from [dbo].[Vendor]", "select * from \"Vendor\""},
      {"select [my col], [a]]b] from t", "select \"my col\", \"a]b\" from t"},
      {"select \"top 1\" from t", "select \"top 1\" from t"},
      {"select a -- note it's here\nfrom t", "select a \nfrom t"},
      {"select a/* x /* y */ z */from t", "select a from t"},
      {"select N'宏' as 名称 from t", "select '宏' as 名称 from t"}};
  // clang-format on
  for (const auto& [tsql, sqlite] : cases) EXPECT_EQ(RewriteTsql(tsql), sqlite) << tsql;

  for (const char* bad : {"select 'abc", "select N'it''s", "select [abc from t", "select a /* open",
                          "select \"x", "select top x from t", "select top from t",
                          "select top 10 percent a from t", "select convert(int) from t"}) {
    EXPECT_THROW(RewriteTsql(bad), DatabaseError) << bad;
  }
  EXPECT_THAT([] { RewriteTsql("select 'abc"); },
              ThrowsMessage<DatabaseError>(HasSubstr("unterminated string literal")));
  // A text ends where its view ends, whatever the memory behind it holds.
  EXPECT_THROW(RewriteTsql(std::string_view("select 'a'").substr(0, 9)), DatabaseError);
  EXPECT_EQ(RewriteTsql(std::string_view("select [a]]").substr(0, 10)), "select \"a\"");
}

TEST(RequireReadOnlyQuery, OneReadingStatementOnly) {
  for (const char* fine : {"select a from t where c = 'drop' ;; ", "select [insert] from t"}) {
    EXPECT_NO_THROW(RequireReadOnlyQuery(fine)) << fine;
  }
  for (const char* bad : {"select a from t; select b from u", "select a into x from t",
                          "delete from t", "select 1; DROP table t"}) {
    EXPECT_THROW(RequireReadOnlyQuery(bad), DatabaseError) << bad;
  }
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
  const std::string longest = "'" + std::string(kLiftedTextMax, 'x') + "'";
  const std::string cases[][3] = {
      {"select TOP 2 a, 'k' as k from t where (c=N'V''1' or isnull(c,'')='') and n = -12 and "
       "r<=2.5 and x in (1E-2, 2e3, 99999999999999999999, 0x1F) order by 1",
       "select TOP 2 a, 'k' as k from t where (c=? or isnull(c,'')=?) and n = -? and r<=? and "
       "x in (?, ?, 99999999999999999999, 0x1F) order by 1",
       "n:V'1|t:|i:12|r:2.5|r:0.01|r:2000|"},
      {"insert into t(a,b) values(.5,/* c */'x') -- done", "insert into t(a,b) values(?, ?) ",
       "r:0.5|t:x|"},
      {"select a from t where b = " + longest, "select a from t where b = ?",
       "t:" + longest.substr(1, kLiftedTextMax) + "|"},
      {"select a from t where b = 'x" + longest.substr(1),
       "select a from t where b = 'x" + longest.substr(1), ""},
      {"select a from t where b = ?", "select a from t where b = ?", ""},
      {"select a from t where b = 1;select 2", "select a from t where b = 1;select 2", ""},
      {"select a from t where b = 1; ", "select a from t where b = ?; ", "i:1|"},
      {"create table t(a text default 'x')", "create table t(a text default 'x')", ""}};
  for (const auto& [tsql, shape, values] : cases) {
    const StatementShape lifted = LiftLiterals(tsql);
    EXPECT_EQ(lifted.text, shape) << tsql.substr(0, 80);
    EXPECT_EQ(Values(lifted), values) << tsql.substr(0, 80);
  }
  // One compiled statement per shape and value types.
  EXPECT_EQ(LiftLiterals("select a from t where c=N'x'").key,
            LiftLiterals("select a from t where c=N'y'").key);
  EXPECT_NE(LiftLiterals("select a from t where c=N'x'").key,
            LiftLiterals("select a from t where c='x'").key);
}

}  // namespace
}  // namespace tamsel::detail

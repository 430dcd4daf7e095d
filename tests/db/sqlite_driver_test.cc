#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "services/sqlite_functions.h"
#include "support/test_db.h"
#include "tamsel/error.h"
#include "tamsel/services.h"

namespace tamsel {
namespace {

bool OdbcRun() { return ::tamsel::testing::DriverName() != "sqlite"; }

class SqliteDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (OdbcRun()) GTEST_SKIP() << "embedded driver only";
    static std::atomic<int> counter{0};
    path_ = (std::filesystem::temp_directory_path() / ("tamsel_sqlite_" + std::to_string(getpid()) +
                                                       "_" + std::to_string(counter++) + ".db"))
                .string();
    text_ = "Provider=SQLite;Data Source=" + path_;
    conn_.Open(text_);
  }
  void TearDown() override {
    conn_.Close();
    if (!path_.empty())
      for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path_ + suffix);
  }

  Variant Scalar(const std::string& sql) { return conn_.OpenRecordset(sql)->Fields("v"); }

  std::string path_, text_;
  Connection conn_;
};

TEST_F(SqliteDriverTest, TextColumnsIgnoreCaseAndTrailingBlanks) {
  conn_.Execute("create table v(c text collate tamsel_text)");
  conn_.Execute("insert into v values('b'),('ABC'),('a'),('C'),('abc  '),('Ab'),('宏'),('')");
  EXPECT_EQ(Scalar("select count(*) as v from v where c='abc'").AsLong(), 2);
  EXPECT_EQ(Scalar("select count(*) as v from v where c=N'ABC '").AsLong(), 2);
  EXPECT_EQ(Scalar("select count(*) as v from v where c='ab'").AsLong(), 1);
  EXPECT_EQ(Scalar("select count(*) as v from v where c='  abc'").AsLong(), 0);
  EXPECT_EQ(Scalar("select count(distinct c) as v from v").AsLong(), 7);

  auto rs = conn_.OpenRecordset("select c from v order by c, length(c)");
  std::vector<std::string> order;
  for (; !rs->Eof(); rs->MoveNext()) order.push_back(rs->Fields("c").AsString());
  const std::vector<std::string> expected = {"", "a", "Ab", "ABC", "abc  ", "b", "C", "宏"};
  EXPECT_EQ(order, expected);

  EXPECT_EQ(detail::CompareSuiteText("abc", "ABC  "), 0);
  EXPECT_LT(detail::CompareSuiteText("abc", "abd"), 0);
  EXPECT_GT(detail::CompareSuiteText("abc ", "ab"), 0);
}

TEST_F(SqliteDriverTest, ConvertBehavesAsTheServer) {
  // clang-format off
  const std::pair<const char*, Variant> cases[] = {
      {"convert(char,convert(money,123),2)", "123.0000"},
      {"convert(char,convert(money,'123.0000'),2)", "123.0000"},
      {"convert(char,convert(money,' 1,234.5 '),2)", "1234.5000"},
      {"convert(varchar(20),convert(money,1234567.891),1)", "1,234,567.89"},
      {"convert(char,convert(money,0.00005),2)", "0.0001"}, {"convert(char,42)", "42"},
      {"convert(nvarchar(3),'abcdef')", "abc"}, {"convert(varchar(2),'宏大的')", "宏大"},
      {"convert(varchar,'abcdef')", "abcdef"}, {"convert(char,2.5)", "2.5"},
      {"convert(int,'12')", int32_t{12}}, {"convert(int,12.7)", int32_t{12}},
      {"convert(int,'')", int32_t{0}}, {"convert(float,'1e3')", 1000.0},
      {"convert(decimal(10,1),1.25)", 1.3}, {"convert(datetime,'2024-01-05')", "2024-01-05"},
      {"convert(money,null)", Variant::Null()}};
  // clang-format on
  for (const auto& [expr, expected] : cases) {
    EXPECT_EQ(Scalar(std::string("select ") + expr + " as v"), expected) << expr;
  }
  for (const char* bad : {"convert(money,'abc')", "convert(int,'12.5')", "convert(float,'inf')",
                          "convert(int,3000000000)", "convert(geography,1)",
                          "convert(decimal(5,2),'')", "convert(char,1e999)"}) {
    EXPECT_THROW(Scalar(std::string("select ") + bad + " as v"), DatabaseError) << bad;
  }
}

TEST_F(SqliteDriverTest, SuiteDialectRunsEndToEnd) {
  conn_.Execute("create table [dbo_t]([id] integer, c text collate tamsel_text)");
  conn_.Execute("insert into dbo.dbo_t values(1,N'a'),(2,null),(3,N'b'),(4,N'it''s')");
  auto rs = conn_.OpenRecordset(
      "select TOP 2 id, isnull(c,'none') as c from dbo.dbo_t /* newest first */ where id in "
      "(select top 3 id from dbo_t order by id) order by id desc -- two rows");
  ASSERT_EQ(rs->RecordCount(), 2);
  EXPECT_EQ(rs->Fields("c").AsString(), "b");
  rs->MoveNext();
  EXPECT_EQ(rs->Fields("c").AsString(), "none");
  EXPECT_EQ(Scalar("select c as v from dbo_t where c = N'IT''S'").AsString(), "it's");
  // Values bound in place of literals keep the literal's type and meet the column's collation.
  const std::pair<const char*, int> kept[] = {
      {"3/2 = 1", 4}, {"3.0/2 = 1.5", 4}, {"'1' = 1", 0}, {"c = N'A ' and -id = -1", 1}};
  for (const auto& [where, count] : kept) {
    EXPECT_EQ(Scalar(std::string("select count(*) as v from dbo_t where ") + where).AsLong(), count)
        << where;
  }
}

TEST_F(SqliteDriverTest, CachedStatementsStayFreshAndReusable) {
  conn_.Execute("create table q(n integer, t text)");
  conn_.Execute("insert into q values(1, '1')");
  const std::string sql = "select sum(n) as v from q";
  EXPECT_EQ(Scalar(sql).AsLong(), 1);
  conn_.Execute("insert into q values(2, '2')");
  EXPECT_EQ(Scalar(sql).AsLong(), 3);

  // A statement that fails after its first row must not keep a lock that blocks COMMIT.
  conn_.Execute("insert into q values(3, 'bad')");
  const std::string failing = "select convert(int, t) as v from q order by n";
  conn_.BeginTrans();
  EXPECT_THROW(conn_.OpenRecordset(failing), DatabaseError);
  conn_.Execute("delete from q where t='bad'");
  conn_.CommitTrans();
  EXPECT_EQ(conn_.OpenRecordset(failing)->RecordCount(), 2);

  // More distinct texts than the cache holds.
  for (int i = 0; i < 100; ++i)
    EXPECT_EQ(Scalar("select " + std::to_string(i) + " as v").AsLong(), i);
  EXPECT_EQ(Scalar(sql).AsLong(), 3);
}

TEST_F(SqliteDriverTest, WriterWaitsForAnotherWriterAndReadersAreNotBlocked) {
  conn_.Execute("create table w(n integer)");
  Connection first, second;
  first.Open(text_);
  second.Open(text_);
  first.BeginTrans();
  first.Execute("insert into w values(1)");

  // WAL: a reader sees the last committed state at once.
  EXPECT_EQ(second.OpenRecordset("select count(*) as v from w")->Fields("v").AsLong(), 0);

  std::thread committer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    first.CommitTrans();
  });
  const auto start = std::chrono::steady_clock::now();
  second.BeginTrans();  // waits for the lock instead of failing at once
  const auto waited = std::chrono::steady_clock::now() - start;
  second.Execute("insert into w values(2)");
  second.CommitTrans();
  committer.join();
  EXPECT_GE(waited, std::chrono::milliseconds(100));
  EXPECT_LT(waited, std::chrono::milliseconds(4000));
  EXPECT_EQ(conn_.OpenRecordset("select count(*) as v from w")->Fields("v").AsLong(), 2);
}

TEST(SqliteFunctions, RegisterOnAnyHandle) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  ASSERT_EQ(detail::RegisterSqliteFunctions(db), SQLITE_OK);
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db,
                               "select 'abc' = 'ABC ' collate tamsel_text, "
                               "tamsel_convert('char', tamsel_convert('money', 7), 2)",
                               -1, &stmt, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(stmt, 0), 1);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)), "7.0000");
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}

}  // namespace
}  // namespace tamsel

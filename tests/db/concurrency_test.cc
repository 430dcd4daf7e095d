// Two connections on one database file: optimistic concurrency on the row version, and a
// writer that meets another's lock waits for it, up to the driver's busy timeout (5 s).

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "support/rule_fixtures.h"

namespace tamsel::testing {
namespace {

using Clock = std::chrono::steady_clock;

TEST(ConcurrencyTest, TheSecondSaveFromTheSameStateLosesAndChangesNothing) {
  RuleEnv env;
  auto rule = env.NewRule(2);
  env.manager.CreateVenInvPriceRule(rule);
  PriceRuleManager other;
  env.InitOther(other);

  auto mine = env.manager.LoadVenInvPriceRule(rule->id);
  auto theirs = other.LoadVenInvPriceRule(rule->id);
  mine->cMemo = "first";
  env.manager.SaveVenInvPriceRule(mine);
  const std::string after_first = env.Dump();

  theirs->cMemo = "second";
  theirs->ruleItems->Item("1")->iUnitPrice = 1;
  theirs->ruleItems->Item("1")->iTaxUnitPrice = 1.13;
  const auto error = CatchComponentError([&] { other.SaveVenInvPriceRule(theirs); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->description(), KeyText("00059"));
  EXPECT_EQ(env.Dump(), after_first);
  EXPECT_EQ(other.LoadVenInvPriceRule(rule->id)->cMemo, "first");
  other.ExitManager();
}

// Holds the write lock on another connection, on another thread, for hold_ms.
std::future<void> HoldWriteLock(const TestDatabase& db, int hold_ms, std::promise<void>& locked) {
  return std::async(std::launch::async, [&db, hold_ms, &locked] {
    auto conn = db.Connect();
    conn->BeginTrans();
    conn->Execute("update tamsel_rowversion set v = v where id = 1");
    locked.set_value();
    std::this_thread::sleep_for(std::chrono::milliseconds(hold_ms));
    conn->CommitTrans();
  });
}

TEST(ConcurrencyTest, TheWaitIsBounded) {
  RuleEnv env;
  const std::string before = env.Dump();
  std::promise<void> locked;
  auto holder = HoldWriteLock(env.db, 6000, locked);
  locked.get_future().wait();
  const auto start = Clock::now();
  // The transaction cannot begin: that failure is not funnelled and arrives as it is.
  EXPECT_THROW(env.manager.CreateVenInvPriceRule(env.NewRule(1)), DatabaseError);
  const auto waited = Clock::now() - start;
  holder.get();
  EXPECT_GE(waited, std::chrono::milliseconds(4000));
  EXPECT_LT(waited, std::chrono::milliseconds(5900));
  EXPECT_EQ(env.Dump(), before);
}

}  // namespace
}  // namespace tamsel::testing

// The component error and the funnel every manager operation leaves through.

#include "common/funnel.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "support/lookup_fixtures.h"

namespace tamsel::testing {
namespace {

// The ComponentError f raises; the test fails (bad_optional_access) when it raises none.
template <typename F>
ComponentError Raised(F&& f) {
  return CatchComponentError(std::forward<F>(f)).value();
}

TEST(ComponentErrorTest, AssertRaiseErrorAndDescribe) {
  EXPECT_NO_THROW(Assert(true, "unused"));
  const ComponentError a = Raised([] { Assert(false, ""); });
  EXPECT_EQ(a.number(), -2147220503);
  EXPECT_EQ(a.source(), "Assert");
  EXPECT_EQ(a.description(), "");
  const ComponentError e = Raised([] { RaiseError("Vendor V9 does not exist.\r"); });
  EXPECT_EQ(e.source(), "Error");
  EXPECT_STREQ(e.what(), "Vendor V9 does not exist.\r");
  EXPECT_EQ(static_cast<uint32_t>(e.number()), 0x800403E9u);

  EXPECT_EQ(detail::Describe(nullptr), "");
  EXPECT_EQ(detail::Describe(std::make_exception_ptr(ComponentError("Error", "kept"))), "kept");
  EXPECT_EQ(detail::Describe(std::make_exception_ptr(DatabaseError("no such table: x"))),
            "no such table: x");
  EXPECT_FALSE(detail::Describe(std::make_exception_ptr(42)).empty());
  // A foreign failure without text must not look like success.
  EXPECT_NE(detail::Describe(std::make_exception_ptr(DatabaseError("  "))), "  ");
}

TEST(FunnelTest, FailuresLeaveAsAssertAfterCleanup) {
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[] { RaiseError("duplicate rule"); }, "duplicate rule"},
      {[] { Assert(false, "no tiers"); }, "no tiers"},
      {[] { throw DatabaseError("constraint failed"); }, "constraint failed"},
      {[] { throw std::out_of_range("no tier \"3\""); }, "no tier \"3\""},
  };
  for (const auto& [body, description] : cases) {
    bool cleaned = false;
    const ComponentError e = Raised([&] { detail::Funnel(body, [&] { cleaned = true; }); });
    EXPECT_EQ(e.number(), -2147220503) << description;
    EXPECT_EQ(e.source(), "Assert") << description;
    EXPECT_EQ(e.description(), description);
    EXPECT_TRUE(cleaned) << description;
  }
  EXPECT_THROW(detail::Funnel([] { throw std::runtime_error(""); }), ComponentError);

  // Success runs no clean-up; the component's own error with a blank description passes.
  int cleanups = 0;
  bool reached = false;
  EXPECT_NO_THROW(detail::Funnel([] {}, [&] { ++cleanups; }));
  EXPECT_EQ(cleanups, 0);
  const auto blank = [&] {
    reached = true;
    RaiseError("   ");
  };
  EXPECT_NO_THROW(detail::Funnel(blank, [&] { ++cleanups; }));
  EXPECT_TRUE(reached);
  EXPECT_EQ(cleanups, 1);
}

TEST(FunnelTest, CleanupFailures) {
  const auto body = [] { RaiseError("first"); };
  const auto bad_cleanup = [] { throw DatabaseError("rollback failed"); };
  EXPECT_EQ(Raised([&] { detail::Funnel(body, bad_cleanup); }).description(), "first");
  EXPECT_EQ(Raised([&] { detail::Funnel(body, bad_cleanup, true); }).description(),
            "rollback failed");
  // A clean-up that fails without text cannot turn the failure into success.
  const auto blank_cleanup = [] { RaiseError(""); };
  EXPECT_EQ(Raised([&] { detail::Funnel(body, blank_cleanup, true); }).description(), "first");
}

}  // namespace
}  // namespace tamsel::testing

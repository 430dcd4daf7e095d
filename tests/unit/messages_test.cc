// The component error, the funnel every manager operation leaves through, and message texts by
// key, parameter markers, languages and the per-thread message services.

#include "tamsel/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/funnel.h"
#include "common/message_store.h"
#include "support/lookup_fixtures.h"
#include "unit/data_table.h"

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
    // Work around a funnel lets the component's errors out as they are, any other with its text.
    EXPECT_EQ(Raised([&] { detail::OnlyComponentErrors(body); }).description(), description);
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

std::string FullKey(const char* digits) { return std::string("Zorvik.pu.Quorlin.") + digits; }

const std::vector<std::string> kLanguages = {"en-US", "zh-CN", "zh-TW"};

// Restores the default language whatever a test did.
class MessagesTest : public ::testing::Test {
 protected:
  void TearDown() override { SetMessageLanguage("en-US"); }
};

TEST_F(MessagesTest, EveryKeyHasATextWithItsMarkersInEveryLanguage) {
  const std::vector<table::Row> keys = table::Read("data/message_keys.txt");
  EXPECT_EQ(detail::MessageCatalog().size(), keys.size());
  for (const std::string& language : kLanguages) {
    SetMessageLanguage(language);
    SCOPED_TRACE(language);
    for (const table::Row& row : keys) {
      const std::string key = FullKey(row.fields[0].c_str());
      const std::string text = GetResString(key);
      const int params = row.fields[1][0] - '0';
      EXPECT_FALSE(text.empty()) << key;
      EXPECT_NE(text, key);
      for (int i = 0; i < params; ++i) {
        EXPECT_NE(text.find("{" + std::to_string(i) + "}"), std::string::npos) << key << text;
      }
      EXPECT_EQ(std::count(text.begin(), text.end(), '{'), params) << key << ": " << text;
    }
  }
}

TEST_F(MessagesTest, LanguagesAndUnknownKeys) {
  const std::string key = FullKey("00050");
  const std::string english = GetResString(key);
  SetMessageLanguage("zh-CN");
  const std::string simplified = GetResString(key);
  SetMessageLanguage("zh-tw");  // tags ignore letter case
  EXPECT_EQ(MessageLanguage(), "zh-TW");
  const std::string traditional = GetResString(key);
  EXPECT_NE(english, simplified);
  EXPECT_NE(simplified, traditional);

  EXPECT_THROW(SetMessageLanguage("fr-FR"), std::invalid_argument);
  EXPECT_EQ(MessageLanguage(), "zh-TW");

  // The language is the process's, not the thread's.
  std::string seen;
  std::thread([&] { seen = GetResString(key); }).join();
  EXPECT_EQ(seen, traditional);

  EXPECT_EQ(GetResString("Zorvik.pu.Quorlin.99999"), "Zorvik.pu.Quorlin.99999");
  EXPECT_EQ(FormatResString("no.such.key", {Variant("x")}), "no.such.key");
}

TEST_F(MessagesTest, FormatInsertsParametersByPosition) {
  std::vector<Variant>& params = MsgParams();
  params.resize(2);
  params[0] = Variant("V01");
  params[1] = Variant(GetResString(FullKey("00036")));
  EXPECT_EQ(FormatResString(FullKey("00034"), params), "Vendor V01 cannot supply for outsourcing.");

  // A one-value call after a two-value one passes exactly one value.
  params.resize(1);
  params[0] = Variant(int16_t{3});
  EXPECT_EQ(FormatResString(FullKey("00015"), params),
            "Tier 3: its lower limit must equal the upper limit of the tier before it.");
  EXPECT_EQ(FormatResString(FullKey("00034"), params), "Vendor 3 cannot supply for {1}.");

  SetMessageLanguage("zh-CN");
  params[0] = Variant("A'01");
  EXPECT_EQ(FormatResString(FullKey("00031"), params), "存货 A'01 不存在。");
}

TEST(ReplaceMarkersTest, OnlyNumberedMarkersWithAValueChange) {
  const std::vector<Variant> two = {Variant("a{1}"), Variant(2.5)};
  for (const table::Row& row : table::Read("data/markers.txt")) {
    EXPECT_EQ(detail::ReplaceMarkers(row.fields[0], two), row.fields[1]) << row.where;
  }
  EXPECT_EQ(detail::ReplaceMarkers("{0}", {}), "{0}");
  // A marker cut off by the end of the text is no marker, whatever lies behind the view.
  EXPECT_EQ(detail::ReplaceMarkers(std::string_view("{0}").substr(0, 2), two), "{0");
  EXPECT_EQ(detail::ReplaceMarkers("{0}", {Variant::Null()}), "");
}

TEST(MessageServicesTest, CreatedOncePerThread) {
  detail::MessageServiceCounts fresh, after;
  std::vector<Variant> list_seen;
  std::thread([&] {
    fresh = detail::ThisThreadMessageServiceCounts();
    MsgParams().assign({Variant("V1")});
    for (int i = 0; i < 3; ++i) {
      GetResString(FullKey("00001"));
      FormatResString(FullKey("00033"), MsgParams());
    }
    after = detail::ThisThreadMessageServiceCounts();
  }).join();
  EXPECT_EQ(fresh.providers + fresh.text_interfaces + fresh.formatters, 0);
  EXPECT_EQ(after.providers, 1);
  EXPECT_EQ(after.text_interfaces, 1);
  EXPECT_EQ(after.formatters, 1);

  // Each thread has its own parameter list.
  MsgParams().assign({Variant("main")});
  std::thread([&] { list_seen = MsgParams(); }).join();
  EXPECT_TRUE(list_seen.empty());
  EXPECT_EQ(MsgParams().size(), 1u);
}

}  // namespace
}  // namespace tamsel::testing

// Message texts by key, parameter markers, languages and the per-thread message services.

#include "tamsel/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "common/message_store.h"
#include "unit/data_table.h"

namespace tamsel {
namespace {

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
}  // namespace tamsel

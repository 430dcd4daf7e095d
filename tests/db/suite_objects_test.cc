// Stand-ins for the suite's login, system-information and row-authorisation objects.

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "support/lookup_fixtures.h"

namespace tamsel {
namespace {

using testing::TestDatabase;

TEST(MapSysInfo, MembersIgnoreCaseAndUnknownOnesThrow) {
  auto info = MakeSysInfo(Date::FromYmd(2026, 3, 9), /*check_inv_auth=*/true,
                          /*check_vendor_auth=*/false, /*monthly_rates=*/true);
  EXPECT_TRUE(VarToBool(info->Invoke("BCHECKINVAUTH")));
  EXPECT_FALSE(VarToBool(info->Invoke("bCheckVendorAuth")));
  EXPECT_EQ(info->Invoke("today").AsDate(), Date::FromYmd(2026, 3, 9));
  // Inserted into SQL as text: they must read as the exch table holds them.
  EXPECT_EQ(VarToStr(info->Invoke("TheYear")), "2026");
  EXPECT_EQ(VarToStr(info->Invoke("TheMonth")), "3");
  EXPECT_TRUE(VarToBool(info->Invoke("GetDicValue", {Variant("ixchgratestl")})));
  EXPECT_TRUE(info->Invoke("getdicvalue", {Variant("other")}).IsEmpty());
  EXPECT_THROW(info->Invoke("NoSuchMember"), std::invalid_argument);

  info->SetMethod(
      "Twice", [](const std::vector<Variant>& args) { return Variant(2 * VarToLng(args.at(0))); });
  EXPECT_EQ(VarToLng(info->Invoke("twice", {Variant(int32_t{21})})), 42);
  info->Set("TWICE", Variant("replaced"));
  EXPECT_EQ(VarToStr(info->Invoke("Twice")), "replaced");
}

class TableRowAuth : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = new TestDatabase(/*demo_data=*/true);
    db_->Exec(
        "insert into tamsel_row_auth(cUser,cKind,cCode,cRight) values "
        "('o''neil','Vendor','V007','R'),('o''neil','Inventory','A01','r'),"
        "('mallory','Vendor','VX','R')");
    // A stored iid that is no number must not become part of the condition.
    db_->Exec("insert into Vendor(iid,cVenCode) values ('1) or (1=1','VX')");
  }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  static std::shared_ptr<TableRowAuthService> Service(const std::string& user) {
    auto service = std::make_shared<TableRowAuthService>();
    EXPECT_TRUE(service->Init(db_->ConnectionText(), user, 0, 0));
    return service;
  }
  static TestDatabase* db_;
};
TestDatabase* TableRowAuth::db_ = nullptr;

TEST_F(TableRowAuth, VendorConditionListsTheVisibleVendorIds) {
  for (const auto& c : testing::ReadCases("objects.txt", "condition")) {
    EXPECT_EQ(Service(c[0])->GetRowAuthCondition("VENDOR", 0, 0), c[1]) << c[0];
  }
  // Quoted, or read as a number by a driver that converts by the declared type.
  const std::string odd = Service("mallory")->GetRowAuthCondition("VENDOR", 0, 0);
  EXPECT_TRUE(odd == "N'1) or (1=1'" || odd == "1") << odd;
  // The list is valid inside an IN list of the comparison.
  auto conn = db_->Connect();
  auto rs = conn->OpenRecordset("select cVenCode from Vendor ven where ven.iid in (" +
                                Service("buyer")->GetRowAuthCondition("vendor", 0, 0) +
                                ") order by cVenCode");
  EXPECT_EQ(rs->RecordCount(), 3);
  // Kinds without a numeric key give quoted codes.
  EXPECT_EQ(Service("buyer")->GetRowAuthCondition("Inventory", 0, 0), "N'A01',N'A02'");
}

TEST_F(TableRowAuth, RightsOnSingleRows) {
  for (const auto& c : testing::ReadCases("objects.txt", "right")) {
    EXPECT_EQ(Service(c[0])->HasRowAuth(c[1], c[2], 0, c[3]), c[4] == "1")
        << c[0] << " " << c[1] << " " << c[2] << " " << c[3];
  }
}

TEST_F(TableRowAuth, NotReadyUntilInitialisedOnASuiteDatabase) {
  TableRowAuthService service;
  EXPECT_THROW(service.GetRowAuthCondition("VENDOR", 0, 0), std::logic_error);
  EXPECT_THROW(service.HasRowAuth("Vendor", "V001", 0, "W"), std::logic_error);
  EXPECT_FALSE(service.Init("Provider=SQLite;Data Source=/nonexistent/dir/x.db", "demo", 0, 0));
  // A database without the table is no place to answer from.
  TestDatabase other;
  other.Exec("drop table tamsel_row_auth");
  EXPECT_FALSE(service.Init(other.ConnectionText(), "demo", 0, 0));
  EXPECT_THROW(service.HasRowAuth("Vendor", "V001", 0, "W"), std::logic_error);
}

TEST(RowAuthFactory, ReplacesAndRestoresTheDefault) {
  using Fixed = testing::FakeRowAuth;
  EXPECT_NE(std::dynamic_pointer_cast<TableRowAuthService>(NewRowAuthService()), nullptr);
  SetRowAuthServiceFactory([] { return std::make_shared<Fixed>(); });
  EXPECT_NE(std::dynamic_pointer_cast<Fixed>(NewRowAuthService()), nullptr);

  SetRowAuthServiceFactory(nullptr);
  EXPECT_NE(std::dynamic_pointer_cast<TableRowAuthService>(NewRowAuthService()), nullptr);
}

}  // namespace
}  // namespace tamsel

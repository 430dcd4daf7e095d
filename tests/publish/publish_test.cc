// The published face driven as a foreign caller drives it: through the entry points, the
// function tables and VARIANTs only.

#include "tamsel/publish.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "publish/client.h"
#include "support/test_db.h"
#include "unit/data_table.h"

namespace {

class PublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TAMSEL_REGISTRY", registry_.c_str(), 1);
    ASSERT_EQ(DllRegisterServer(), S_OK);
    ASSERT_EQ(TamselCreateInstance(nullptr, "Tamsel.PriceRuleManager", &IID_IDispatch,
                                   reinterpret_cast<void**>(&mgr_)),
              S_OK);
    const double day = 46340;  // 2026-11-15
    login_ = (new Bag)
                 ->Add("ConnectionText", Var(db_.ConnectionText()))
                 ->Add("AuthService", Var())
                 ->Add("RowAuthText", Var(std::string()))
                 ->Add("LoginDate", Typed(VT_DATE, Var(day)));
    // What the checks of a save read.
    info_ =
        (new Bag)->Add("bCheckInvAuth", Var(VT_BOOL, 0))->Add("bCheckVendorAuth", Var(VT_BOOL, 0));
    Var login(login_), info(info_);
    auto init = Call(mgr_, "InitManager", {&login, &info});
    ASSERT_EQ(init->result.vt, VT_BOOL);
    ASSERT_EQ(init->result.boolVal, VARIANT_TRUE);
  }
  void TearDown() override {
    auto exit = Call(mgr_, "ExitManager");
    EXPECT_EQ(exit->result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(mgr_->lpVtbl->Release(mgr_), 0u);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);  // every object released, no factory held
    login_->lpVtbl->Release(login_), info_->lpVtbl->Release(info_);
    ASSERT_EQ(DllUnregisterServer(), S_OK);
    std::filesystem::remove(registry_);
  }
  tamsel::testing::TestDatabase db_{true};
  std::string registry_ = db_.Path() + ".registry.json";
  IDispatch* mgr_ = nullptr;
  IDispatch *login_ = nullptr, *info_ = nullptr;
};

TEST_F(PublishTest, EveryDispidReachesItsMemberByIdAndByName) {
  IDispatch* rule = nullptr;
  ASSERT_EQ(TamselCreateInstance(&CLSID_PriceRule, nullptr, &IID__PriceRule,
                                 reinterpret_cast<void**>(&rule)),
            S_OK);
  auto item = Call(rule, "AddRuleItem");
  auto validator = Call(mgr_, "GetValidator");
  std::map<std::string, IDispatch*> objects{{"PriceRule", rule},
                                            {"PriceRuleItem", Obj(item)},
                                            {"PriceRuleManager", mgr_},
                                            {"Validator", Obj(validator)}};
  auto items = Call(rule, "ruleItems");
  std::map<std::string, Var> samples;
  samples.emplace("text", Var(std::string("x'1")));
  samples.emplace("double", Var(2.5));
  samples.emplace("long", Var(7));
  samples.emplace("short", Var(VT_I2, 7));
  samples.emplace("bool", Var(VT_BOOL, 0xFFFF));
  samples.emplace("value", Var(VT_NULL, 0));
  samples.emplace("rule", Var(rule));
  samples.emplace("items", Var(Obj(items)));
  for (const auto& row : tamsel::table::Read("data/dispids.txt")) {
    SCOPED_TRACE(row.where);
    IDispatch* d = objects.at(row.fields[0]);
    const DISPID id = static_cast<DISPID>(std::stoul(row.fields[2], nullptr, 16));
    const std::string& kind = row.fields[3];
    if (kind == "none") {
      EXPECT_EQ(Invoke(d, id, DISPATCH_METHOD)->hr, DISP_E_MEMBERNOTFOUND);
      continue;
    }
    std::string upper = row.fields[1];
    for (char& c : upper) c = static_cast<char>(std::toupper(c));
    EXPECT_EQ(IdOf(d, upper), id);
    if (kind.starts_with("method:")) {  // one argument too many, and one too few
      const int n = std::stoi(kind.substr(7));
      const int optional =
          kind.find('/') == std::string::npos ? 0 : std::stoi(kind.substr(kind.find('/') + 1));
      std::vector<Var> extra(n + 1);
      std::vector<VARIANT*> args;
      for (auto& v : extra) args.push_back(&v);
      EXPECT_EQ(Invoke(d, id, DISPATCH_METHOD, args)->hr, DISP_E_BADPARAMCOUNT);
      if (n - optional > 0) {
        args.resize(n - optional - 1);
        EXPECT_EQ(Invoke(d, id, DISPATCH_METHOD, args)->hr, DISP_E_BADPARAMCOUNT);
      }
      continue;
    }
    if (kind == "readonly") {
      EXPECT_EQ(Invoke(d, id, DISPATCH_PROPERTYGET)->result.vt, VT_BSTR);
      Var text(std::string("x"));
      EXPECT_NE(Invoke(d, id, DISPATCH_PROPERTYPUT, {&text})->hr, S_OK);
      continue;
    }
    // A property: put a value of its type by id, read the same back by id.
    Var& value = samples.at(kind);
    const WORD put = value.vt == VT_DISPATCH ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
    ASSERT_EQ(Invoke(d, id, put, {&value})->hr, S_OK);
    auto got = Invoke(d, id, DISPATCH_PROPERTYGET);
    ASSERT_EQ(got->hr, S_OK);
    ASSERT_EQ(got->result.vt, value.vt);
    if (value.vt == VT_BSTR) {
      EXPECT_EQ(U8(got->result.bstrVal), "x'1");
    } else if (value.vt != VT_DISPATCH) {
      EXPECT_EQ(got->result.llVal, value.llVal);
    }
    if (kind == "bool") {  // a number as a Boolean: 0 is false, anything else true
      for (const int32_t n : {0, 2}) {
        Var number(n);
        ASSERT_EQ(Invoke(d, id, DISPATCH_PROPERTYPUT, {&number})->hr, S_OK);
        EXPECT_EQ(Invoke(d, id, DISPATCH_PROPERTYGET)->result.boolVal,
                  n ? VARIANT_TRUE : VARIANT_FALSE);
      }
    }
    Var wrong(std::string("seven"));  // a text where a number belongs
    if (kind == "long" || kind == "double") {
      auto refused = Invoke(d, id, DISPATCH_PROPERTYPUT, {&wrong});
      EXPECT_EQ(refused->hr, DISP_E_TYPEMISMATCH);
      EXPECT_EQ(refused->arg_err, 0u);
    }
  }
  samples.clear();
  EXPECT_EQ(rule->lpVtbl->Release(rule), 0u);
}

// InitManager only answers False; InitFailure says why, whether the login's text or the
// caller's connection named a database that is not there. A good login then works again.
TEST_F(PublishTest, InitFailureSaysWhy) {
  const std::string missing = "Provider=SQLite;Data Source=" + db_.Path() + ".typo";
  IDispatch* typo = (new Bag)->Add("ConnectionText", Var(missing));
  IDispatch* conn = (new Bag)->Add("ConnectionString", Var(missing));
  Var good(login_), bad(typo), info(info_), caller_conn(conn);
  for (auto args : {std::vector<VARIANT*>{&bad, &info}, {&good, &info, &caller_conn}}) {
    EXPECT_EQ(Call(mgr_, "InitManager", args)->result.boolVal, VARIANT_FALSE);
    EXPECT_THAT(U8(Call(mgr_, "InitFailure")->result.bstrVal),
                ::testing::HasSubstr("database not found"));
    EXPECT_FALSE(std::filesystem::exists(db_.Path() + ".typo"));
  }
  EXPECT_EQ(Call(mgr_, "InitManager", {&good, &info})->result.boolVal, VARIANT_TRUE);
  EXPECT_EQ(U8(Call(mgr_, "InitFailure")->result.bstrVal), "");
  typo->lpVtbl->Release(typo), conn->lpVtbl->Release(conn);
}

// A login that ends and restarts the manager while InitManager reads it, as a script may: the
// context being built is the call's own, so nothing is written into a freed one.
TEST_F(PublishTest, InitManagerSurvivesALoginThatReenters) {
  auto* reentrant = (new Bag)
                        ->Add("ConnectionText", Var(db_.ConnectionText()))
                        ->Add("AuthService", Var())
                        ->Add("RowAuthText", Var(std::string()))
                        ->Add("LoginDate", Typed(VT_DATE, Var(46340.0)));
  Var good(login_), info(info_), again(static_cast<IDispatch*>(reentrant));
  reentrant->lpVtbl->Release(reentrant);
  int reads = 0;
  reentrant->on_get = [&] {
    if (reads++ > 0) return;
    Call(mgr_, "ExitManager");
    Call(mgr_, "InitManager", {&good, &info});
  };
  EXPECT_EQ(Call(mgr_, "InitManager", {&again, &info})->result.boolVal, VARIANT_TRUE);
  reentrant->on_get = nullptr;
  EXPECT_GT(reads, 1);
  EXPECT_EQ(Call(mgr_, "GetValidator")->hr, S_OK);
}

TEST_F(PublishTest, LookUpSaveAndTheStandardFailures) {
  Var ven(std::string("V001")), inv(std::string("A01")), date(std::string("2026-11-15"));
  // Optional parameters left out take their defaults; results are dispatch objects all the way.
  auto found = Call(mgr_, "GetVenInvPriceRule", {&ven, &inv, &date});
  IDispatch* rule = Obj(found);
  // Standard failures: unknown name, text where a date belongs, a required argument missing.
  HRESULT hr;
  IdOf(mgr_, "NoSuchMember", &hr);
  EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);
  Var bad_date(std::string("not a date"));
  auto mismatch = Call(mgr_, "GetVenInvPriceRule", {&ven, &inv, &bad_date});
  EXPECT_EQ(mismatch->hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(mismatch->arg_err, 0u);  // the third argument is rgvarg[0]
  Var missing(VT_ERROR, DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(Call(mgr_, "GetVenInvPriceRule", {&ven, &missing, &date})->hr, DISP_E_PARAMNOTOPTIONAL);

  Var one(1);
  // In/out parameters are written back through VT_BYREF.
  VARIANT_BOOL taxed = VARIANT_FALSE;
  Var by_ref(VT_BYREF | VT_BOOL, reinterpret_cast<intptr_t>(&taxed));
  EXPECT_EQ(Call(mgr_, "GetbTaxType", {&ven, &by_ref})->hr, S_OK);
  EXPECT_EQ(taxed, VARIANT_TRUE);
  by_ref.vt = VT_EMPTY;
  // A reference of another type could not take the answer back: refused, not a silent success.
  LONG as_long = 0;
  int16_t as_short = 0;
  Var long_ref(VT_BYREF | VT_I4, reinterpret_cast<intptr_t>(&as_long));
  auto wrong_ref = Call(mgr_, "GetbTaxType", {&ven, &long_ref});
  EXPECT_EQ(wrong_ref->hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(wrong_ref->arg_err, 0u);
  long_ref.vt = VT_EMPTY;
  auto validator = Call(mgr_, "GetValidator");
  auto blank = Call(mgr_, "NewVenInvPriceRule");
  BSTR errstr = nullptr;
  Var err_ref(VT_BYREF | VT_BSTR, reinterpret_cast<intptr_t>(&errstr)), blank_rule(Obj(blank));
  auto check = Call(Obj(validator), "CheckInv", {&blank_rule, &err_ref});
  EXPECT_EQ(check->result.boolVal, VARIANT_FALSE);
  EXPECT_FALSE(U8(errstr).empty());
  SysFreeString(errstr);
  err_ref.vt = VT_EMPTY;
  Var short_ref(VT_BYREF | VT_I2, reinterpret_cast<intptr_t>(&as_short));
  auto wrong_err = Call(Obj(validator), "CheckInv", {&blank_rule, &short_ref});
  EXPECT_EQ(wrong_err->hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(wrong_err->arg_err, 0u);
  EXPECT_EQ(as_short, 0);
  short_ref.vt = VT_EMPTY;

  auto first = Call(mgr_, "LoadVenInvPriceRule", {&one});
  auto second = Call(mgr_, "LoadVenInvPriceRule", {&one});
  auto items = Call(Obj(first), "ruleItems");
  const LONG count = Call(Obj(items), "Count")->result.lVal;
  EXPECT_GT(count, 0);
  auto walk = Invoke(Obj(items), DISPID_NEWENUM, DISPATCH_PROPERTYGET);  // as For Each starts
  ASSERT_EQ(walk->result.vt, VT_UNKNOWN);
  IEnumVARIANT* e = nullptr;
  ASSERT_EQ(walk->result.punkVal->lpVtbl->QueryInterface(walk->result.punkVal, &IID_IEnumVARIANT,
                                                         reinterpret_cast<void**>(&e)),
            S_OK);
  std::vector<Var> tiers(count + 1);
  ULONG fetched = 0;
  EXPECT_EQ(e->lpVtbl->Next(e, count + 1, tiers.data(), &fetched), S_FALSE);
  EXPECT_EQ(fetched, static_cast<ULONG>(count));
  EXPECT_EQ(tiers[0].vt, VT_DISPATCH);
  e->lpVtbl->Release(e);
  auto tier = Call(Obj(items), "Item", {&one});
  auto back = Call(Obj(tier), "objRule");
  EXPECT_EQ(Obj(back), Obj(first));  // one dispatch object per rule while any is alive

  // A stale save is the component error, in EXCEPINFO.
  Var a(Obj(first)), b(Obj(second));
  ASSERT_EQ(Call(mgr_, "SaveVenInvPriceRule", {&a})->hr, S_OK);
  auto stale = Call(mgr_, "SaveVenInvPriceRule", {&b});
  EXPECT_EQ(stale->hr, DISP_E_EXCEPTION);
  EXPECT_EQ(stale->excep.scode, TAMSEL_E_COMPONENT);
  EXPECT_EQ(U8(stale->excep.bstrSource), "Assert");
  EXPECT_FALSE(U8(stale->excep.bstrDescription).empty());

  // Result sets.
  Var filter(std::string("cVenCode='V001'")), field(std::string("cInvCode"));
  auto rs = Call(mgr_, "ListVenInvPriceRules", {&filter});
  IDispatch* set = Obj(rs);
  EXPECT_GT(Call(set, "RecordCount")->result.lVal, 0);
  EXPECT_EQ(U8(Call(set, "Fields", {&field})->result.bstrVal), "A01");
  while (Call(set, "EOF")->result.boolVal == VARIANT_FALSE)
    ASSERT_EQ(Call(set, "MoveNext")->hr, S_OK);
  EXPECT_EQ(Call(set, "MoveNext")->hr, DISP_E_EXCEPTION);
  EXPECT_EQ(Call(set, "Close")->hr, S_OK);

  // Another thread is refused and changes nothing.
  HRESULT from_other = S_OK;
  Var memo(std::string("changed"));
  std::thread([&] {
    from_other = Invoke(rule, IdOf(rule, "cMemo"), DISPATCH_PROPERTYPUT, {&memo})->hr;
  }).join();
  EXPECT_EQ(from_other, RPC_E_WRONG_THREAD);
  EXPECT_NE(U8(Call(rule, "cMemo")->result.bstrVal), "changed");
}

TEST(PublishRegistry, RoundTripKeepsOtherEntries) {
  const auto path =
      std::filesystem::temp_directory_path() / ("tamsel-reg-" + std::to_string(getpid()) + ".json");
  setenv("TAMSEL_REGISTRY", path.c_str(), 1);
  std::ofstream(path) << R"({"classes": {"{OTHER}": {"library": "/x.so"}}})";
  ASSERT_EQ(DllRegisterServer(), S_OK);
  void* out = nullptr;
  EXPECT_EQ(DllGetClassObject(&CLSID_Validator, &IID_IClassFactory, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(TamselCreateInstance(&CLSID_PriceRuleItem, nullptr, &IID_IDispatch, &out), S_OK);
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  static_cast<IDispatch*>(out)->lpVtbl->Release(static_cast<IDispatch*>(out));
  ASSERT_EQ(DllUnregisterServer(), S_OK);
  EXPECT_EQ(TamselCreateInstance(nullptr, "Tamsel.PriceRule", &IID_IDispatch, &out),
            REGDB_E_CLASSNOTREG);
  std::ifstream in(path);
  const std::string left((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(left.find("{OTHER}"), std::string::npos);
  EXPECT_EQ(left.find("Tamsel."), std::string::npos);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
  std::filesystem::remove(path);
}

}  // namespace

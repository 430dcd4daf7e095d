// The published face where it meets threads and a host it does not control: objects refuse
// other threads also as arguments, managers work side by side, and SQLite's process-wide
// settings stay the host's. CI runs this file under ThreadSanitizer as well.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <barrier>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "publish/client.h"
#include "support/test_db.h"
#include "tamsel/tamsel.h"

namespace {

IDispatch* Create(const CLSID& clsid) {
  IClassFactory* f = nullptr;
  EXPECT_EQ(DllGetClassObject(&clsid, &IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
  void* made = nullptr;
  EXPECT_EQ(f->lpVtbl->CreateInstance(f, nullptr, &IID_IDispatch, &made), S_OK);
  f->lpVtbl->Release(f);
  return static_cast<IDispatch*>(made);
}

// A manager of this thread, started on db through a login and an info object of its own.
IDispatch* StartedManager(const tamsel::testing::TestDatabase& db) {
  IDispatch* m = Create(CLSID_PriceRuleManager);
  IDispatch* login = (new Bag)
                         ->Add("ConnectionText", Var(db.ConnectionText()))
                         ->Add("AuthService", Var())
                         ->Add("RowAuthText", Var(std::string()))
                         ->Add("LoginDate", Typed(VT_DATE, Var(46340.0)));
  IDispatch* info = (new Bag)
                        ->Add("bCheckInvAuth", Var(VT_BOOL, 0))
                        ->Add("bCheckVendorAuth", Var(VT_BOOL, 0))
                        ->Add("Today", Typed(VT_DATE, Var(46340.0)))
                        ->Add("getdicvalue", Var(VT_BOOL, 0));
  Var l(login), i(info);
  EXPECT_EQ(Call(m, "InitManager", {&l, &i})->result.boolVal, VARIANT_TRUE);
  login->lpVtbl->Release(login), info->lpVtbl->Release(info);
  return m;
}

// Thread B holds thread A's rule, tiers and enumerator. Whatever B does with them, directly or
// as arguments of its own objects' calls, is refused and changes nothing; A's objects keep their
// identity.
TEST(PublishThreads, AnotherThreadsObjectsAreRefusedEvenAsArguments) {
  IDispatch* rule = Create(CLSID_PriceRule);
  Call(rule, "AddRuleItem"), Call(rule, "AddRuleItem");
  auto items = Call(rule, "ruleItems");
  auto walk = Invoke(Obj(items), DISPID_NEWENUM, DISPATCH_PROPERTYGET);
  IEnumVARIANT* e = nullptr;
  ASSERT_EQ(walk->result.punkVal->lpVtbl->QueryInterface(walk->result.punkVal, &IID_IEnumVARIANT,
                                                         reinterpret_cast<void**>(&e)),
            S_OK);
  std::vector<HRESULT> refused;
  std::thread([&] {
    IDispatch* own = Create(CLSID_PriceRule);
    Var theirs(Obj(items)), their_rule(rule);
    refused.push_back(Invoke(own, IdOf(own, "ruleItems"), DISPATCH_PROPERTYPUTREF, {&theirs})->hr);
    auto added = Call(own, "AddRuleItem");
    IDispatch* tier = Obj(added);
    refused.push_back(
        Invoke(tier, IdOf(tier, "objRule"), DISPATCH_PROPERTYPUTREF, {&their_rule})->hr);
    VARIANT got{};
    ULONG n = 0;
    IEnumVARIANT* copy = nullptr;
    void* out = &n;
    refused.push_back(e->lpVtbl->Next(e, 1, &got, &n));
    refused.push_back(e->lpVtbl->Skip(e, 1));
    refused.push_back(e->lpVtbl->Reset(e));
    refused.push_back(e->lpVtbl->Clone(e, &copy));
    refused.push_back(e->lpVtbl->QueryInterface(e, &IID_IUnknown, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Call(own, "ruleItems")->hr, S_OK);  // its own objects still answer
    own->lpVtbl->Release(own);
  }).join();
  for (HRESULT hr : refused) EXPECT_EQ(hr, RPC_E_WRONG_THREAD);
  EXPECT_EQ(Call(Obj(items), "Count")->result.lVal, 2);
  VARIANT first{};
  ULONG n = 0;
  EXPECT_EQ(e->lpVtbl->Next(e, 1, &first, &n), S_OK);  // the position did not move
  EXPECT_EQ(Obj(Call(Obj(Call(rule, "ruleItems")), "Item", {std::make_unique<Var>(1).get()})),
            first.pdispVal);
  first.pdispVal->lpVtbl->Release(first.pdispVal);
  e->lpVtbl->Release(e);
  EXPECT_EQ(Obj(Call(rule, "ruleItems")), Obj(items));  // one object per thread and target
  rule->lpVtbl->Release(rule);
}

// Managers on several threads at once, from their first use on: look-ups, new rules, tiers,
// message languages, and objects released by another thread than the one that made them.
TEST(PublishThreads, ManagersSideBySide) {
  tamsel::testing::TestDatabase db(true);
  constexpr int kThreads = 4, kRounds = 30;
  std::barrier start(kThreads);
  std::mutex handed_mutex;
  std::vector<IDispatch*> handed;  // released by whichever thread comes next
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      tamsel::SetMessageLanguage(t % 2 ? "zh-CN" : "en-US");
      IDispatch* m = StartedManager(db);
      Var ven(std::string("V001")), inv(std::string("A01")), day(std::string("2026-11-15"));
      Var qty(100.0), bad(std::string("no such vendor"));
      for (int r = 0; r < kRounds; ++r) {
        auto found = Call(m, "GetVenInvPriceRuleItem", {&ven, &inv, &day, &qty});
        if (found->hr != S_OK) ++failures;
        auto rule = Call(m, "NewVenInvPriceRule");
        if (rule->hr != S_OK) ++failures;
        IDispatch* r_obj = rule->result.pdispVal;
        Call(r_obj, "AddRuleItem");
        Var v(r_obj);
        if (Call(m, "CreateVenInvPriceRule", {&v})->hr != DISP_E_EXCEPTION) ++failures;
        r_obj->lpVtbl->AddRef(r_obj);
        std::lock_guard lock(handed_mutex);
        handed.push_back(r_obj);
        if (handed.size() > 3) {
          handed.front()->lpVtbl->Release(handed.front());
          handed.erase(handed.begin());
        }
      }
      EXPECT_EQ(Call(m, "ExitManager")->result.boolVal, VARIANT_TRUE);
      m->lpVtbl->Release(m);
    });
  }
  for (auto& th : threads) th.join();
  for (IDispatch* d : handed) d->lpVtbl->Release(d);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

// A host that configured SQLite itself before using Tamsel from several threads finds its
// settings as it left them, and nothing in SQLite's log.
TEST(HostSqlite, ConfigurationAndLogStayTheHosts) {
  static std::atomic<int> logged{0};
  if (sqlite3_config(
          SQLITE_CONFIG_LOG, +[](void*, int, const char*) { ++logged; }, nullptr) != SQLITE_OK) {
    GTEST_SKIP() << "SQLite already started in this process: run this test alone (ctest does)";
  }
  ASSERT_EQ(sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 1), SQLITE_OK);
  ASSERT_EQ(sqlite3_initialize(), SQLITE_OK);
  tamsel::testing::TestDatabase db(true);
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&] {
      IDispatch* m = StartedManager(db);
      Var filter(std::string("1=1"));
      EXPECT_EQ(Call(m, "ListVenInvPriceRules", {&filter})->hr, S_OK);
      Call(m, "ExitManager");
      m->lpVtbl->Release(m);
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(logged, 0);
  sqlite3_int64 now = 0, peak = 0;
  ASSERT_EQ(sqlite3_status64(SQLITE_STATUS_MEMORY_USED, &now, &peak, 0), SQLITE_OK);
  EXPECT_GT(peak, 0);  // statistics still on, as the host chose
}

}  // namespace

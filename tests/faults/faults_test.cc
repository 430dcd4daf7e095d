// Writes under failing I/O, killed writers and competing processes. The binary re-runs itself
// with --churn as the writer child: it creates, saves and removes rules on a database and
// acknowledges each committed write on stdout.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "cli/cli_runner.h"
#include "common/sql_text.h"
#include "db/sqlite_functions.h"
#include "faults/alloc_fault.h"
#include "faults/fault_vfs.h"
#include "support/lookup_fixtures.h"
#include "unit/data_table.h"

namespace tamsel::testing {
namespace {

using clitest::Slurp;
using clitest::Spawn;
using clitest::Wait;

constexpr const char* kChurnFlag = "--churn";
constexpr int kSlots = 8;  // few, so that processes compete for the same rules

std::string SelfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

std::string Scalar(Connection& conn, const std::string& sql) {
  return VarToStr(QueryValue(conn, sql));
}

// Tiers numbered 1..n from 0 upwards without gap, the last one open: [0,10), [10,20), ...
// Prices of the tiers kept are kept.
void SetTierCount(PriceRule& rule, int n) {
  while (rule.ruleItems->Count() > n) {
    int16_t last = static_cast<int16_t>(rule.ruleItems->Count());
    rule.RemoveRuleItem(last);
  }
  while (rule.ruleItems->Count() < n) SetTierPrices(*rule.AddRuleItem(), 19);
  int i = 0;
  for (const auto& entry : *rule.ruleItems) {
    PriceRuleItem& tier = *entry.second;
    tier.iLowerLimit = 10.0 * i++;
    tier.iUpperLimit = i < n ? Variant(10.0 * i) : Variant::Null();
  }
}

// Every rule with its save counter (cMemo); `problems` names each check the tables fail.
std::map<int32_t, int32_t> StoredRules(Connection& conn, std::vector<std::string>& problems) {
  for (const table::Row& check : table::Read("faults/checks.txt")) {
    if (Scalar(conn, check.fields[1]) != "0") problems.push_back(check.fields[0]);
  }
  std::map<int32_t, int32_t> counters;
  auto rs = conn.OpenRecordset("select id, cMemo from ven_inv_price_rule");
  for (; !rs->Eof(); rs->MoveNext())
    counters[VarToLng(rs->Fields("id"))] = VarToLng(rs->Fields("cMemo"));
  rs->Close();
  return counters;
}

// --- The writer child ---------------------------------------------------------------------

void Acknowledge(const std::string& line) {
  const std::string text = line + "\n";
  if (write(STDOUT_FILENO, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::_Exit(3);
  }
}

// Slot s holds rules valid for 5 days from 2025-01-01 + 10 s.
Date SlotDate(int slot) { return Date::FromYmd(2025, 1, 1).AddDays(10 * slot); }

// Random creates, saves and removes on the slots' rules. Each write is announced ("? C", "? S id
// n", "? R id") and, once committed, acknowledged ("C id 0", "S id n", "R id"); a save bumps the
// rule's counter to n. Refusals that competition explains are expected; any other failure is
// reported as "E text".
int Churn(const std::string& connection_text, unsigned seed, int ops) {
  PriceRuleManager manager;
  auto login = std::make_shared<SimpleLogin>(connection_text, FixtureToday(),
                                             std::make_shared<FakeRowAuth>(), "tester");
  if (!VarToBool(manager.InitManager(login, MakeSysInfo(FixtureToday())))) {
    Acknowledge("E the manager did not start");
    return 1;
  }
  const std::set<std::string> expected = {KeyText("00055"), KeyText("00059"), KeyText("00061"),
                                          KeyText("00500")};
  std::mt19937 random(seed);
  for (int i = 0; i < ops; ++i) {
    const int slot = static_cast<int>(random() % kSlots);
    const unsigned pick = random() % 10;
    const int tiers = 1 + static_cast<int>(random() % 4);
    try {
      if (pick < 3) {
        auto rule = RuleEnv::NewRule(tiers);
        rule->dEnableDate = SlotDate(slot).IsoDate();
        rule->dDisableDate = SlotDate(slot).AddDays(4).IsoDate();
        rule->cMemo = "0";
        Acknowledge("? C");
        manager.CreateVenInvPriceRule(rule);
        Acknowledge("C " + detail::IntText(rule->id) + " 0");
        continue;
      }
      const auto found = manager.GetVenInvPriceRule("V01", "I01", SlotDate(slot));
      if (!found) continue;
      const std::string id = detail::IntText(found->id);
      if (pick < 8) {
        auto rule = manager.LoadVenInvPriceRule(found->id);
        if (!rule) continue;
        rule->cMemo = detail::IntText(VarToLng(Variant(rule->cMemo)) + 1);
        SetTierCount(*rule, tiers);
        // A moment to edit, for another process to save in between.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
        Acknowledge("? S " + id + " " + rule->cMemo);
        manager.SaveVenInvPriceRule(rule);
        Acknowledge("S " + id + " " + rule->cMemo);
      } else {
        Acknowledge("? R " + id);
        manager.RemoveVenInvPriceRule(found->id);
        Acknowledge("R " + id);
      }
    } catch (const ComponentError& e) {
      if (expected.count(e.description()) == 0) Acknowledge("E " + e.description());
    } catch (const std::exception& e) {
      Acknowledge(std::string("E ") + e.what());
    }
  }
  manager.ExitManager();
  return 0;
}

// Runs a churn writer per seed on the database and returns what each acknowledged. With
// `killer`, the first writer is killed at a random moment once it has written something.
std::vector<std::string> RunChurn(const TestDatabase& db, const std::vector<unsigned>& seeds,
                                  int ops, std::mt19937* killer = nullptr) {
  std::vector<pid_t> children;
  std::vector<std::string> outputs, acks;
  for (const unsigned seed : seeds) {
    outputs.push_back(db.Path() + ".acks" + detail::IntText(seed));
    std::remove(outputs.back().c_str());
    children.push_back(Spawn(
        {SelfPath(), kChurnFlag, db.ConnectionText(), detail::IntText(seed), detail::IntText(ops)},
        outputs.back()));
  }
  if (killer != nullptr) {
    struct stat info {};
    while ((stat(outputs[0].c_str(), &info) != 0 || info.st_size == 0) &&
           waitpid(children[0], nullptr, WNOHANG) == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::microseconds((*killer)() % 150000));
    kill(children[0], SIGKILL);
  }
  for (size_t i = 0; i < children.size(); ++i) {
    // A writer that ended before the kill was reaped above and reads as 0 here.
    EXPECT_EQ(Wait(children[i]), killer != nullptr ? 128 + SIGKILL : 0);
    acks.push_back(Slurp(outputs[i]));
    std::remove(outputs[i].c_str());
  }
  return acks;
}

// -------------------------------------------------------------------------------------------

// Fresh copies of a database file for one call each, over the current driver; in `dir` when
// it exists (a memory file system spares thousands of syncs).
class WorkCopy {
 public:
  explicit WorkCopy(const TestDatabase& db, const std::filesystem::path& dir = {})
      : from_(db.Path()), path_(db.Path() + ".work"), text_(db.ConnectionText()) {
    if (!dir.empty() && std::filesystem::is_directory(dir)) {
      path_ = (dir / std::filesystem::path(path_).filename()).string();
    }
    text_.replace(text_.find(from_), from_.size(), path_);
  }
  ~WorkCopy() { Clear(); }
  const std::string& text() const { return text_; }
  void Reset() const {
    Clear();
    std::filesystem::copy_file(from_, path_);
  }
  // Every row of both rule tables, and "" when the database is damaged. Read straight from
  // the file, whatever the driver: thousands of calls are judged by it.
  std::string Dump() const {
    sqlite3* db = nullptr;
    std::string rows;
    const auto add = [](void* out, int n, char** values, char**) {
      for (int i = 0; i < n; ++i)
        *static_cast<std::string*>(out) += (values[i] ? values[i] : "null") + std::string("|");
      *static_cast<std::string*>(out) += "\n";
      return 0;
    };
    const bool ok =
        sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        detail::RegisterSqliteFunctions(db) == SQLITE_OK &&
        sqlite3_exec(db, "pragma integrity_check", add, &rows, nullptr) == SQLITE_OK &&
        rows == "ok|\n" &&
        sqlite3_exec(db,
                     "select * from ven_inv_price_rule order by id; select * from "
                     "ven_inv_price_ruleitem order by id, itemid",
                     add, &rows, nullptr) == SQLITE_OK;
    sqlite3_close_v2(db);
    return ok ? rows : "";
  }
  // Whether another connection gets the write lock at once.
  bool WriteLockFree() const {
    sqlite3* db = nullptr;
    const bool free =
        sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
    return free;
  }

 private:
  void Clear() const {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
      std::remove((path_ + suffix).c_str());
  }
  std::string from_, path_, text_;
};

using Call = std::function<void()>;

// "stored"; "refused: " or "unknown: " (whether it is stored) and the ComponentError's text;
// "escaped: " and whatever else reached the caller. Allocations fail by `plan` during the call
// only: the test's own bookkeeping allocates too.
std::string Outcome(const Call& call, const AllocPlan* plan = nullptr,
                    AllocTally* tally = nullptr) {
  std::exception_ptr failure;
  {
#if defined(__SANITIZE_ADDRESS__)
    // The SQLite ODBC driver leaks on some of its error paths; the embedded driver's runs check
    // for leaks of ours.
    std::optional<__lsan::ScopedDisabler> exempt;
    if (plan != nullptr && DriverName() == "odbc") exempt.emplace();
#endif
    if (plan != nullptr) ArmAllocFaults(*plan);
    try {
      call();
    } catch (...) {
      failure = std::current_exception();
    }
    if (plan != nullptr) *tally = DisarmAllocFaults();
  }
  if (!failure) return "stored";
  try {
    std::rethrow_exception(failure);
  } catch (const ComponentError& e) {
    return (e.key() == "Zorvik.pu.Quorlin.00503" ? "unknown: " : "refused: ") + e.description();
  } catch (const std::exception& e) {
    return std::string("escaped: ") + e.what();
  } catch (...) {
    return "escaped: not an exception";
  }
}

std::string PlanName(const AllocPlan& plan) {
  return std::string(plan.allocator == Allocator::kNew ? "new" : "SQLite") + " #" +
         detail::IntText(plan.nth) + (plan.sticky ? " from then on" : " once");
}

bool Starts(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

struct Operation {
  const char* name;
  // Readies the call on a manager; the database holds rule `stored` with 3 tiers.
  std::function<Call(PriceRuleManager&, int32_t stored)> ready;
};

Call SaveWithTiers(PriceRuleManager& manager, int32_t stored, int tiers) {
  auto rule = manager.LoadVenInvPriceRule(stored);
  SetTierCount(*rule, tiers);
  return [&manager, rule] { manager.SaveVenInvPriceRule(rule); };
}

const Operation kOperations[] = {
    {"create",
     [](PriceRuleManager& m, int32_t) -> Call {
       auto rule = RuleEnv::NewRule(3);
       return [&m, rule] { m.CreateVenInvPriceRule(rule); };
     }},
    {"save with more tiers",
     [](PriceRuleManager& m, int32_t stored) { return SaveWithTiers(m, stored, 5); }},
    {"save with fewer tiers",
     [](PriceRuleManager& m, int32_t stored) { return SaveWithTiers(m, stored, 1); }},
    {"remove",
     [](PriceRuleManager& m, int32_t stored) -> Call {
       return [&m, stored] { m.RemoveVenInvPriceRule(stored); };
     }},
};

// What is wrong after a call that met a fault, "" when nothing: no lock is left behind, the
// tables are whole and as before or after the change, the outcome says which (an unknown one
// may be either), and the manager stores the change when asked again (after reloading, when
// the outcome was unknown).
std::string Judge(const WorkCopy& work, PriceRuleManager& manager, const Operation& op,
                  int32_t stored, const Call& call, const std::string& outcome,
                  const std::string& before, const std::string& after) {
  if (!work.WriteLockFree()) return "the write lock is still held";
  const std::string state = work.Dump();
  if (state.empty()) return "damaged";
  if (state != before && state != after) return "half-written";
  const bool unknown = Starts(outcome, "unknown"), refused = Starts(outcome, "refused");
  if (!unknown && !refused && outcome != "stored") return outcome;
  if (outcome == "stored" && state != after) return "reported stored, stored nothing";
  if (refused && state == after) return "reported not stored, but stored";
  if (state == after) return "";
  const std::string again = Outcome(unknown ? op.ready(manager, stored) : call);
  if (again != "stored" || work.Dump() != after) {
    return "the retry did not store the change: " + again;
  }
  return "";
}

// How a judged call ended, for the summary.
std::string End(const std::string& outcome, const std::string& state_before_retry,
                const std::string& before) {
  if (outcome == "stored") return "stored, recovered by itself";
  const std::string kind = Starts(outcome, "unknown")                   ? "unknown"
                           : outcome.find("BEGIN") != std::string::npos ? "refused at begin"
                                                                        : "refused";
  return kind + (state_before_retry == before ? ", nothing stored" : ", stored");
}

void Report(const char* what, const std::map<std::string, int>& ends) {
  int total = 0;
  std::cout << "[ faults ] " << what << " on " << DriverName() << ":";
  for (const auto& [end, n] : ends) {
    std::cout << " " << end << " " << n << ",";
    total += n;
    if (end.find(": ") != std::string::npos) ADD_FAILURE() << n << "x " << end;
  }
  std::cout << " injection points " << total << "\n";
}

TEST(FaultTest, AFailingIoCallFailsTheWholeCallAndARetryStoresIt) {
  RuleEnv env;
  const int32_t stored = env.Store("2023-01-01", "2023-06-30", 3)->id;
  env.manager.ExitManager();  // no connection open on the file that is copied
  const WorkCopy work(env.db);
  std::map<std::string, int> ends;  // by outcome, or by failed check
  for (const Operation& op : kOperations) {
    // The reference: the call and the manager's exit without a fault, counting the I/O calls
    // to fail.
    work.Reset();
    const std::string before = work.Dump();
    work.Reset();  // reading leaves the log's files otherwise than the faulted calls find them
    FaultTally tally;
    {
      PriceRuleManager manager;
      env.InitOther(manager, work.text());
      const Call call = op.ready(manager, stored);
      ArmFaults({});
      call();
      manager.ExitManager();
      tally = DisarmFaults();
    }
    const std::string after = work.Dump();
    ASSERT_NE(before, after) << op.name;
    // The same libsqlite3 serves the ODBC driver: its I/O must have gone through the wrapper.
    ASSERT_GT(tally.calls[static_cast<size_t>(IoCall::kWrite)], 0) << op.name;
    for (const IoCall kind : kIoCalls) {
      const int calls = tally.calls[static_cast<size_t>(kind)];
      for (int plan = 0; plan < 4; ++plan) {
        for (int nth = 1; nth <= calls; ++nth) {
          const FaultPlan fault{kind, nth, (plan & 1) != 0, (plan & 2) != 0};
          work.Reset();
          PriceRuleManager manager;
          env.InitOther(manager, work.text());
          const Call call = op.ready(manager, stored);
          ArmFaults(fault);
          const std::string outcome = Outcome(call);
          // Closing the last connection checkpoints the log: the call's change must survive.
          const bool in_call = FaultFired();
          if (!in_call) manager.ExitManager();
          const bool fired = DisarmFaults().fired;
          const std::string state = work.Dump();
          const std::string problem =
              !fired ? "the fault did not fire"
              : Starts(outcome, "refused") && !in_call
                  ? "refused without a fault: " + outcome
                  : Judge(work, manager, op, stored, call, outcome, before, after);
          ++ends[!problem.empty() ? std::string(op.name) + ", " + IoCallName(kind) +
                                        (fault.disk_full ? " disk full" : " I/O error") +
                                        (fault.sticky ? " from then on" : " once") + ": " + problem
                 : !in_call ? "stored, the fault hit the close"
                            : End(outcome, state, before)];
          manager.ExitManager();
        }
      }
    }
  }
  Report("I/O faults", ends);
}

// Every allocation of the call fails in turn, once and from then on, in SQLite and in
// operator new, until the call runs through without meeting the failure. Under the sanitizers,
// which make each point several times slower, every fourth.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kAllocStride = 4;
#else
constexpr int kAllocStride = 1;
#endif
TEST(FaultTest, AFailingAllocationFailsTheWholeCallAndLeavesNoLockBehind) {
  RuleEnv env;
  const int32_t stored = env.Store("2023-01-01", "2023-06-30", 3)->id;
  env.manager.ExitManager();
  const WorkCopy work(env.db, "/dev/shm");
  std::map<std::string, int> ends;
  for (const Operation& op : kOperations) {
    work.Reset();
    const std::string before = work.Dump();
    work.Reset();  // reading leaves the log's files otherwise than the faulted calls find them
    {
      PriceRuleManager manager;
      env.InitOther(manager, work.text());
      op.ready(manager, stored)();
    }
    const std::string after = work.Dump();
    for (const Allocator allocator : {Allocator::kSqlite, Allocator::kNew}) {
      for (const bool sticky : {false, true}) {
        for (int nth = 1;; nth += kAllocStride) {
          work.Reset();
          PriceRuleManager manager;
          env.InitOther(manager, work.text());
          const Call call = op.ready(manager, stored);
          const AllocPlan plan{allocator, nth, sticky};
          AllocTally tally;
          const std::string outcome = Outcome(call, &plan, &tally);
          if (!tally.fired) {
            EXPECT_EQ(outcome, "stored") << op.name;
            break;
          }
          const std::string state = work.Dump();
          const std::string problem =
              Judge(work, manager, op, stored, call, outcome, before, after);
          ++ends[!problem.empty() ? std::string(op.name) + ", " + PlanName(plan) + ": " + problem
                                  : std::string(op.name) + " " + End(outcome, state, before)];
        }
      }
    }
  }
  Report("allocation failures", ends);
}

// The look-ups under the same allocation failures: a result or ComponentError, and the same
// manager answers as before once memory is back.
TEST(FaultTest, AFailingAllocationInALookUpRaisesTheComponentError) {
  RuleEnv env;
  const int32_t stored = env.Store("2023-01-01", "2023-06-30", 3)->id;
  AddPrice(env.db, {});
  PriceRuleManager& m = env.manager;
  const auto view = [](const auto& found) { return found ? std::string("found") : "none"; };
  const std::pair<const char*, std::function<std::string()>> lookups[] = {
      {"rule look-up",
       [&] { return view(m.GetVenInvPriceRule("V01", "I01", Date::FromYmd(2023, 3, 1))); }},
      {"load",
       [&] {
         const auto rule = m.LoadVenInvPriceRule(stored);
         return rule ? detail::IntText(rule->ruleItems->Count()) : "none";
       }},
      {"price look-up",
       [&] { return view(m.GetVenInvPriceRuleItem("V01", "I01", FixtureToday(), 5)); }},
      {"compare", [&] { return view(m.ComparePrice("I01", 5)); }},
      {"list", [&] { return detail::IntText(m.ListVenInvPriceRules("")->RecordCount()); }},
  };
  std::map<std::string, int> ends;
  for (const auto& [name, lookup] : lookups) {
    const std::string expected = lookup();
    ASSERT_NE(expected, "none") << name;
    for (const Allocator allocator : {Allocator::kSqlite, Allocator::kNew}) {
      for (const bool sticky : {false, true}) {
        for (int nth = 1;; ++nth) {
          std::string result;
          const AllocPlan plan{allocator, nth, sticky};
          AllocTally tally;
          const std::string outcome = Outcome([&] { result = lookup(); }, &plan, &tally);
          if (!tally.fired) break;
          std::string problem;
          if (outcome == "stored") {
            if (result != expected) problem = "a wrong result: " + result;
          } else if (!Starts(outcome, "refused")) {
            problem = outcome;
          }
          if (problem.empty()) {
            const std::string again = Outcome([&] { result = lookup(); });
            if (again != "stored") problem = "the manager is no longer usable: " + again;
          }
          ++ends[std::string(name) + (problem.empty()
                                          ? (outcome == "stored" ? " answered" : " refused")
                                          : ", " + PlanName(plan) + ": " + problem)];
        }
      }
    }
  }
  Report("allocation failures in look-ups", ends);
}

// The acknowledged writes in churn children's output.
struct Acks {
  std::map<int32_t, int32_t> state;            // rule id -> counter, after each write in order
  std::map<int32_t, std::set<int32_t>> saved;  // rule id -> counters of acknowledged saves
  std::set<int32_t> created, removed;
  std::vector<std::string> errors;
  std::vector<std::string> pending;  // the last announced write, when it was not acknowledged

  void Read(const std::string& output) {
    pending.clear();
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
      std::istringstream in(line);
      const std::vector<std::string> words{std::istream_iterator<std::string>(in), {}};
      if (words.empty()) continue;
      if (words[0] == "?") {
        pending = words;
        continue;
      }
      pending.clear();
      if (words[0] == "E") {
        errors.push_back(line);
        continue;
      }
      const int32_t id = VarToLng(Variant(words.at(1)));
      if (words[0] == "R") {
        state.erase(id);
        removed.insert(id);
        continue;
      }
      state[id] = VarToLng(Variant(words.at(2)));
      if (words[0] == "C") created.insert(id);
      // Each save bumps the stored counter: two saves that wrote the same value lost one.
      if (words[0] == "S" && !saved[id].insert(state[id]).second) {
        errors.push_back("a save of rule " + words[1] + " was lost");
      }
    }
  }

  // The state with the pending write done as well; a create's id is the one stored beyond it.
  std::map<int32_t, int32_t> WithPending(const std::map<int32_t, int32_t>& stored) const {
    std::map<int32_t, int32_t> done = state;
    if (pending.size() == 2) {
      const auto created = std::find_if(stored.begin(), stored.end(),
                                        [&](const auto& rule) { return !state.count(rule.first); });
      if (created != stored.end()) done[created->first] = 0;
    } else if (pending.size() == 3) {
      done.erase(VarToLng(Variant(pending[2])));
    } else if (pending.size() == 4) {
      done[VarToLng(Variant(pending[2]))] = VarToLng(Variant(pending[3]));
    }
    return done;
  }
};

constexpr int kCrashRounds = 20;

TEST(CrashTest, AKilledWriterLeavesWholeRulesAndEveryAcknowledgedWrite) {
  RuleEnv env;
  std::mt19937 random(7);
  Acks acks;
  for (int round = 0; round < kCrashRounds; ++round) {
    acks.Read(RunChurn(env.db, {100u + round}, 1000000, &random).at(0));
    std::vector<std::string> problems;
    const auto stored = StoredRules(*env.db.Connect(), problems);
    EXPECT_THAT(problems, ::testing::IsEmpty()) << "round " << round;
    EXPECT_THAT(acks.errors, ::testing::IsEmpty());
    if (stored != acks.state) {
      EXPECT_EQ(stored, acks.WithPending(stored)) << "round " << round;
    }
    acks.state = stored;
  }
}

TEST(ConcurrencyTest, FourProcessesLoseNoSaveAndStoreNoDuplicateOrOverlap) {
  RuleEnv env;
  Acks acks;
  for (const std::string& output : RunChurn(env.db, {1000, 1001, 1002, 1003}, 500)) {
    acks.Read(output);
  }
  // No lost save, and lock waits stay within the busy timeout: no failure but the refusals
  // competition explains.
  EXPECT_THAT(acks.errors, ::testing::IsEmpty());
  std::vector<std::string> problems;
  const auto stored = StoredRules(*env.db.Connect(), problems);
  EXPECT_THAT(problems, ::testing::IsEmpty());
  int saves = 0;
  for (const int32_t id : acks.created) {
    EXPECT_EQ(stored.count(id), 1u - acks.removed.count(id)) << "rule " << id;
  }
  for (const auto& [id, counter] : stored) {
    EXPECT_EQ(acks.created.count(id), 1u) << "rule " << id;
    EXPECT_EQ(counter, acks.saved[id].size()) << "rule " << id;
  }
  for (const auto& [id, counters] : acks.saved) saves += static_cast<int>(counters.size());
  std::cout << "[ faults ] " << acks.created.size() << " creates, " << saves << " saves, "
            << acks.removed.size() << " removes acknowledged\n";
}

}  // namespace
}  // namespace tamsel::testing

int main(int argc, char** argv) {
  if (argc == 5 && std::string_view(argv[1]) == tamsel::testing::kChurnFlag) {
    using tamsel::Variant;
    return tamsel::testing::Churn(argv[2], static_cast<unsigned>(VarToLng(Variant(argv[3]))),
                                  VarToLng(Variant(argv[4])));
  }
  tamsel::testing::InstallAllocFaults();  // before anything starts SQLite
  tamsel::testing::InstallFaultVfs();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

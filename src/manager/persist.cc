// Creating and saving rules: each call is one transaction that is either committed whole or
// rolled back whole.

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/funnel.h"
#include "common/sql_text.h"
#include "common/text.h"
#include "db/driver.h"
#include "manager/rule_batch.h"
#include "manager/statements.h"
#include "manager/write_transaction.h"
#include "tamsel/manager.h"
#include "validation/check_support.h"

namespace tamsel {

namespace {

enum class WriteKind { kCreate, kSave };

std::shared_ptr<Recordset> Query(Connection& conn, const std::string& sql) {
  return conn.OpenRecordset(sql, 0, 1, -1);
}

void RefuseDuplicate(Connection& conn, const std::string& sql) {
  const std::shared_ptr<Recordset> rs = Query(conn, sql);
  const bool found = !rs->Eof();
  rs->Close();
  if (found) detail::RaiseMsg("Error", "00055");
}

void RefuseOverlap(Validator& validator, const std::shared_ptr<PriceRule>& rule) {
  std::string errstr;
  if (!validator.CheckRuleOverLap(rule, errstr)) {
    throw ComponentError("Error", errstr, detail::MsgKey("00500"));
  }
}

}  // namespace

namespace {

// Armed before BEGIN, so that a failure anywhere (right after BEGIN, in the body, in the
// clean-up itself) ends the transaction before the call returns: left open it would hold the
// write lock against every other connection and refuse this manager's next write.
class RollbackUnlessCommitted {
 public:
  explicit RollbackUnlessCommitted(Connection& conn) : conn_(conn) {}
  RollbackUnlessCommitted(const RollbackUnlessCommitted&) = delete;
  RollbackUnlessCommitted& operator=(const RollbackUnlessCommitted&) = delete;
  ~RollbackUnlessCommitted() {
    try {
      Now();
    } catch (...) {  // the connection has ended the session itself by now
    }
  }
  // A failure of the rollback reaches the caller in place of the body's.
  void Now() {
    if (!armed_) return;
    armed_ = false;
    if (conn_.InTransaction()) conn_.RollbackTrans();
  }
  void Disarm() noexcept { armed_ = false; }

 private:
  Connection& conn_;
  bool armed_ = true;
};

}  // namespace

namespace {

// Inside a RuleBatch the write is a savepoint of the batch's transaction: undone alone when it
// fails, made durable by the batch's commit.
void RunInSavepoint(Connection& conn, clsContext& ready,
                    const std::function<void(clsContext&)>& body) {
  const bool mssql = conn.Dialect() == "mssql";
  detail::Funnel([&] {
    conn.Execute(mssql ? "save transaction tamsel_write" : "savepoint tamsel_write", -1);
  });
  bool stored = false;
  detail::Funnel(
      [&] {
        body(ready);
        if (!mssql) conn.Execute("release savepoint tamsel_write", -1);
        stored = true;
      },
      [&] {
        if (mssql) {
          conn.Execute("rollback transaction tamsel_write", -1);
        } else {
          conn.Execute("rollback to savepoint tamsel_write", -1);
          conn.Execute("release savepoint tamsel_write", -1);
        }
      },
      true);
  if (!stored) RaiseError("The change was not stored: it failed without a description.");
}

}  // namespace

// Nothing that can fail runs once COMMIT has succeeded: a stored change must never be reported
// as failed.
void detail::RunWriteTransaction(const std::function<std::shared_ptr<clsContext>()>& context,
                                 const std::function<void(clsContext&)>& body,
                                 bool* outcome_unknown) {
  // Held for the whole write: a host object called on the way may end the manager.
  std::shared_ptr<clsContext> ready;
  detail::Funnel([&] { ready = context(); });
  Assert(ready != nullptr, "The price rule manager is not initialised.");
  Connection& conn = *ready->mConn;
  // Only a RuleBatch opens a transaction on the manager's own connection.
  if (conn.InTransaction()) return RunInSavepoint(conn, *ready, body);
  RollbackUnlessCommitted rollback(conn);
  try {
    conn.BeginTrans();
  } catch (...) {
    // Not funnelled: it arrives with its own description and source "Error".
    RaiseFailure(std::current_exception(), {}, "Error");
  }
  bool unknown = false, committed = false;
  detail::Funnel(
      [&] {
        body(*ready);
        try {
          conn.CommitTrans();
        } catch (const CommitOutcomeUnknown&) {
          unknown = true;
          throw;
        }
        rollback.Disarm();
        committed = true;
      },
      [&] {
        if (unknown) {
          if (outcome_unknown != nullptr) *outcome_unknown = true;
          RaiseMsg("Error", "00503");
        }
        rollback.Now();
      },
      true);
  // The funnel returns normally only after a commit, or after a failure without description.
  if (!committed) RaiseError("The change was not stored: it failed without a description.");
}

namespace {

// Creating and saving differ only in the duplicate test, the header write and its read-back.
void StoreRule(clsContext& context, const std::shared_ptr<PriceRule>& rule, WriteKind kind,
               const std::function<void()>& save_items) {
  Connection& conn = *context.mConn;
  Validator& validator = *context.objValidator;
  validator.VerifyRule(rule);
  PriceRule& r = *rule;
  const bool creating = kind == WriteKind::kCreate;
  RefuseDuplicate(conn,
                  creating ? detail::DuplicateForCreateSql(r) : detail::DuplicateForSaveSql(r));
  RefuseOverlap(validator, rule);
  if (creating) {
    if (conn.Execute(detail::RuleInsertSql(r), -1) <= 0) detail::RaiseMsg("Error", "00056");
  } else if (conn.Execute(detail::RuleUpdateSql(r), -1) < 1) {
    // No row: somebody changed or removed the rule since it was read.
    detail::RaiseMsg("Error", "00059");
  }
  const std::shared_ptr<Recordset> rs =
      Query(conn, creating ? detail::ReadBackForCreateSql(r) : detail::ReadBackForSaveSql(r.id));
  if (rs->Eof()) detail::RaiseMsg("Error", "00057");
  if (creating) r.id = VarToLng(rs->Fields("id"));
  r.ufts = detail::Trim(VarToStr(rs->Fields("ufts")));
  rs->Close();
  save_items();
}

// The id and row version the rule held before a write, put back when the write fails. A
// rolled-back insert gives its id and row version back to the database, which hands them to the
// next writer; a rule still holding them would let a retry overwrite that writer's rule.
class StoredIdentity {
 public:
  explicit StoredIdentity(const std::shared_ptr<PriceRule>& rule) : rule_(rule) {
    if (!rule_) return;
    id_ = rule_->id;
    ufts_ = rule_->ufts;
    if (rule_->ruleItems) {
      for (const auto& [key, item] : *rule_->ruleItems) tier_ids_.emplace_back(item, item->id);
    }
  }
  // Swaps rather than copies: putting the old values back must not need memory.
  void Restore() noexcept {
    if (!rule_) return;
    rule_->id = id_;
    rule_->ufts.swap(ufts_);
    for (const auto& [item, id] : tier_ids_) item->id = id;
  }

 private:
  std::shared_ptr<PriceRule> rule_;
  int32_t id_ = 0;
  std::string ufts_;
  std::vector<std::pair<std::shared_ptr<PriceRuleItem>, int32_t>> tier_ids_;
};

// After a commit of unknown outcome the rule keeps what was read back: should the change be
// stored, the old id or row version would point a retry at the wrong row.
void StoreInTransaction(const std::function<std::shared_ptr<clsContext>()>& context,
                        const std::shared_ptr<PriceRule>& rule, WriteKind kind,
                        const std::function<void()>& save_items) {
  StoredIdentity before(rule);
  bool unknown = false;
  try {
    detail::RunWriteTransaction(
        context, [&](clsContext& ready) { StoreRule(ready, rule, kind, save_items); }, &unknown);
  } catch (...) {
    if (!unknown) before.Restore();
    throw;
  }
}

}  // namespace

void PriceRuleManager::CreateVenInvPriceRule(const std::shared_ptr<PriceRule>& rule) {
  detail::OnlyComponentErrors([&] {
    StoreInTransaction([this] { return Context(); }, rule, WriteKind::kCreate,
                       [&] { SaveRuleItems(rule); });
  });
}

void PriceRuleManager::SaveVenInvPriceRule(const std::shared_ptr<PriceRule>& rule) {
  detail::OnlyComponentErrors([&] {
    StoreInTransaction([this] { return Context(); }, rule, WriteKind::kSave,
                       [&] { SaveRuleItems(rule); });
  });
}

// Runs inside the caller's transaction and funnel. It has no funnel of its own: a failure must
// reach the caller's rollback even when it carries no description.
void PriceRuleManager::SaveRuleItems(const std::shared_ptr<PriceRule>& rule) {
  PriceRule& r = detail::Required(rule, "The rule");
  Connection& conn = detail::Required(Context()->mConn, "The manager's connection");
  conn.Execute(detail::RuleItemsDeleteSql(r.id), -1);
  const int32_t count = r.ruleItems ? r.ruleItems->Count() : 0;
  if (count >= std::numeric_limits<int16_t>::max()) {
    RaiseError("A rule holds at most " + detail::IntText(std::numeric_limits<int16_t>::max() - 1) +
               " tiers.");
  }
  for (int16_t i = 1; i <= count; ++i) {
    const std::shared_ptr<PriceRuleItem> item = r.ruleItems->Item(detail::IntText(i));
    item->id = r.id;
    item->index = i;
    if (conn.Execute(detail::RuleItemInsertSql(r.id, i, *item), -1) < 1) {
      detail::RaiseMsg("Error", "00054");
    }
  }
}

}  // namespace tamsel

namespace tamsel::detail {

RuleBatch::RuleBatch(PriceRuleManager& manager) : context_(manager.Context()) {
  Connection& conn = Required(context_->mConn, "The manager's connection");
  // Each savepoint keeps a statement journal, on disk several writes per rule; in memory it
  // is a few copied pages.
  if (conn.Dialect() == "sqlite") conn.Execute("PRAGMA temp_store=MEMORY");
  conn.BeginTrans();
}

RuleBatch::~RuleBatch() {
  Connection& conn = *context_->mConn;
  try {
    if (conn.InTransaction()) conn.RollbackTrans();
    if (conn.Dialect() == "sqlite") conn.Execute("PRAGMA temp_store=DEFAULT");
  } catch (...) {  // the connection has ended the session itself by now
  }
}

void RuleBatch::Commit() {
  Connection& conn = *context_->mConn;
  conn.CommitTrans();
  conn.BeginTrans();
}

}  // namespace tamsel::detail

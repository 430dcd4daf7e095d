// Creating and saving rules: each call is one transaction that is either committed whole or
// rolled back whole.

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/funnel.h"
#include "common/sql_text.h"
#include "common/text.h"
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

// Should a failure carry no description, the funnel would return silently; the call is then
// still reported as failed, since nothing was written.
void detail::RunWriteTransaction(const std::function<std::shared_ptr<clsContext>()>& context,
                                 const std::function<void(clsContext&)>& body) {
  // Held for the whole write: a host object called on the way may end the manager.
  std::shared_ptr<clsContext> ready;
  detail::Funnel([&] { ready = context(); });
  Assert(ready != nullptr, "The price rule manager is not initialised.");
  Connection& conn = *ready->mConn;
  conn.BeginTrans();
  bool committed = false;
  detail::Funnel(
      [&] {
        body(*ready);
        conn.CommitTrans();
        committed = true;
      },
      [&] {
        if (conn.InTransaction()) conn.RollbackTrans();
      },
      true);
  Assert(committed, "The change was not stored: it failed without a description.");
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
  void Restore() const {
    if (!rule_) return;
    rule_->id = id_;
    rule_->ufts = ufts_;
    for (const auto& [item, id] : tier_ids_) item->id = id;
  }

 private:
  std::shared_ptr<PriceRule> rule_;
  int32_t id_ = 0;
  std::string ufts_;
  std::vector<std::pair<std::shared_ptr<PriceRuleItem>, int32_t>> tier_ids_;
};

void StoreInTransaction(const std::function<std::shared_ptr<clsContext>()>& context,
                        const std::shared_ptr<PriceRule>& rule, WriteKind kind,
                        const std::function<void()>& save_items) {
  const StoredIdentity before(rule);
  try {
    detail::RunWriteTransaction(
        context, [&](clsContext& ready) { StoreRule(ready, rule, kind, save_items); });
  } catch (...) {
    before.Restore();
    throw;
  }
}

}  // namespace

void PriceRuleManager::CreateVenInvPriceRule(const std::shared_ptr<PriceRule>& rule) {
  StoreInTransaction([this] { return Context(); }, rule, WriteKind::kCreate,
                     [&] { SaveRuleItems(rule); });
}

void PriceRuleManager::SaveVenInvPriceRule(const std::shared_ptr<PriceRule>& rule) {
  StoreInTransaction([this] { return Context(); }, rule, WriteKind::kSave,
                     [&] { SaveRuleItems(rule); });
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

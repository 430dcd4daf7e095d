// Creating and saving rules: each call is one transaction that is either committed whole or
// rolled back whole.

#include <limits>

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
  if (found) RaiseError(detail::Msg("00055"));
}

void RefuseOverlap(Validator& validator, const std::shared_ptr<PriceRule>& rule) {
  std::string errstr;
  if (!validator.CheckRuleOverLap(rule, errstr)) RaiseError(errstr);
}

}  // namespace

// Should a failure carry no description, the funnel would return silently; the call is then
// still reported as failed, since nothing was written.
void detail::RunWriteTransaction(const std::function<clsContext&()>& context,
                                 const std::function<void(clsContext&)>& body) {
  clsContext* ready = nullptr;
  detail::Funnel([&] { ready = &context(); });
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
    if (conn.Execute(detail::RuleInsertSql(r), -1) <= 0) RaiseError(detail::Msg("00056"));
  } else if (conn.Execute(detail::RuleUpdateSql(r), -1) < 1) {
    // No row: somebody changed or removed the rule since it was read.
    RaiseError(detail::Msg("00059"));
  }
  const std::shared_ptr<Recordset> rs =
      Query(conn, creating ? detail::ReadBackForCreateSql(r) : detail::ReadBackForSaveSql(r.id));
  if (rs->Eof()) RaiseError(detail::Msg("00057"));
  if (creating) r.id = VarToLng(rs->Fields("id"));
  r.ufts = detail::Trim(VarToStr(rs->Fields("ufts")));
  rs->Close();
  save_items();
}

}  // namespace

void PriceRuleManager::CreateVenInvPriceRule(const std::shared_ptr<PriceRule>& rule) {
  detail::RunWriteTransaction([this]() -> clsContext& { return Context(); },
                              [&](clsContext& context) {
                                StoreRule(context, rule, WriteKind::kCreate,
                                          [&] { SaveRuleItems(rule); });
                              });
}

void PriceRuleManager::SaveVenInvPriceRule(const std::shared_ptr<PriceRule>& rule) {
  detail::RunWriteTransaction([this]() -> clsContext& { return Context(); },
                              [&](clsContext& context) {
                                StoreRule(context, rule, WriteKind::kSave,
                                          [&] { SaveRuleItems(rule); });
                              });
}

// Runs inside the caller's transaction and funnel. It has no funnel of its own: a failure must
// reach the caller's rollback even when it carries no description.
void PriceRuleManager::SaveRuleItems(const std::shared_ptr<PriceRule>& rule) {
  PriceRule& r = detail::Required(rule, "The rule");
  Connection& conn = detail::Required(Context().mConn, "The manager's connection");
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
      RaiseError(detail::Msg("00054"));
    }
  }
}

}  // namespace tamsel

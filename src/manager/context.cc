// The manager's context: opening and closing it, and reaching it from every operation.

#include "common/funnel.h"
#include "common/text.h"
#include "manager/lookup_support.h"
#include "suite/suite_catalog.h"
#include "tamsel/error.h"
#include "tamsel/manager.h"
#include "tamsel/messages.h"

namespace tamsel {

namespace {

constexpr const char* kNotInitialised =
    "The price rule manager is not initialised: call InitManager first.";
// Raised when the suite gives no row-authorisation service and a new one does not start.
constexpr const char* kAuthInitFailed = "Zorvik.pu.Quorlin.00062";

}  // namespace

std::shared_ptr<RowAuthService> detail::RowAuthFor(Login& login, const std::string& conn_text) {
  if (auto own = login.AuthService()) return own;
  auto started = NewRowAuthService();
  if (started && started->Init(conn_text, login.RowAuthText(), 0, 0)) return started;
  return nullptr;
}

std::shared_ptr<clsContext> PriceRuleManager::Context() {
  if (!mContext) RaiseError(kNotInitialised);
  return mContext;
}

Variant PriceRuleManager::InitManager(std::shared_ptr<Login> login, std::shared_ptr<SysInfo> info,
                                      std::shared_ptr<Connection> conn) {
  try {
    // The earlier context goes at once; its connection closes when the last result set that
    // still reads from it is released. The new one is built apart and handed over complete: the
    // login is the caller's object, and may end or restart this manager while it answers.
    mContext.reset();
    const auto fresh = std::make_shared<clsContext>();
    clsContext& context = *fresh;
    if (!login) throw std::invalid_argument("InitManager needs a login object.");
    context.objLogin = login;
    // The caller's connection lends only its text: the manager works on a connection of its
    // own and never closes the caller's.
    const std::string text = conn ? conn->ConnectionString() : login->ConnectionText();
    context.bNewConn = !conn;
    context.mConn = std::make_shared<Connection>();
    context.mConn->Open(text, "", "", -1);
    // Without its tables every call would fail on its own statement; one clear answer here.
    if (const std::string missing = MissingSuiteTable(*context.mConn); !missing.empty()) {
      throw DatabaseError(std::string(kNotTamselDatabase) + ": it has no table " + missing +
                          " (install the suite's schema first)");
    }
    detail::CheckSuiteCatalog(*context.mConn);
    context.objManager = this;
    context.objValidator = std::shared_ptr<Validator>(new Validator());
    context.objSysInfo = std::move(info);
    context.objAuthSrv = detail::RowAuthFor(*login, context.mConn->ConnectionString());
    Assert(context.objAuthSrv != nullptr, GetResString(kAuthInitFailed));
    context.objValidator->SetContext(fresh);
    mContext = fresh;
    mInitFailure.clear();
    return Variant(true);
  } catch (...) {
    mContext.reset();
    mInitFailure = detail::Describe(std::current_exception());
    return Variant(false);
  }
}

bool PriceRuleManager::ExitManager() {
  if (!mContext) return false;
  try {
    if (mContext->mConn && mContext->mConn->State() != 0) mContext->mConn->Close();
  } catch (...) {
    // A failed close must not keep the context alive.
  }
  mContext.reset();
  return true;
}

std::shared_ptr<Validator> PriceRuleManager::GetValidator() { return Context()->objValidator; }

}  // namespace tamsel

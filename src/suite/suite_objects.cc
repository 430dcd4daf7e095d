// Stand-ins for the suite's login, system-information and row-authorisation objects.

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/sql_text.h"
#include "common/text.h"
#include "tamsel/services.h"

namespace tamsel {

SimpleLogin::SimpleLogin(std::string connection_text, Date login_date,
                         std::shared_ptr<RowAuthService> auth_service, std::string row_auth_text)
    : connection_text_(std::move(connection_text)),
      login_date_(login_date),
      auth_service_(std::move(auth_service)),
      row_auth_text_(std::move(row_auth_text)) {}

std::string SimpleLogin::ConnectionText() { return connection_text_; }
std::shared_ptr<RowAuthService> SimpleLogin::AuthService() { return auth_service_; }
std::string SimpleLogin::RowAuthText() { return row_auth_text_; }
Date SimpleLogin::LoginDate() { return login_date_; }

void MapSysInfo::Set(std::string_view member, Variant value) {
  members_[detail::Lower(member)] = [value = std::move(value)](const std::vector<Variant>&) {
    return value;
  };
}

void MapSysInfo::SetMethod(std::string_view member, Method method) {
  members_[detail::Lower(member)] = std::move(method);
}

Variant MapSysInfo::Invoke(std::string_view member, const std::vector<Variant>& args) {
  const auto found = members_.find(detail::Lower(member));
  if (found == members_.end() || !found->second) {
    throw std::invalid_argument("the system information has no member " + std::string(member));
  }
  return found->second(args);
}

std::shared_ptr<MapSysInfo> MakeSysInfo(const Date& today, bool check_inv_auth,
                                        bool check_vendor_auth, bool monthly_rates) {
  auto info = std::make_shared<MapSysInfo>();
  info->Set("bCheckInvAuth", check_inv_auth);
  info->Set("bCheckVendorAuth", check_vendor_auth);
  info->Set("Today", today);
  // Whole numbers, so that their text is "2026" and "3": the form exch.iyear/cdate hold.
  info->Set("TheYear", static_cast<int32_t>(today.year()));
  info->Set("TheMonth", static_cast<int32_t>(today.month()));
  info->SetMethod("getdicvalue", [monthly_rates](const std::vector<Variant>& args) {
    if (!args.empty() && args[0].type() == VarType::String &&
        detail::EqualsNoCase(detail::Trim(args[0].AsString()), "ixchgratestl")) {
      return Variant(monthly_rates);
    }
    return Variant();
  });
  return info;
}

// Row authorisation ------------------------------------------------------------------------

TableRowAuthService::TableRowAuthService() = default;
TableRowAuthService::~TableRowAuthService() = default;

bool TableRowAuthService::Init(const std::string& connectionText, const std::string& loginText,
                               int32_t, int32_t) {
  conn_.reset();
  user_.clear();
  try {
    auto conn = std::make_unique<Connection>();
    conn->Open(connectionText);
    // A database without the table cannot answer any question: not ready.
    conn->OpenRecordset("select cUser from tamsel_row_auth where 1=2");
    conn_ = std::move(conn);
    user_ = loginText;
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

namespace {

// The user's grants of a kind, as "select ... from tamsel_row_auth a" conditions.
std::string GrantCondition(const std::string& user, std::string_view kind) {
  return "a.cUser=N'" + detail::SqlEsc(user) + "' and a.cKind=N'" + detail::SqlEsc(kind) + "'";
}

// Seeing a row needs a read or a write right.
constexpr const char* kCanSee = " and (a.cRight like '%R%' or a.cRight like '%W%')";

Connection& Ready(const std::unique_ptr<Connection>& conn) {
  if (!conn) throw std::logic_error("the row-authorisation service is not initialised");
  return *conn;
}

}  // namespace

std::string TableRowAuthService::GetRowAuthCondition(const std::string& busObject, int32_t,
                                                     int32_t) {
  Connection& conn = Ready(conn_);
  const std::string kind = detail::Trim(busObject);
  const std::string grants = GrantCondition(user_, kind) + kCanSee;
  auto all = conn.OpenRecordset("select a.cCode from tamsel_row_auth a where " + grants +
                                " and a.cCode=N'*'");
  if (!all->Eof()) return "";

  std::vector<std::string> items;
  if (detail::EqualsNoCase(kind, "VENDOR")) {
    auto rs = conn.OpenRecordset(
        "select distinct v.iid from Vendor v inner join tamsel_row_auth a on a.cCode=v.cVenCode"
        " where " +
        grants + " order by v.iid");
    // A stored value is no more trusted than a typed one: an iid that is not a whole number
    // goes into the list as a quoted literal, where it can only fail to match.
    for (; !rs->Eof(); rs->MoveNext()) {
      const std::string iid = detail::Trim(VarToStr(rs->Fields("iid")));
      const bool whole = !iid.empty() && iid.find_first_not_of("0123456789") == std::string::npos;
      items.push_back(whole ? iid : "N'" + detail::SqlEsc(iid) + "'");
    }
  } else {
    // Other kinds have no numeric key: their codes, as literals.
    auto rs = conn.OpenRecordset("select distinct a.cCode from tamsel_row_auth a where " + grants +
                                 " order by a.cCode");
    for (; !rs->Eof(); rs->MoveNext()) {
      items.push_back("N'" + detail::SqlEsc(VarToStr(rs->Fields("cCode"))) + "'");
    }
  }
  if (items.empty()) return "1=2";
  std::string list;
  for (const auto& item : items) list += (list.empty() ? "" : ",") + item;
  return list;
}

bool TableRowAuthService::HasRowAuth(const std::string& kind, const std::string& code, int32_t,
                                     const std::string& right) {
  Connection& conn = Ready(conn_);
  const std::string wanted = detail::Trim(right);
  if (wanted.empty()) return false;
  auto rs = conn.OpenRecordset("select a.cRight from tamsel_row_auth a where " +
                               GrantCondition(user_, detail::Trim(kind)) +
                               " and (a.cCode=N'*' or a.cCode=N'" + detail::SqlEsc(code) + "')");
  // Checked here rather than with LIKE, where a right of "%" would match anything.
  const std::string needle = detail::Lower(wanted);
  for (; !rs->Eof(); rs->MoveNext()) {
    if (detail::Lower(VarToStr(rs->Fields("cRight"))).find(needle) != std::string::npos) {
      return true;
    }
  }
  return false;
}

// Factory ----------------------------------------------------------------------------------

namespace {

std::mutex& FactoryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::function<std::shared_ptr<RowAuthService>()>& Factory() {
  static std::function<std::shared_ptr<RowAuthService>()> factory;
  return factory;
}

}  // namespace

void SetRowAuthServiceFactory(std::function<std::shared_ptr<RowAuthService>()> factory) {
  std::lock_guard lock(FactoryMutex());
  Factory() = std::move(factory);
}

std::shared_ptr<RowAuthService> NewRowAuthService() {
  std::function<std::shared_ptr<RowAuthService>()> factory;
  {
    std::lock_guard lock(FactoryMutex());
    factory = Factory();
  }
  // Called outside the lock: a factory may itself replace the factory.
  if (factory) return factory();
  return std::make_shared<TableRowAuthService>();
}

}  // namespace tamsel

#pragma once

// What every command shares: the global options, the errors that choose the exit code, and a
// session that opens the price-rule manager on the chosen database.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tamsel/tamsel.h"

namespace tamsel::cli {

struct GlobalOptions {
  std::string db_path;
  std::string connection;
  std::string connection_file;
  std::string lang;
  bool json = false;
  bool trace_sql = false;
  std::string login_date;  // yyyy-MM-dd; empty means today
  std::string user;
  bool check_auth = false;
};

// The tool's exit codes, one per kind of outcome a script may want to tell apart.
enum ExitCode : int {
  kDone = 0,
  kFailed = 1,
  kUsage = 2,        // wrong command line
  kNotFound = 3,     // a look-up found nothing; an unknown rule id or vendor
  kRefused = 4,      // refused by a check: validation, duplicate, overlap
  kConflict = 5,     // changed or deleted by another user meanwhile
  kUnavailable = 6,  // the database cannot be reached
};

// A mistake on the command line: exit code 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure the tool detects itself (missing file, bad input file, nothing found).
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& what, int code = kFailed)
      : std::runtime_error(what), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// The exit code of a component failure, told by its message key.
int ExitCodeOf(const ComponentError& error);

// Accepts exactly yyyy-MM-dd naming a real day.
CLI::Validator IsoDateValidator();
// The date of a yyyy-MM-dd text; UsageError otherwise.
Date ParseIsoDate(std::string_view text);
// The login date of --date, or today.
Date LoginDate(const GlobalOptions& options);

// Fills the connection text from --connection-file, or from TAMSEL_CONNECTION when no database
// is named on the command line, so that a password need not appear there.
void ReadConnectionSources(GlobalOptions& options);
// The connection text for --db or --connection; a text that gives a key twice is refused. With
// must_exist, an embedded database file that is not there is reported instead of being created by
// the driver.
std::string ResolveConnectionText(const GlobalOptions& options, bool must_exist);
// The embedded-database connection text for a path; a path the text cannot carry is refused.
std::string SqliteConnectionText(const std::string& path);

// The message of any failure, ready for one stderr line: trailing carriage returns and blanks
// removed.
std::string CleanMessage(std::string_view text);

struct SessionSettings {
  std::optional<Date> today;  // business date; the login date when not given
  bool monthly_rates = false;
};

// An initialised manager for the length of one command; ExitManager on destruction.
class Session {
 public:
  Session(const GlobalOptions& options, const SessionSettings& settings = {});
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  PriceRuleManager& manager() { return manager_; }
  // Whether the vendor exists; a look-up for an unknown one would answer with the price open to
  // any vendor.
  bool HasVendor(const std::string& code) const;
  // Whether the item exists; a look-up for an unknown one would answer that no price applies.
  bool HasItem(const std::string& code) const;
  const std::string& connection_text() const { return connection_text_; }
  SysInfo& sys_info() { return *sys_info_; }
  const Date& login_date() const { return login_date_; }
  const Date& today() const { return today_; }
  bool monthly_rates() const { return monthly_rates_; }

 private:
  PriceRuleManager manager_;
  std::shared_ptr<Login> login_;
  std::string connection_text_;
  std::shared_ptr<SysInfo> sys_info_;
  Date login_date_;
  Date today_;
  bool monthly_rates_;
};

}  // namespace tamsel::cli

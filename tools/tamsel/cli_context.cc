#include "cli_context.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>

#include "common/text.h"
#include "db/connection_text.h"
#include "present/i18n.h"

namespace tamsel::cli {
namespace {

// The file behind an embedded-database connection text, or "" when the text names none (ODBC,
// URIs, in-memory databases). The driver's own reader decides, so both take the same file.
std::string EmbeddedFile(std::string_view connection_text) {
  using detail::ConnectionTextValue;
  using detail::EqualsNoCase;
  const std::string source = ConnectionTextValue(connection_text, "Data Source");
  if (!EqualsNoCase(ConnectionTextValue(connection_text, "Provider"), "sqlite") || source.empty() ||
      source == ":memory:" || EqualsNoCase(source.substr(0, 5), "file:")) {
    return "";
  }
  return source;
}

void RequireFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    throw ToolError(
        Tf("database not found: {0} (create one with: tamsel init --db PATH [--demo-data])", path),
        kUnavailable);
  }
}

// Stands in for the row-authorisation service when rights are not checked; the manager asks
// it nothing then, and a question would be a fault.
class UnaskedRowAuth : public RowAuthService {
 public:
  bool Init(const std::string&, const std::string&, int32_t, int32_t) override { return true; }
  std::string GetRowAuthCondition(const std::string&, int32_t, int32_t) override { Unasked(); }
  bool HasRowAuth(const std::string&, const std::string&, int32_t, const std::string&) override {
    Unasked();
  }

 private:
  [[noreturn]] static void Unasked() {
    throw std::logic_error("row authorisation asked for without --check-auth");
  }
};

}  // namespace

Date ParseIsoDate(std::string_view text) {
  // Digits at fixed places: a pattern engine here cost the tool a tenth of its start-up.
  const auto field = [&](size_t pos, size_t len) {
    int value = -1;
    for (size_t i = pos; i < pos + len; ++i) {
      if (text[i] < '0' || text[i] > '9') return -1;
    }
    std::from_chars(text.data() + pos, text.data() + pos + len, value);
    return value;
  };
  if (text.size() == 10 && text[4] == '-' && text[7] == '-') {
    try {
      return Date::FromYmd(field(0, 4), field(5, 2), field(8, 2));
    } catch (const std::invalid_argument&) {
    }
  }
  throw UsageError(Tf("not a date in the form yyyy-MM-dd: {0}", text));
}

CLI::Validator IsoDateValidator() {
  return CLI::Validator(
      [](std::string& value) -> std::string {
        try {
          ParseIsoDate(value);
          return "";
        } catch (const UsageError& e) {
          return e.what();
        }
      },
      "yyyy-MM-dd", "IsoDate");
}

Date LoginDate(const GlobalOptions& options) {
  return options.login_date.empty() ? Date::Today() : ParseIsoDate(options.login_date);
}

std::string SqliteConnectionText(const std::string& path) {
  // The connection text is a list of key=value pairs: a path with ';' would be cut short and
  // could open another file.
  if (path.empty() || path.find(';') != std::string::npos) {
    throw UsageError(Tf("database path must be non-empty and must not contain ';': {0}", path));
  }
  return "Provider=SQLite;Data Source=" + path;
}

std::string ResolveConnectionText(const GlobalOptions& options, bool must_exist) {
  if (!options.db_path.empty() && !options.connection.empty()) {
    throw UsageError(_("give either --db or --connection, not both"));
  }
  if (!options.db_path.empty()) {
    std::string text = SqliteConnectionText(options.db_path);
    if (must_exist) RequireFile(options.db_path);
    return text;
  }
  if (!options.connection.empty()) {
    std::string file;
    try {
      file = EmbeddedFile(options.connection);
    } catch (const DatabaseError& e) {
      throw UsageError(e.what());
    }
    if (must_exist && !file.empty()) RequireFile(file);
    return options.connection;
  }
  throw UsageError(
      _("no database given: use --db PATH, --connection TEXT, --connection-file FILE or "
        "TAMSEL_CONNECTION"));
}

void ReadConnectionSources(GlobalOptions& options) {
  if (!options.connection_file.empty()) {
    if (!options.connection.empty()) {
      throw UsageError(_("give either --connection or --connection-file, not both"));
    }
    std::ifstream in(options.connection_file, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
      throw ToolError(Tf("cannot read the connection file {0}", options.connection_file));
    }
    options.connection = text.str();
    // An editor's final line break is no part of the text.
    while (!options.connection.empty() &&
           (options.connection.back() == '\n' || options.connection.back() == '\r')) {
      options.connection.pop_back();
    }
    if (options.connection.empty()) {
      throw UsageError(Tf("the connection file {0} is empty", options.connection_file));
    }
    return;
  }
  const char* env = std::getenv("TAMSEL_CONNECTION");
  if (options.connection.empty() && options.db_path.empty() && env != nullptr) {
    options.connection = env;
  }
}

std::string CleanMessage(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  std::string out(text);
  // Several checks' messages are joined by carriage returns; a terminal wants line breaks.
  std::replace(out.begin(), out.end(), '\r', '\n');
  return out;
}

Session::Session(const GlobalOptions& options, const SessionSettings& settings)
    : connection_text_(ResolveConnectionText(options, /*must_exist=*/true)),
      login_date_(LoginDate(options)),
      today_(settings.today.value_or(login_date_)),
      monthly_rates_(settings.monthly_rates) {
  // Without --check-auth no right is ever asked for, so the service that would answer (and
  // its own database connection) is not started.
  login_ = std::make_shared<SimpleLogin>(
      connection_text_, login_date_,
      options.check_auth ? nullptr : std::make_shared<UnaskedRowAuth>(), options.user);
  sys_info_ = MakeSysInfo(today_, options.check_auth, options.check_auth, monthly_rates_);
  Variant ready = manager_.InitManager(login_, sys_info_);
  if (ready.type() == VarType::Boolean && ready.AsBool()) return;
  std::string why = CleanMessage(detail::RedactSecrets(manager_.InitFailure(), connection_text_));
  if (manager_.InitFailure().starts_with(kNotTamselDatabase)) {
    why += "\n" + std::string(_("install the suite's schema with: tamsel init --connection TEXT"));
  }
  throw ToolError(Tf("cannot open the price-rule manager on {0}: {1}",
                     detail::RedactConnectionText(connection_text_), why),
                  kUnavailable);
}

namespace {
// Whether the master-data table holds the code, read on a connection of its own.
bool HasCode(const std::string& connection_text, const char* table, const char* column,
             const std::string& code) {
  Connection conn;
  conn.Open(connection_text);
  return !conn.OpenRecordset(std::string("select ") + column + " from " + table + " where " +
                             column + "=" + ToSqlText(Variant(code)))
              ->Eof();
}
}  // namespace

bool Session::HasVendor(const std::string& code) const {
  return HasCode(connection_text_, "Vendor", "cVenCode", code);
}

bool Session::HasItem(const std::string& code) const {
  return HasCode(connection_text_, "Inventory", "cInvCode", code);
}

int ExitCodeOf(const ComponentError& error) {
  const std::string& key = error.key();
  const std::string digits = key.size() >= 5 ? key.substr(key.size() - 5) : "";
  if (digits == "00059" || digits == "00057") return kConflict;
  if (digits == "00061") return kNotFound;
  // Verification and master data (00001-00050), a duplicate, an overlap, trade terms.
  if ((digits >= "00001" && digits <= "00050") || digits == "00055" ||
      (digits >= "00500" && digits <= "00502")) {
    return kRefused;
  }
  return kFailed;
}

Session::~Session() { manager_.ExitManager(); }

}  // namespace tamsel::cli

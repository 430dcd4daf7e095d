#include "cli_context.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <regex>
#include <utility>

namespace tamsel::cli {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The file behind an embedded-database connection text, or "" when the text names none (ODBC,
// URIs, in-memory databases).
std::string EmbeddedFile(std::string_view connection_text) {
  std::string provider;
  std::string source;
  size_t start = 0;
  while (start <= connection_text.size()) {
    size_t end = connection_text.find(';', start);
    if (end == std::string_view::npos) end = connection_text.size();
    std::string_view pair = connection_text.substr(start, end - start);
    size_t eq = pair.find('=');
    if (eq != std::string_view::npos) {
      std::string key = Lower(Trim(pair.substr(0, eq)));
      std::string_view value = Trim(pair.substr(eq + 1));
      if (key == "provider") provider = Lower(value);
      if (key == "data source") source = std::string(value);
    }
    start = end + 1;
  }
  if (provider != "sqlite" || source.empty() || source == ":memory:" ||
      Lower(source).rfind("file:", 0) == 0) {
    return "";
  }
  return source;
}

void RequireFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    throw ToolError("database not found: " + path +
                    " (create one with: tamsel init --db PATH [--demo-data])");
  }
}

}  // namespace

Date ParseIsoDate(std::string_view text) {
  static const std::regex kIso(R"(^(\d{4})-(\d{2})-(\d{2})$)");
  std::match_results<std::string_view::const_iterator> m;
  if (std::regex_match(text.begin(), text.end(), m, kIso)) {
    try {
      return Date::FromYmd(std::stoi(m[1].str()), std::stoi(m[2].str()), std::stoi(m[3].str()));
    } catch (const std::invalid_argument&) {
    }
  }
  throw UsageError("not a date in the form yyyy-MM-dd: " + std::string(text));
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
    throw UsageError("database path must be non-empty and must not contain ';': " + path);
  }
  return "Provider=SQLite;Data Source=" + path;
}

std::string ResolveConnectionText(const GlobalOptions& options, bool must_exist) {
  if (!options.db_path.empty() && !options.connection.empty()) {
    throw UsageError("give either --db or --connection, not both");
  }
  if (!options.db_path.empty()) {
    std::string text = SqliteConnectionText(options.db_path);
    if (must_exist) RequireFile(options.db_path);
    return text;
  }
  if (!options.connection.empty()) {
    if (must_exist) {
      std::string file = EmbeddedFile(options.connection);
      if (!file.empty()) RequireFile(file);
    }
    return options.connection;
  }
  throw UsageError("no database given: use --db PATH or --connection TEXT");
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
  auto login = std::make_shared<SimpleLogin>(connection_text_, login_date_, nullptr, options.user);
  sys_info_ = MakeSysInfo(today_, options.check_auth, options.check_auth, monthly_rates_);
  Variant ready = manager_.InitManager(login, sys_info_);
  if (ready.type() == VarType::Boolean && ready.AsBool()) return;
  // InitManager keeps its reason to itself; opening the database once more recovers it.
  std::string reason = "the row-authorisation service did not start";
  try {
    Connection probe;
    probe.Open(connection_text_);
    probe.Close();
  } catch (const std::exception& e) {
    reason = e.what();
  }
  throw ToolError("cannot open the price-rule manager on " + connection_text_ + ": " +
                  CleanMessage(reason));
}

Session::~Session() { manager_.ExitManager(); }

}  // namespace tamsel::cli

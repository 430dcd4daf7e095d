#include "services/tsql_rewriter.h"

#include <cctype>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "services/sqlite_functions.h"
#include "tamsel/error.h"

namespace tamsel::detail {

namespace {

enum class Kind { kSpace, kWord, kLiteral, kQuotedName, kPunct };

struct Token {
  Kind kind;
  std::string text;  // as it is written out
};

bool IsWordChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::string Excerpt(std::string_view sql, size_t pos) {
  std::string piece(sql.substr(pos, 40));
  if (pos + 40 < sql.size()) piece += "...";
  return piece;
}

[[noreturn]] void Fail(const std::string& what, std::string_view sql, size_t pos) {
  throw DatabaseError("cannot translate the statement: " + what + " at \"" + Excerpt(sql, pos) +
                      "\"");
}

// Reads a '...' literal starting at the quote; '' inside is a quote. Returns the literal with
// its quotes, exactly as written.
std::string ReadLiteral(std::string_view sql, size_t& pos) {
  const size_t start = pos;
  ++pos;
  while (pos < sql.size()) {
    if (sql[pos] == '\'') {
      if (pos + 1 < sql.size() && sql[pos + 1] == '\'') {
        pos += 2;
        continue;
      }
      ++pos;
      return std::string(sql.substr(start, pos - start));
    }
    ++pos;
  }
  Fail("unterminated string literal", sql, start);
}

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  size_t pos = 0;
  while (pos < sql.size()) {
    const char c = sql[pos];
    const size_t start = pos;
    if (IsSpace(c)) {
      while (pos < sql.size() && IsSpace(sql[pos])) ++pos;
      tokens.push_back({Kind::kSpace, std::string(sql.substr(start, pos - start))});
    } else if (c == '-' && pos + 1 < sql.size() && sql[pos + 1] == '-') {
      // The line end stays, so the text on either side remains separated.
      while (pos < sql.size() && sql[pos] != '\n') ++pos;
    } else if (c == '/' && pos + 1 < sql.size() && sql[pos + 1] == '*') {
      int depth = 0;  // block comments nest in T-SQL
      do {
        if (pos + 1 >= sql.size()) Fail("unterminated comment", sql, start);
        if (sql[pos] == '/' && sql[pos + 1] == '*') {
          ++depth;
          pos += 2;
        } else if (sql[pos] == '*' && sql[pos + 1] == '/') {
          --depth;
          pos += 2;
        } else {
          ++pos;
        }
      } while (depth > 0);
      if (tokens.empty() || tokens.back().kind != Kind::kSpace)
        tokens.push_back({Kind::kSpace, " "});
    } else if (c == '\'') {
      tokens.push_back({Kind::kLiteral, ReadLiteral(sql, pos)});
    } else if ((c == 'N' || c == 'n') && pos + 1 < sql.size() && sql[pos + 1] == '\'' &&
               (tokens.empty() || tokens.back().kind != Kind::kWord)) {
      ++pos;  // the prefix goes; the literal stays as written
      tokens.push_back({Kind::kLiteral, ReadLiteral(sql, pos)});
    } else if (c == '[') {
      std::string name;
      ++pos;
      for (;;) {
        if (pos >= sql.size()) Fail("unterminated [name]", sql, start);
        if (sql[pos] == ']') {
          if (pos + 1 < sql.size() && sql[pos + 1] == ']') {
            name += ']';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        if (sql[pos] == '"') name += '"';
        name += sql[pos++];
      }
      tokens.push_back({Kind::kQuotedName, "\"" + name + "\""});
    } else if (c == '"') {
      ++pos;
      for (;;) {
        if (pos >= sql.size()) Fail("unterminated \"name\"", sql, start);
        if (sql[pos] == '"') {
          if (pos + 1 < sql.size() && sql[pos + 1] == '"') {
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        ++pos;
      }
      tokens.push_back({Kind::kQuotedName, std::string(sql.substr(start, pos - start))});
    } else if (IsWordChar(static_cast<unsigned char>(c))) {
      while (pos < sql.size() && IsWordChar(static_cast<unsigned char>(sql[pos]))) ++pos;
      tokens.push_back({Kind::kWord, std::string(sql.substr(start, pos - start))});
    } else {
      ++pos;
      tokens.push_back({Kind::kPunct, std::string(1, c)});
    }
  }
  return tokens;
}

bool IsWord(const Token& t, std::string_view word) {
  return t.kind == Kind::kWord && EqualsNoCase(t.text, word);
}
bool IsPunct(const Token& t, char c) {
  return t.kind == Kind::kPunct && t.text.size() == 1 && t.text[0] == c;
}
bool IsNumber(const Token& t) {
  if (t.kind != Kind::kWord || t.text.empty()) return false;
  for (char c : t.text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// Index of the next token that is not white space, from i on; tokens.size() when none.
size_t NextSolid(const std::vector<Token>& tokens, size_t i) {
  while (i < tokens.size() && tokens[i].kind == Kind::kSpace) ++i;
  return i;
}
// Index of the last token before i that is not white space; npos when none.
size_t PrevSolid(const std::vector<Token>& tokens, size_t i) {
  while (i > 0) {
    --i;
    if (tokens[i].kind != Kind::kSpace) return i;
  }
  return std::string::npos;
}

bool IsSetOperator(const Token& t) {
  return IsWord(t, "union") || IsWord(t, "except") || IsWord(t, "intersect");
}

struct Edits {
  std::vector<bool> dropped;
  std::map<size_t, std::string> before;  // text placed before token i (i may be size())
};

// SELECT [DISTINCT|ALL] TOP n ... becomes SELECT [DISTINCT|ALL] ... LIMIT n at the end of that
// SELECT. A SELECT that is one member of a UNION is wrapped, since SQLite only allows a LIMIT
// on the whole compound and T-SQL's TOP limits the member alone.
void RewriteTop(std::string_view sql, const std::vector<Token>& tokens, size_t select,
                Edits& edits) {
  size_t i = NextSolid(tokens, select + 1);
  if (i < tokens.size() && (IsWord(tokens[i], "distinct") || IsWord(tokens[i], "all")))
    i = NextSolid(tokens, i + 1);
  if (i >= tokens.size() || !IsWord(tokens[i], "top")) return;
  const size_t top = i;
  size_t n = NextSolid(tokens, top + 1);
  size_t last = n;
  std::string count;
  if (n < tokens.size() && IsNumber(tokens[n])) {
    count = tokens[n].text;
  } else if (n < tokens.size() && IsPunct(tokens[n], '(')) {
    const size_t inner = NextSolid(tokens, n + 1);
    last = NextSolid(tokens, inner + 1);
    if (inner < tokens.size() && IsNumber(tokens[inner]) && last < tokens.size() &&
        IsPunct(tokens[last], ')'))
      count = tokens[inner].text;
  }
  if (count.empty()) Fail("TOP without a number", sql, 0);
  const size_t after = NextSolid(tokens, last + 1);
  if (after < tokens.size() && (IsWord(tokens[after], "percent") || IsWord(tokens[after], "with")))
    Fail("TOP " + count + " " + tokens[after].text + " is not supported", sql, 0);
  for (size_t k = top; k < after; ++k) edits.dropped[k] = true;

  size_t end = select + 1;
  int depth = 0;
  bool compound = false;
  for (; end < tokens.size(); ++end) {
    const Token& t = tokens[end];
    if (IsPunct(t, '(')) {
      ++depth;
    } else if (IsPunct(t, ')')) {
      if (depth == 0) break;
      --depth;
    } else if (depth == 0 && (IsPunct(t, ';') || IsSetOperator(t))) {
      compound = IsSetOperator(t);
      break;
    }
  }
  while (end > select + 1 && tokens[end - 1].kind == Kind::kSpace) --end;
  const size_t prev = PrevSolid(tokens, select);
  if (prev != std::string::npos &&
      (IsSetOperator(tokens[prev]) ||
       (IsWord(tokens[prev], "all") && PrevSolid(tokens, prev) != std::string::npos &&
        IsSetOperator(tokens[PrevSolid(tokens, prev)]))))
    compound = true;
  if (compound) {
    edits.before[select] += "select * from (";
    edits.before[end] += " LIMIT " + count + ")";
  } else {
    edits.before[end] += " LIMIT " + count;
  }
}

// The index of the ')' that closes the '(' at open, or tokens.size() when there is none.
size_t MatchingParen(const std::vector<Token>& tokens, size_t open) {
  int depth = 0;
  for (size_t k = open; k < tokens.size(); ++k) {
    if (IsPunct(tokens[k], '(')) ++depth;
    if (IsPunct(tokens[k], ')') && --depth == 0) return k;
  }
  return tokens.size();
}

}  // namespace

std::string RewriteTsql(std::string_view tsql) {
  const std::vector<Token> tokens = Tokenize(tsql);
  Edits edits;
  edits.dropped.assign(tokens.size(), false);
  for (size_t i = 0; i < tokens.size(); ++i)
    if (IsWord(tokens[i], "select")) RewriteTop(tsql, tokens, i, edits);

  std::string out;
  out.reserve(tsql.size() + 16);
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (auto it = edits.before.find(i); it != edits.before.end()) out += it->second;
    if (edits.dropped[i]) continue;
    const Token& t = tokens[i];
    const size_t next = NextSolid(tokens, i + 1);
    const bool call = next < tokens.size() && IsPunct(tokens[next], '(');
    const bool after_dot = i > 0 && IsPunct(tokens[i - 1], '.');
    if (t.kind == Kind::kWord && call && EqualsNoCase(t.text, "isnull")) {
      out += "ifnull";
      // A function's result has no collation in SQLite; the server compares isnull(col, '')
      // under the column's collation, so the suite's text collation is put back explicitly.
      // Ahead of any LIMIT placed after the call.
      const size_t close = MatchingParen(tokens, next);
      if (close < tokens.size()) {
        std::string& after = edits.before[close + 1];
        after.insert(0, std::string(" COLLATE ") + kTextCollation);
      }
    } else if (t.kind == Kind::kWord && call && EqualsNoCase(t.text, "convert")) {
      // convert(type, value[, style]): the type, up to the first comma at its own level,
      // becomes the text argument of tamsel_convert.
      std::string type;
      int depth = 0;
      size_t k = next + 1;
      for (; k < tokens.size(); ++k) {
        const Token& p = tokens[k];
        if (depth == 0 && (IsPunct(p, ',') || IsPunct(p, ')'))) break;
        if (IsPunct(p, '(')) ++depth;
        if (IsPunct(p, ')')) --depth;
        if (p.kind == Kind::kLiteral || p.kind == Kind::kQuotedName)
          Fail("convert with an unexpected type", tsql, 0);
        if (p.kind != Kind::kSpace) type += Lower(p.text);
      }
      if (k >= tokens.size() || !IsPunct(tokens[k], ',') || type.empty())
        Fail("convert needs a type and a value", tsql, 0);
      out += "tamsel_convert('" + type + "'";
      i = k - 1;  // continue with the comma
      continue;
    } else if ((t.kind == Kind::kWord || t.kind == Kind::kQuotedName) && !after_dot &&
               i + 1 < tokens.size() && IsPunct(tokens[i + 1], '.') &&
               (EqualsNoCase(t.text, "dbo") || EqualsNoCase(t.text, "\"dbo\""))) {
      ++i;  // the schema and its dot
    } else {
      out += t.text;
    }
  }
  if (auto it = edits.before.find(tokens.size()); it != edits.before.end()) out += it->second;
  return out;
}

// Words that start or make a statement which changes data, schema or rights, or that runs other
// code. T-SQL needs no separator between statements, so the words themselves are refused.
constexpr std::string_view kWritingWords[] = {
    "alter",       "backup",  "bulk",      "create",    "dbcc",       "delete",
    "deny",        "drop",    "exec",      "execute",   "grant",      "insert",
    "into",        "kill",    "merge",     "openquery", "openrowset", "opendatasource",
    "reconfigure", "restore", "revoke",    "shutdown",  "truncate",   "update",
    "use",         "waitfor", "writetext", "updatetext"};

void RequireReadOnlyQuery(std::string_view tsql) {
  const std::vector<Token> tokens = Tokenize(tsql);
  bool ended = false;  // a ';' was seen; only blanks and further ';' may follow
  for (const Token& t : tokens) {
    if (t.kind == Kind::kSpace || IsPunct(t, ';')) {
      ended = ended || IsPunct(t, ';');
      continue;
    }
    if (ended)
      throw DatabaseError("a query must be a single statement: \"" + Excerpt(tsql, 0) + "\"");
    if (t.kind != Kind::kWord) continue;
    for (std::string_view word : kWritingWords) {
      if (EqualsNoCase(t.text, word))
        throw DatabaseError("a query must only read: \"" + t.text + "\" is not allowed in it");
    }
  }
}

}  // namespace tamsel::detail

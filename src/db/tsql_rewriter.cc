#include "db/tsql_rewriter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "db/sqlite_functions.h"
#include "tamsel/error.h"

namespace tamsel::detail {

namespace {

enum class Kind { kSpace, kWord, kNumber, kLiteral, kQuotedName, kPunct };

// Views into the statement, or into the token list's own texts: a statement's tokens cost no
// allocation each.
struct Token {
  Kind kind;
  std::string_view text;         // as it is written out
  std::string_view source = {};  // as it stands in the statement, N prefix included
};

struct Tokens {
  std::vector<Token> list;
  std::deque<std::string> owned;  // texts that differ from the statement's ([name] as "name")
};

// ASCII only: the process locale must not decide where a word ends. A table, since every
// character of every statement is asked about.
constexpr std::array<bool, 256> kWordChars = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80;
  }
  return table;
}();
inline bool IsWordChar(unsigned char c) { return kWordChars[c]; }

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
std::string_view ReadLiteral(std::string_view sql, size_t& pos) {
  const size_t start = pos;
  ++pos;
  while (pos < sql.size()) {
    if (sql[pos] == '\'') {
      if (pos + 1 < sql.size() && sql[pos + 1] == '\'') {
        pos += 2;
        continue;
      }
      ++pos;
      return sql.substr(start, pos - start);
    }
    ++pos;
  }
  Fail("unterminated string literal", sql, start);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsWord(const Token& t, std::string_view word) {
  return t.kind == Kind::kWord && EqualsNoCase(t.text, word);
}
bool IsPunct(const Token& t, char c) {
  return t.kind == Kind::kPunct && t.text.size() == 1 && t.text[0] == c;
}
bool IsNumber(const Token& t) {
  if (t.kind != Kind::kNumber) return false;
  for (char c : t.text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// Where a decimal number starting at pos ends: digits with an optional point, fraction and
// exponent (an "e" without digits after it is not part of the number).
size_t DecimalEnd(std::string_view text, size_t pos) {
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && IsDigit(text[pos])) ++pos;
  }
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    size_t e = pos + 1;
    if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < text.size() && IsDigit(text[e])) {
      while (e < text.size() && IsDigit(text[e])) ++e;
      pos = e;
    }
  }
  return pos;
}

// Reads a number starting at pos. Followed by word characters (0x1F, 2e) it is a word instead.
Kind ReadNumber(std::string_view sql, size_t& pos) {
  pos = DecimalEnd(sql, pos);
  if (pos < sql.size() && IsWordChar(static_cast<unsigned char>(sql[pos]))) {
    while (pos < sql.size() && IsWordChar(static_cast<unsigned char>(sql[pos]))) ++pos;
    return Kind::kWord;
  }
  return Kind::kNumber;
}

// Reads a statement one token at a time; a comment reads as one blank (none after a blank).
class Lexer {
 public:
  Lexer(std::string_view sql, std::deque<std::string>& owned) : sql_(sql), owned_(owned) {}

  bool Next(Token& out) {
    for (;;) {
      if (pos_ >= sql_.size()) return false;
      const size_t start = pos_;
      if (!Read(out)) continue;  // a comment after a blank, or a line comment
      if (out.source.empty()) out.source = sql_.substr(start, pos_ - start);
      last_ = out;
      any_ = true;
      return true;
    }
  }

 private:
  // One token into out (source left empty unless it differs); false when nothing is produced.
  bool Read(Token& out) {
    std::string_view sql = sql_;
    size_t& pos = pos_;
    const char c = sql[pos];
    const size_t start = pos;
    out.source = {};
    if (IsSpace(c)) {
      while (pos < sql.size() && IsSpace(sql[pos])) ++pos;
      out.kind = Kind::kSpace;
      out.text = sql.substr(start, pos - start);
    } else if (c == '-' && pos + 1 < sql.size() && sql[pos + 1] == '-') {
      // The line end stays, so the text on either side remains separated.
      while (pos < sql.size() && sql[pos] != '\n') ++pos;
      return false;
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
      if (any_ && last_.kind == Kind::kSpace) return false;
      out = {Kind::kSpace, " ", " "};
    } else if (c == '\'') {
      out.kind = Kind::kLiteral;
      out.text = ReadLiteral(sql, pos);
    } else if ((c == 'N' || c == 'n') && pos + 1 < sql.size() && sql[pos + 1] == '\'' &&
               (!any_ || last_.kind != Kind::kWord)) {
      ++pos;  // the prefix goes; the literal stays as written
      out.kind = Kind::kLiteral;
      out.text = ReadLiteral(sql, pos);
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
      out.kind = Kind::kQuotedName;
      out.text = owned_.emplace_back("\"" + name + "\"");
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
      out.kind = Kind::kQuotedName;
      out.text = sql.substr(start, pos - start);
    } else if (IsDigit(c) || (c == '.' && pos + 1 < sql.size() && IsDigit(sql[pos + 1]) &&
                              (!any_ || last_.kind == Kind::kSpace ||
                               (last_.kind == Kind::kPunct && !IsPunct(last_, ')'))))) {
      out.kind = ReadNumber(sql, pos);
      out.text = sql.substr(start, pos - start);
    } else if (IsWordChar(static_cast<unsigned char>(c))) {
      while (pos < sql.size() && IsWordChar(static_cast<unsigned char>(sql[pos]))) ++pos;
      out.kind = Kind::kWord;
      out.text = sql.substr(start, pos - start);
    } else {
      ++pos;
      out.kind = Kind::kPunct;
      out.text = sql.substr(start, 1);
    }
    return true;
  }

  std::string_view sql_;
  std::deque<std::string>& owned_;
  size_t pos_ = 0;
  Token last_{Kind::kSpace, {}};
  bool any_ = false;
};

Tokens Tokenize(std::string_view sql) {
  Tokens lexed;
  lexed.list.reserve(sql.size() / 3 + 8);
  Lexer lexer(sql, lexed.owned);
  Token t{Kind::kSpace, {}};
  while (lexer.Next(t)) lexed.list.push_back(t);
  return lexed;
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
    Fail("TOP " + count + " " + std::string(tokens[after].text) + " is not supported", sql, 0);
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
  const Tokens lexed = Tokenize(tsql);
  const std::vector<Token>& tokens = lexed.list;
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

// Words that start a T-SQL statement, or turn a query into a write (INTO) or a call elsewhere.
// T-SQL needs no separator between statements, so after a query's first word any of them would
// begin a second statement; a query never needs one.
constexpr std::string_view kStatementWords[] = {
    "add",       "alter",      "backup",   "begin",     "break",    "bulk",       "checkpoint",
    "close",     "commit",     "continue", "create",    "dbcc",     "deallocate", "declare",
    "delete",    "deny",       "disable",  "drop",      "dump",     "enable",     "exec",
    "execute",   "fetch",      "get",      "goto",      "grant",    "if",         "insert",
    "into",      "kill",       "load",     "merge",     "move",     "open",       "opendatasource",
    "openquery", "openrowset", "print",    "raiserror", "readtext", "receive",    "reconfigure",
    "restore",   "return",     "revert",   "revoke",    "rollback", "save",       "send",
    "set",       "setuser",    "shutdown", "throw",     "truncate", "update",     "updatetext",
    "use",       "waitfor",    "while",    "writetext"};

bool IsStatementWord(std::string_view word) {
  for (std::string_view w : kStatementWords)
    if (EqualsNoCase(word, w)) return true;
  return false;
}

// The ASCII runs of a word: a server may read a character beyond ASCII (an ideographic space,
// say) as a blank, so "set\u3000rowcount" is checked as two words.
std::vector<std::string_view> AsciiPieces(std::string_view word) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t i = 0; i <= word.size(); ++i) {
    if (i < word.size() && static_cast<unsigned char>(word[i]) < 0x80) continue;
    if (i > start) pieces.push_back(word.substr(start, i - start));
    start = i + 1;
  }
  return pieces;
}

// What follows a number at the start of a word: T-SQL ends a number (1, 2.5, 1e3, 0x1F, $2) where
// its digits end, so "1=1set" holds the word "set".
std::string_view AfterNumber(std::string_view word) {
  size_t i = 0;
  if (i < word.size() && word[i] == '$') ++i;
  if (i == word.size() || !(IsDigit(word[i]) || word[i] == '.')) return word;
  if (word.substr(i, 2) == "0x" || word.substr(i, 2) == "0X") {
    i += 2;
    while (i < word.size() && std::isxdigit(static_cast<unsigned char>(word[i]))) ++i;
    return word.substr(i);
  }
  return word.substr(DecimalEnd(word, i));
}

void RequireReadOnlyQuery(std::string_view tsql, bool sqlite) {
  const Tokens lexed = Tokenize(tsql);
  const std::vector<Token>& tokens = lexed.list;
  const auto refuse = [&](const std::string& why) {
    throw DatabaseError("a query must be one statement that only reads: " + why + " in \"" +
                        Excerpt(tsql, 0) + "\"");
  };
  const size_t first = NextSolid(tokens, 0);
  if (sqlite && first < tokens.size() && IsWord(tokens[first], "pragma")) {
    // PRAGMA name or PRAGMA name(argument), nothing after it but ';'.
    const size_t name = NextSolid(tokens, first + 1);
    size_t end = name < tokens.size() ? NextSolid(tokens, name + 1) : name;
    const bool argument = end < tokens.size() && IsPunct(tokens[end], '(');
    if (argument) {
      const size_t close = MatchingParen(tokens, end);
      end = close == tokens.size() ? close - 1 : NextSolid(tokens, close + 1);
    }
    while (end < tokens.size() && IsPunct(tokens[end], ';')) end = NextSolid(tokens, end + 1);
    if (name == tokens.size() || tokens[name].kind != Kind::kWord || end < tokens.size() ||
        !IsReportingPragma(tokens[name].text, argument))
      refuse("a PRAGMA that sets something");
    return;
  }
  if (first == tokens.size() || !(IsWord(tokens[first], "select") || IsWord(tokens[first], "with")))
    refuse("it must begin with SELECT or WITH");
  bool main_select = IsWord(tokens[first], "select");  // WITH: after its named queries
  int depth = 0;
  bool ended = false;  // a ';' was seen; only blanks and further ';' may follow
  size_t prev = std::string::npos;
  for (size_t i = first + 1; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind == Kind::kSpace) continue;
    if (IsPunct(t, ';')) {
      ended = true;
      continue;
    }
    if (ended) refuse("text after \";\"");
    if (IsPunct(t, '(')) ++depth;
    if (IsPunct(t, ')') && --depth < 0) refuse("a \")\" without its \"(\"");
    if (t.kind == Kind::kWord) {
      const size_t next = NextSolid(tokens, i + 1);
      const auto next_is = [&](std::string_view word) {
        return next < tokens.size() && IsWord(tokens[next], word);
      };
      for (std::string_view piece : AsciiPieces(t.text)) {
        piece = AfterNumber(piece);
        if (piece.empty()) continue;
        const bool whole = piece.size() == t.text.size();
        const bool allowed =
            whole &&
            // OFFSET n ROWS FETCH NEXT m ROWS ONLY; OPTION (USE HINT(...)) and (USE PLAN N'...').
            ((EqualsNoCase(piece, "fetch") && prev != std::string::npos &&
              (IsWord(tokens[prev], "rows") || IsWord(tokens[prev], "row"))) ||
             (EqualsNoCase(piece, "use") && depth > 0 && (next_is("hint") || next_is("plan"))));
        if (IsStatementWord(piece) && !allowed)
          refuse("\"" + std::string(piece) + "\" is not allowed");
        // NEXT VALUE FOR draws from a sequence, END CONVERSATION is a statement of its own.
        if ((EqualsNoCase(piece, "next") && next_is("value")) ||
            (EqualsNoCase(piece, "end") && next_is("conversation")))
          refuse("\"" + std::string(piece) + "\" is not allowed");
        if (!EqualsNoCase(piece, "select")) continue;
        if (!whole) refuse("\"select\" inside a word");
        if (depth > 0) continue;
        const bool joined =
            prev != std::string::npos &&
            (IsSetOperator(tokens[prev]) ||
             (IsWord(tokens[prev], "all") && PrevSolid(tokens, prev) != std::string::npos &&
              IsSetOperator(tokens[PrevSolid(tokens, prev)])));
        if (!joined && main_select) refuse("a second statement begins with \"select\"");
        main_select = true;
      }
    }
    prev = i;
  }
  if (depth != 0) refuse("a \"(\" without its \")\"");
}

std::string_view RequireNoNul(std::string_view text, std::string_view what) {
  if (text.find('\0') != std::string_view::npos) {
    throw DatabaseError("the " + std::string(what) +
                        " contains a NUL character and is refused rather than cut short or "
                        "stored with it");
  }
  return text;
}

namespace {

// Words after which '(' opens a list, a subquery or a group rather than a function's arguments.
constexpr std::string_view kNotCalls[] = {
    "all",    "and",    "any",    "as",     "between", "by",        "case", "else",
    "except", "exists", "from",   "having", "in",      "intersect", "is",   "join",
    "like",   "not",    "on",     "or",     "return",  "select",    "set",  "some",
    "then",   "union",  "values", "when",   "where",   "with"};

bool OpensCall(const Token& before) {
  if (before.kind == Kind::kQuotedName) return true;
  if (before.kind != Kind::kWord) return false;
  for (std::string_view word : kNotCalls)
    if (EqualsNoCase(before.text, word)) return false;
  return true;
}

// The value of a '...' literal as written (quotes included).
std::string LiteralValue(std::string_view quoted) {
  std::string value;
  value.reserve(quoted.size());
  for (size_t i = 1; i + 1 < quoted.size(); ++i) {
    value += quoted[i];
    if (quoted[i] == '\'' && quoted[i + 1] == '\'') ++i;
  }
  return value;
}

}  // namespace

bool LiftNumber(std::string_view text, LiftedValue& out) {
  const char* end = text.data() + text.size();
  if (text.find_first_of(".eE") == std::string_view::npos) {
    out.type = LiftedValue::Type::kInteger;
    const auto [p, ec] = std::from_chars(text.data(), end, out.integer);
    return ec == std::errc() && p == end;  // beyond 64 bits the engine reads a real: kept
  }
  out.type = LiftedValue::Type::kReal;
  out.text.assign(text);
  const auto [p, ec] = std::from_chars(text.data(), end, out.real);
  if (ec != std::errc() || p != end) return false;
  if (text.find_first_of("eE") != std::string_view::npos) return true;  // a float
  // An exact number: T-SQL counts its digits without leading zeros, at least one.
  const size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const size_t leading = std::min(whole.find_first_not_of('0'), whole.size());
  const size_t scale = text.size() - point - 1;
  const size_t precision = std::max<size_t>(whole.size() - leading + scale, 1);
  // Beyond that the server refuses the literal; it says so best with the literal in place.
  if (precision > kDecimalPrecisionMax) return false;
  out.precision = static_cast<uint8_t>(precision);
  out.scale = static_cast<uint8_t>(scale);
  return true;
}

std::string ShapeKey(std::string_view text, const std::vector<LiftedValue>& values) {
  std::string key(text);
  key += '\x1f';
  for (const LiftedValue& value : values) {
    key += static_cast<char>(value.type);
    // An exact number's declared type is numeric(precision, scale).
    if (value.precision > 0)
      key += std::to_string(value.precision) + "," + std::to_string(value.scale) + ";";
  }
  return key;
}

// Which literals stay in the text, because a marker would change what the statement means or
// how it is planned:
//  - those inside a function call's parentheses: an index on an expression (ifnull(col,''))
//    matches only the very same expression, and some arguments are no values at all (convert's
//    type, a style);
//  - those in a select list (they name result columns) and in ORDER BY / GROUP BY (a number
//    there is a column position);
//  - row counts (TOP n): the count is part of the plan;
//  - texts longer than kLiftedTextMax, integers beyond 64 bits and exact numbers beyond
//    kDecimalPrecisionMax digits.
// A text that holds ? already, or more than one statement, is not lifted at all.
StatementShape LiftLiterals(std::string_view tsql) {
  StatementShape shape;
  // One pass without a token list: this runs for every statement.
  std::deque<std::string> owned;
  Lexer lexer(tsql, owned);
  Token t{Kind::kSpace, {}};
  const auto whole = [&] {
    while (lexer.Next(t)) {
    }  // the rest is read all the same: text that cannot be read throws, as it always does
    shape.text.assign(tsql);
    shape.values.clear();
    return shape;
  };
  Token prev{Kind::kSpace, {}};  // the last solid token
  bool any = false;              // a solid token was read
  bool ended = false;            // after a ';': only more of them may follow

  struct Level {
    bool keep = false;  // inside a function call, or a group within a place that keeps
    bool select_list = false;
    bool order = false;  // ORDER BY or GROUP BY
    bool Keeps() const { return keep || select_list || order; }
  };
  std::vector<Level> levels(1);
  shape.text.reserve(tsql.size());
  while (lexer.Next(t)) {
    Level& level = levels.back();
    if (t.kind == Kind::kSpace) {
      shape.text += t.source;
      continue;
    }
    if (!any) {
      if (!(IsWord(t, "select") || IsWord(t, "insert") || IsWord(t, "update") ||
            IsWord(t, "delete")))
        return whole();
    }
    if (ended && !IsPunct(t, ';')) return whole();
    bool lifted = false;
    // Only the clause words below matter here; most words are column and table names.
    const char lead = t.kind == Kind::kWord ? static_cast<char>(t.text[0] | 0x20) : '\0';
    if (lead == 's' || lead == 'b' || lead == 'f' || lead == 'w' || lead == 'h' || lead == 'u' ||
        lead == 'e' || lead == 'i') {
      if (IsWord(t, "select")) {
        level.select_list = true;
        level.order = false;
      } else if (IsWord(t, "by") && any && (IsWord(prev, "order") || IsWord(prev, "group"))) {
        level.order = true;
      } else if (IsWord(t, "from") || IsWord(t, "where") || IsWord(t, "having") ||
                 IsSetOperator(t)) {
        level.select_list = false;
        level.order = false;
      }
    } else if (IsPunct(t, '(')) {
      const bool call = any && OpensCall(prev);
      levels.push_back({level.Keeps() || call, false, false});
    } else if (IsPunct(t, ')')) {
      if (levels.size() == 1) return whole();
      levels.pop_back();
    } else if (IsPunct(t, '?')) {
      return whole();
    } else if (IsPunct(t, ';')) {
      ended = true;
    } else if (!level.Keeps() && !(any && IsWord(prev, "top"))) {
      LiftedValue value;
      if (t.kind == Kind::kLiteral && t.text.size() - 2 <= kLiftedTextMax) {
        value.type =
            t.source[0] == '\'' ? LiftedValue::Type::kText : LiftedValue::Type::kNationalText;
        value.text = LiteralValue(t.text);
        lifted = true;
      } else if (t.kind == Kind::kNumber) {
        lifted = LiftNumber(t.text, value);
      }
      if (lifted) {
        if (shape.values.size() == kLiftedValuesMax) return whole();
        shape.values.push_back(std::move(value));
      }
    }
    shape.text += lifted ? std::string_view("?") : t.source;
    prev = t;
    any = true;
  }
  if (!any) return whole();
  if (shape.values.empty()) return whole();
  return shape;
}

}  // namespace tamsel::detail

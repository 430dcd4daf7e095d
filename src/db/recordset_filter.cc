#include "db/recordset_filter.h"

#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "db/sqlite_functions.h"
#include "tamsel/error.h"

namespace tamsel::detail {

namespace {

enum class Op { kEq, kNe, kLt, kLe, kGt, kGe };

struct Literal {
  bool is_number = false;
  double number = 0;
  std::string text;
};

}  // namespace

struct RowFilter::Node {
  enum class Kind { kAnd, kOr, kNot, kCompare, kIsNull, kLike } kind;
  // The terms of AND / OR side by side, so that a long list stays one level deep; NOT's operand.
  std::vector<std::shared_ptr<const Node>> terms;
  size_t column = 0;
  Op op = Op::kEq;
  Literal literal;
  bool negate = false;  // IS NOT NULL, NOT LIKE
};

namespace {

using Node = RowFilter::Node;

// Parentheses and NOTs nested deeper than this are refused: parsing and matching recurse once
// per level, and the stack would run out long before a mistake became visible.
constexpr int kMaxDepth = 256;

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Compares a field with a literal; nullopt when the field is Null or Empty (SQL's unknown).
std::optional<int> CompareField(const Variant& field, const Literal& lit) {
  if (field.IsNull() || field.IsEmpty()) return std::nullopt;
  if (field.IsNumeric() || field.type() == VarType::Boolean) {
    if (lit.is_number) return Order(VarToDbl(field), lit.number);
    if (auto n = ParseNumber(lit.text)) return Order(VarToDbl(field), *n);
    return CompareSuiteText(VarToStr(field), lit.text);
  }
  if (field.type() == VarType::Date && !lit.is_number) {
    const Variant d = TextToDate(lit.text);
    if (d.type() == VarType::Date) return Order(field.AsDate(), d.AsDate());
    return CompareSuiteText(VarToStr(field), lit.text);
  }
  if (field.type() != VarType::String) return CompareSuiteText(VarToStr(field), lit.text);
  if (lit.is_number) {
    // A text that is no number has no place in a numeric order: it matches nothing.
    auto n = ParseNumber(field.AsString());
    if (!n) return std::nullopt;
    return Order(*n, lit.number);
  }
  return CompareSuiteText(field.AsString(), lit.text);
}

bool Holds(Op op, int c) {
  switch (op) {
    case Op::kEq:
      return c == 0;
    case Op::kNe:
      return c != 0;
    case Op::kLt:
      return c < 0;
    case Op::kLe:
      return c <= 0;
    case Op::kGt:
      return c > 0;
    case Op::kGe:
      return c >= 0;
  }
  return false;
}

bool Evaluate(const Node& node, const Variant* row) {
  switch (node.kind) {
    case Node::Kind::kAnd:
      for (const auto& term : node.terms)
        if (!Evaluate(*term, row)) return false;
      return true;
    case Node::Kind::kOr:
      for (const auto& term : node.terms)
        if (Evaluate(*term, row)) return true;
      return false;
    case Node::Kind::kNot:
      return !Evaluate(*node.terms.front(), row);
    case Node::Kind::kIsNull: {
      const Variant& v = row[node.column];
      return (v.IsNull() || v.IsEmpty()) != node.negate;
    }
    case Node::Kind::kLike: {
      const Variant& v = row[node.column];
      if (v.IsNull() || v.IsEmpty()) return false;
      return LikeMatch(VarToStr(v), node.literal.text) != node.negate;
    }
    case Node::Kind::kCompare: {
      const auto c = CompareField(row[node.column], node.literal);
      return c && Holds(node.op, *c);
    }
  }
  return false;
}

enum class Tok { kName, kText, kNumber, kOp, kOpen, kClose, kEnd };

struct Token {
  Tok kind;
  std::string text;
  size_t pos;
};

class Parser {
 public:
  Parser(std::string_view text, const std::vector<std::string>& columns)
      : text_(text), columns_(columns) {
    Lex();
  }

  std::shared_ptr<const Node> ParseAll() {
    auto root = ParseOr();
    if (Peek().kind != Tok::kEnd) Fail("unexpected \"" + Peek().text + "\"");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw DatabaseError("invalid filter \"" + std::string(text_) + "\": " + what);
  }

  static bool NameChar(unsigned char c) {
    return std::isalnum(c) || c == '_' || c == '$' || c == '#' || c == '@' || c >= 0x80;
  }

  void Lex() {
    size_t i = 0;
    while (i < text_.size()) {
      const char c = text_[i];
      const size_t start = i;
      const bool signed_number = (c == '-' || c == '+' || c == '.') && i + 1 < text_.size() &&
                                 std::isdigit(static_cast<unsigned char>(text_[i + 1]));
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        ++i;
      } else if (c == '\'') {
        std::string value;
        ++i;
        for (;;) {
          if (i >= text_.size()) Fail("unterminated text");
          if (text_[i] == '\'') {
            if (i + 1 < text_.size() && text_[i + 1] == '\'') {
              value += '\'';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          value += text_[i++];
        }
        tokens_.push_back({Tok::kText, value, start});
      } else if (std::isdigit(static_cast<unsigned char>(c)) || signed_number) {
        ++i;
        while (i < text_.size() &&
               (std::isalnum(static_cast<unsigned char>(text_[i])) || text_[i] == '.' ||
                ((text_[i] == '-' || text_[i] == '+') &&
                 (text_[i - 1] == 'e' || text_[i - 1] == 'E'))))
          ++i;
        tokens_.push_back({Tok::kNumber, std::string(text_.substr(start, i - start)), start});
      } else if (c == '[') {
        const size_t close = text_.find(']', i);
        if (close == std::string_view::npos) Fail("unterminated [name]");
        tokens_.push_back({Tok::kName, std::string(text_.substr(i + 1, close - i - 1)), start});
        i = close + 1;
      } else if (NameChar(static_cast<unsigned char>(c))) {
        while (i < text_.size() && NameChar(static_cast<unsigned char>(text_[i]))) ++i;
        tokens_.push_back({Tok::kName, std::string(text_.substr(start, i - start)), start});
      } else if (c == '(' || c == ')') {
        tokens_.push_back({c == '(' ? Tok::kOpen : Tok::kClose, std::string(1, c), start});
        ++i;
      } else if (c == '=' || c == '<' || c == '>' || c == '!') {
        std::string op(1, c);
        ++i;
        if (i < text_.size() && (text_[i] == '=' || (c == '<' && text_[i] == '>')))
          op += text_[i++];
        if (op == "!") Fail("unknown operator \"!\"");
        tokens_.push_back({Tok::kOp, op, start});
      } else {
        Fail(std::string("unexpected character '") + c + "'");
      }
    }
    tokens_.push_back({Tok::kEnd, "end of text", text_.size()});
  }

  const Token& Peek() const { return tokens_[pos_]; }
  Token Next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
  bool AcceptWord(std::string_view word) {
    if (Peek().kind == Tok::kName && EqualsNoCase(Peek().text, word)) {
      ++pos_;
      return true;
    }
    return false;
  }

  // Terms joined by one operator word: a single term stands for itself.
  template <typename Term>
  std::shared_ptr<const Node> ParseList(Node::Kind kind, std::string_view word, Term term) {
    auto first = (this->*term)();
    if (Peek().kind != Tok::kName || !EqualsNoCase(Peek().text, word)) return first;
    auto node = std::make_shared<Node>();
    node->kind = kind;
    node->terms.push_back(std::move(first));
    while (AcceptWord(word)) node->terms.push_back((this->*term)());
    return node;
  }

  std::shared_ptr<const Node> ParseOr() {
    return ParseList(Node::Kind::kOr, "or", &Parser::ParseAnd);
  }

  std::shared_ptr<const Node> ParseAnd() {
    return ParseList(Node::Kind::kAnd, "and", &Parser::ParseUnary);
  }

  std::shared_ptr<const Node> ParseUnary() {
    const bool is_not = Peek().kind == Tok::kName && EqualsNoCase(Peek().text, "not");
    if (!is_not && Peek().kind != Tok::kOpen) return ParseComparison();
    if (++depth_ > kMaxDepth) {
      Fail("nested deeper than " + std::to_string(kMaxDepth) + " parentheses and NOTs");
    }
    ++pos_;
    std::shared_ptr<const Node> result;
    if (is_not) {
      auto node = std::make_shared<Node>();
      node->kind = Node::Kind::kNot;
      node->terms.push_back(ParseUnary());
      result = std::move(node);
    } else {
      result = ParseOr();
      if (Peek().kind != Tok::kClose) Fail("missing \")\"");
      ++pos_;
    }
    --depth_;
    return result;
  }

  size_t Column(const Token& t) const {
    for (size_t i = 0; i < columns_.size(); ++i)
      if (EqualsNoCase(columns_[i], t.text)) return i;
    Fail("no column \"" + t.text + "\" in the result");
  }

  std::shared_ptr<const Node> ParseComparison() {
    const Token name = Next();
    if (name.kind != Tok::kName) Fail("a column name was expected at \"" + name.text + "\"");
    auto node = std::make_shared<Node>();
    node->column = Column(name);
    if (AcceptWord("is")) {
      node->kind = Node::Kind::kIsNull;
      node->negate = AcceptWord("not");
      if (!AcceptWord("null")) Fail("IS must be followed by [NOT] NULL");
      return node;
    }
    const bool negate = AcceptWord("not");
    if (AcceptWord("like")) {
      const Token pattern = Next();
      if (pattern.kind != Tok::kText) Fail("LIKE needs a quoted pattern");
      node->kind = Node::Kind::kLike;
      node->negate = negate;
      node->literal.text = pattern.text;
      return node;
    }
    if (negate) Fail("NOT must be followed by LIKE here");
    const Token op = Next();
    if (op.kind != Tok::kOp) Fail("an operator was expected after \"" + name.text + "\"");
    const Token value = Next();
    if (value.kind == Tok::kName && EqualsNoCase(value.text, "null")) {
      // "= NULL" and "<> NULL" mean IS [NOT] NULL in a result set's filter.
      if (op.text != "=" && op.text != "<>" && op.text != "!=")
        Fail("NULL can only be compared with = or <>");
      node->kind = Node::Kind::kIsNull;
      node->negate = op.text != "=";
      return node;
    }
    node->kind = Node::Kind::kCompare;
    node->op = op.text == "="    ? Op::kEq
               : op.text == "<"  ? Op::kLt
               : op.text == "<=" ? Op::kLe
               : op.text == ">"  ? Op::kGt
               : op.text == ">=" ? Op::kGe
                                 : Op::kNe;
    if (value.kind == Tok::kText) {
      node->literal.text = value.text;
    } else if (value.kind == Tok::kNumber) {
      const auto n = ParseNumber(value.text);
      if (!n) Fail("\"" + value.text + "\" is not a number");
      node->literal.is_number = true;
      node->literal.number = *n;
      node->literal.text = value.text;
    } else {
      Fail("a value was expected after \"" + op.text + "\"");
    }
    return node;
  }

  std::string_view text_;
  const std::vector<std::string>& columns_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  int depth_ = 0;
};

unsigned char Fold(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? u + ('a' - 'A') : u;
}

// Length in bytes of the UTF-8 character starting at s[i].
size_t CharLength(std::string_view s, size_t i) {
  size_t n = 1;
  while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
  return n;
}

}  // namespace

bool LikeMatch(std::string_view value, std::string_view pattern) {
  // Iterative wildcard matching: remember the last % and retry from one character further.
  size_t v = 0, p = 0;
  size_t star_p = std::string_view::npos, star_v = 0;
  while (v < value.size()) {
    if (p < pattern.size() && pattern[p] == '%') {
      star_p = ++p;
      star_v = v;
    } else if (p < pattern.size() && pattern[p] == '_') {
      v += CharLength(value, v);
      ++p;
    } else if (p < pattern.size() && Fold(pattern[p]) == Fold(value[v])) {
      ++v;
      ++p;
    } else if (star_p != std::string_view::npos) {
      star_v += CharLength(value, star_v);
      v = star_v;
      p = star_p;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '%') ++p;
  return p == pattern.size();
}

RowFilter RowFilter::Parse(std::string_view condition, const std::vector<std::string>& columns) {
  Parser parser(condition, columns);
  return RowFilter(parser.ParseAll());
}

bool RowFilter::Matches(const Variant* row) const { return root_ && Evaluate(*root_, row); }

}  // namespace tamsel::detail

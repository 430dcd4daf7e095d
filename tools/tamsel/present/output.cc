#include "present/output.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ostream>

#include "common/text.h"
#include "present/i18n.h"

namespace tamsel::cli {

std::string FormatNumber(double value) {
  // A whole number below 10^15 is just its digits in the general form too; long exports are
  // full of them (limits, whole prices), so they skip its rounding.
  if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
    return std::to_string(static_cast<int64_t>(value));
  }
  // With at most 15 significant digits, the shortest text that reads back as the number is its
  // 15-digit rounding too, which the general form lays out plain from 1E-15 to below 1E+15.
  char text[64];
  const auto sci = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  if (sci.ec == std::errc()) {
    const std::string_view shortest(text, static_cast<size_t>(sci.ptr - text));
    const size_t e = shortest.find('e');
    const size_t digits = e - (value < 0) - (shortest.find('.') < e);
    const int exponent = std::atoi(text + e + 1);
    if (digits <= 15 && exponent >= -15 && exponent < 15) {
      const auto plain = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
      if (plain.ec == std::errc()) return std::string(text, plain.ptr);
    }
  }
  return VarToStr(Variant(value));
}

std::string FormatMoney(double value) {
  // Rounded as written, half away from zero: 2.675 is 2.68 to a buyer, though its double is
  // 2.67499….
  char shortest[512];
  const auto [end, ec] = std::to_chars(shortest, shortest + sizeof shortest, std::fabs(value),
                                       std::chars_format::fixed);
  if (ec != std::errc() || !std::isfinite(value)) return fmt::format("{:.2f}", value);
  std::string text(shortest, end);
  if (text.find('.') == std::string::npos) text += '.';
  text.resize(text.find('.') + 4, '0');
  bool carry = text.back() >= '5';
  text.pop_back();
  for (size_t i = text.size(); carry && i > 0; --i) {
    char& digit = text[i - 1];
    if (digit == '.') continue;
    carry = digit == '9';
    digit = carry ? '0' : static_cast<char>(digit + 1);
  }
  if (carry) text.insert(0, 1, '1');
  for (size_t at = text.find('.'); at > 3; at -= 3) text.insert(at - 3, 1, ',');
  // Rounded to nothing, a small negative amount is no negative amount.
  const bool negative = value < 0 && text.find_first_of("123456789") != std::string::npos;
  return negative ? "-" + text : text;
}

std::string FormatUpperLimit(const Variant& limit) {
  if (limit.IsNull() || limit.IsEmpty()) return _("no limit");
  return FormatNumber(VarToDbl(limit));
}

std::string YesNo(bool value) { return value ? _("yes") : _("no"); }

Json CellToJson(const Cell& cell) {
  switch (cell.type) {
    case Cell::Type::kNull:
      break;
    case Cell::Type::kFlag:
      return cell.flag;
    case Cell::Type::kWhole:
      return cell.whole;
    case Cell::Type::kNumber:
      return cell.number;
    case Cell::Type::kText:
      return cell.text;
  }
  return nullptr;
}

void AppendJson(std::string& out, const Cell& cell) {
  switch (cell.type) {
    case Cell::Type::kNull:
      out += "null";
      return;
    case Cell::Type::kFlag:
      out += cell.flag ? "true" : "false";
      return;
    case Cell::Type::kWhole: {
      char digits[24];
      out.append(digits, std::to_chars(digits, digits + sizeof digits, cell.whole).ptr);
      return;
    }
    case Cell::Type::kNumber: {
      if (!std::isfinite(cell.number)) {
        out += "null";
        return;
      }
      // The shortest text that reads back as the number, exactly as Json::dump writes it.
      std::array<char, 64> digits{};
      out.append(digits.data(), nlohmann::detail::to_chars(
                                    digits.data(), digits.data() + digits.size(), cell.number));
      return;
    }
    case Cell::Type::kText:
      break;
  }
  const std::string& text = cell.text;
  const size_t start = out.size();
  out += '"';
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80) {
      // Json::dump checks the UTF-8 and refuses bad text; let it do both for text beyond ASCII.
      out.resize(start);
      out += Json(text).dump();
      return;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20) {
          out += fmt::format("\\u{:04x}", u);
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void VariantToCell(const Variant& value, Cell& cell) {
  switch (value.type()) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Object:
    case VarType::Error:
      cell.SetNull();
      return;
    case VarType::Boolean:
      cell.SetFlag(value.AsBool());
      return;
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
      cell.SetWhole(VarToLng(value));
      return;
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Decimal:
      cell.SetNumber(value.AsDouble());
      return;
    case VarType::String:
      cell.SetText().assign(value.AsString());
      return;
    default:
      cell.SetText() = VarToStr(value);
  }
}

Json VariantToJson(const Variant& value) {
  Cell cell;
  VariantToCell(value, cell);
  return CellToJson(cell);
}

namespace {

using K = FieldKind;
// Headers in English, translated where a table prints them.
constexpr ToolField kFields[] = {
    {"id", "id", N_("Rule"), K::kWhole},
    {"autoid", "autoid", N_("Row"), K::kWhole},
    {"cVenCode", "cVenCode", N_("Vendor"), K::kText},
    {"cVenName", "cVenName", N_("Vendor name"), K::kText},
    {"cVenAbbName", "cVenAbbName", N_("Short name"), K::kText},
    {"cInvCode", "cInvCode", N_("Item"), K::kText},
    {"cInvName", "cInvName", N_("Item name"), K::kText},
    {"cInvStd", "cInvStd", N_("Specification"), K::kText},
    {"cComUnitCode", "cComUnitCode", N_("Unit"), K::kText},
    {"iSupplyType", "iSupplyType", N_("Supply type"), K::kWhole},
    {"cExchName", "cExch_Name", N_("Currency"), K::kText},
    {"dEnableDate", "dEnableDate", N_("Valid from"), K::kDate},
    {"dDisableDate", "dDisableDate", N_("Valid until"), K::kDate},
    {"bPromotion", "bPromotion", N_("Promotion"), K::kFlag},
    {"bTaxCost", "bTaxCost", N_("Tax cost"), K::kFlag},
    {"cMemo", "cMemo", N_("Memo"), K::kText},
    {"cTermCode", "cTermCode", N_("Trade term"), K::kText},
    {"iLowerLimit", "iLowerLimit", N_("From qty"), K::kNumber},
    {"iUpperLimit", "iUpperLimit", N_("Below qty"), K::kLimit},
    {"iUnitPrice", "iUnitPrice", N_("Unit price"), K::kMoney},
    {"iTaxRate", "iTaxRate", N_("Tax rate %"), K::kNumber},
    {"iTaxUnitPrice", "iTaxUnitPrice", N_("With tax"), K::kMoney},
    {"cFree1", "cFree1", N_("Free item 1"), K::kText},
    {"cFree2", "cFree2", N_("Free item 2"), K::kText},
    {"cFree3", "cFree3", N_("Free item 3"), K::kText},
    {"dEndDate", "dEndDate", N_("Ended"), K::kDate},
    {"bVenOverseas", "bVenOverseas", N_("Overseas"), K::kFlag},
    {"bPurchase", "bPurchase", N_("Purchased"), K::kFlag},
    {"cExch_Code", "cExch_Code", N_("Code"), K::kText},
    {"iOtherUsed", "iOtherUsed", N_("Local (-1)"), K::kWhole},
    {"bCal", "bCal", N_("Multiply by rate"), K::kFlag},
    {"itype", "itype", N_("Rate type"), K::kWhole},
    {"iyear", "iyear", N_("Year"), K::kWhole},
    {"cdate", "cdate", N_("Day or month"), K::kText},
    {"nflat", "nflat", N_("Rate"), K::kNumber},
};

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

}  // namespace

const ToolField* FindField(std::string_view name_or_column) {
  for (const ToolField& field : kFields) {
    if (detail::EqualsNoCase(field.name, name_or_column) ||
        detail::EqualsNoCase(field.column, name_or_column)) {
      return &field;
    }
  }
  return nullptr;
}

std::string ToolName(std::string_view name_or_column) {
  const ToolField* field = FindField(name_or_column);
  return field ? field->name : std::string(name_or_column);
}

std::string FilterToColumns(std::string_view filter) {
  std::string out;
  for (size_t i = 0; i < filter.size();) {
    const char c = filter[i];
    size_t end = i + 1;
    if (c == '\'' || c == '"' || c == '[') {
      // Up to the closing quote; a doubled one is part of the text.
      const char close = c == '[' ? ']' : c;
      while (end < filter.size()) {
        if (filter[end] != close) {
          ++end;
        } else if (end + 1 < filter.size() && filter[end + 1] == close) {
          end += 2;
        } else {
          ++end;
          break;
        }
      }
    } else if (IsNameChar(c)) {
      while (end < filter.size() && IsNameChar(filter[end])) ++end;
    }
    std::string_view piece = filter.substr(i, end - i);
    const ToolField* field = IsNameChar(c) ? FindField(piece) : nullptr;
    if (field && !std::isdigit(static_cast<unsigned char>(c))) piece = field->column;
    out += piece;
    i = end;
  }
  return out;
}

void FieldToJsonCell(const ToolField* field, const Variant& value, Cell& cell) {
  if (field == nullptr || value.IsNull() || value.IsEmpty()) return VariantToCell(value, cell);
  if (field->kind == FieldKind::kFlag && value.IsNumeric())
    return cell.SetFlag(VarToDbl(value) != 0);
  if (field->kind == FieldKind::kDate) {
    if (value.type() == VarType::Date) {
      cell.SetText() = value.AsDate().IsoDate();
      return;
    }
    std::string text = detail::Trim(VarToStr(value));
    if (text.empty()) return cell.SetNull();
    cell.SetText() = std::move(text);
    return;
  }
  VariantToCell(value, cell);
}

Json FieldToJson(const ToolField* field, const Variant& value) {
  Cell cell;
  FieldToJsonCell(field, value, cell);
  return CellToJson(cell);
}

std::string FieldToCell(const ToolField* field, const Variant& value) {
  const FieldKind kind = field ? field->kind : FieldKind::kText;
  if (value.IsNull() || value.IsEmpty()) {
    return kind == FieldKind::kLimit ? FormatUpperLimit(value) : "";
  }
  if (value.IsNumeric() || value.type() == VarType::Boolean) {
    if (kind == FieldKind::kMoney) return FormatMoney(VarToDbl(value));
    if (kind == FieldKind::kFlag) return YesNo(VarToDbl(value) != 0);
  }
  if (kind == FieldKind::kDate && value.type() == VarType::Date) return value.AsDate().IsoDate();
  return VarToStr(value);
}

uint32_t NextCodePoint(std::string_view text, size_t& at) {
  const unsigned char c = static_cast<unsigned char>(text[at]);
  uint32_t cp = c;
  size_t len = 1;
  if (c >= 0xF0) {
    len = 4;
    cp = c & 0x07;
  } else if (c >= 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if (c >= 0xC0) {
    len = 2;
    cp = c & 0x1F;
  }
  for (size_t k = 1; k < len && at + k < text.size(); ++k) {
    cp = (cp << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
  }
  at += len;
  return cp;
}

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const uint32_t cp = NextCodePoint(text, i);
    bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
    width += wide ? 2 : 1;
  }
  return width;
}

namespace {

void Pad(std::ostream& out, std::string_view text, size_t width, bool right) {
  size_t w = DisplayWidth(text);
  std::string fill(width > w ? width - w : 0, ' ');
  if (right) {
    out << fill << text;
  } else {
    out << text << fill;
  }
}

}  // namespace

Table::Table(std::vector<std::string> headers)
    : headers_(std::move(headers)), right_(headers_.size(), false) {}

Table& Table::AlignRight(size_t column) {
  if (column < right_.size()) right_[column] = true;
  return *this;
}

void Table::AddRow(std::vector<std::string> cells) {
  cells.resize(headers_.size());
  rows_.push_back(std::move(cells));
}

std::vector<size_t> Table::Widths() const {
  std::vector<size_t> widths(headers_.size());
  for (size_t c = 0; c < headers_.size(); ++c) widths[c] = DisplayWidth(_(headers_[c]));
  for (const auto& row : rows_) {
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
  }
  return widths;
}

void Table::Print(std::ostream& out) const { Print(out, Widths(), true); }

void Table::Print(std::ostream& out, const std::vector<size_t>& widths, bool headers) const {
  auto print_row = [&](const std::vector<std::string>& row) {
    out << "  ";
    for (size_t c = 0; c < row.size(); ++c) {
      if (c > 0) out << "  ";
      // No trailing blanks after the last column.
      if (c + 1 == row.size() && !right_[c]) {
        out << row[c];
      } else {
        Pad(out, row[c], widths[c], right_[c]);
      }
    }
    out << '\n';
  };
  if (headers) {
    // Headers stay in English for ToJson; people read them translated.
    std::vector<std::string> translated;
    for (const std::string& header : headers_) translated.push_back(_(header));
    print_row(translated);
    std::vector<std::string> rule;
    for (size_t w : widths) rule.emplace_back(w, '-');
    print_row(rule);
  }
  for (const auto& row : rows_) print_row(row);
}

Json Table::ToJson() const {
  Json rows = Json::array();
  for (const auto& row : rows_) {
    Json obj = Json::object();
    for (size_t c = 0; c < headers_.size(); ++c) obj[headers_[c]] = row[c];
    rows.push_back(std::move(obj));
  }
  return rows;
}

void PrintFields(std::ostream& out,
                 const std::vector<std::pair<std::string, std::string>>& fields) {
  size_t width = 0;
  // Field names stay in English for JSON; people read them translated.
  for (const auto& [name, value] : fields) width = std::max(width, DisplayWidth(_(name)));
  for (const auto& [name, value] : fields) {
    out << "  ";
    Pad(out, _(name), width, false);
    out << "  " << value << '\n';
  }
}

TextBuffer::TextBuffer(std::function<void(std::string_view)> sink) : sink_(std::move(sink)) {
  text_.reserve(kPiece + kPiece / 4);
}

void TextBuffer::Flush() {
  if (text_.empty()) return;
  sink_(text_);
  text_.clear();
}

JsonArrayWriter::JsonArrayWriter(std::function<void(std::string_view)> write)
    : out_(std::move(write)) {
  out_.text() += '[';
}

void JsonArrayWriter::Separate() {
  out_.text() += empty_ ? "\n  " : ",\n  ";
  empty_ = false;
}

void JsonArrayWriter::Add(const Json& element) {
  std::string text = element.dump(2);
  Separate();
  std::string& out = out_.text();
  // Each line of the element one level deeper.
  for (size_t at = 0;;) {
    const size_t line_end = text.find('\n', at);
    out.append(text, at, line_end == std::string::npos ? line_end : line_end + 1 - at);
    if (line_end == std::string::npos) break;
    out += "  ";
    at = line_end + 1;
  }
  out_.FlushIfFull();
}

std::vector<std::string> JsonArrayWriter::JsonKeys(const std::vector<std::string>& names) {
  std::vector<std::string> keys;
  for (const std::string& name : names) keys.push_back(Json(name).dump() + ": ");
  return keys;
}

void JsonArrayWriter::AddObject(const std::vector<std::string>& keys,
                                const std::vector<Cell>& cells) {
  Separate();
  std::string& out = out_.text();
  if (keys.empty()) {
    out += "{}";
    return;
  }
  out += '{';
  for (size_t k = 0; k < keys.size(); ++k) {
    out += k == 0 ? "\n    " : ",\n    ";
    out += keys[k];
    AppendJson(out, cells[k]);
  }
  out += "\n  }";
  out_.FlushIfFull();
}

void JsonArrayWriter::Close() {
  out_.text() += empty_ ? "]\n" : "\n]\n";
  out_.Flush();
}

int64_t JsonRows::AddAll(Recordset& rs) {
  // Pages of one list share their columns; a name two columns share shows the later column in
  // the earlier one's place, as assigning to a JSON object does.
  keys_.clear(), fields_.clear(), columns_.clear();
  std::vector<std::string> names;
  for (int32_t c = 0; c < rs.FieldCount(); ++c) {
    const std::string column = rs.FieldName(c);
    const ToolField* field = FindField(column);
    const std::string name = field ? field->name : column;
    const auto same = std::find(names.begin(), names.end(), name);
    if (same != names.end()) {
      const auto k = same - names.begin();
      columns_[k] = c, fields_[k] = field;
      continue;
    }
    names.push_back(name);
    fields_.push_back(field);
    columns_.push_back(c);
  }
  keys_ = JsonArrayWriter::JsonKeys(names);
  cells_.resize(keys_.size());
  int64_t count = 0;
  for (; !rs.Eof(); rs.MoveNext(), ++count) {
    const Variant* row = rs.RowValues();
    for (size_t k = 0; k < keys_.size(); ++k)
      FieldToJsonCell(fields_[k], row[columns_[k]], cells_[k]);
    array_.AddObject(keys_, cells_);
  }
  return count;
}

Table RecordsetToTable(Recordset& rs, const std::vector<std::string>& columns) {
  std::vector<const ToolField*> fields;
  std::vector<std::string> headers;
  for (const auto& column : columns) {
    fields.push_back(FindField(column));
    headers.emplace_back(fields.back() ? fields.back()->header : column);
  }
  Table table(std::move(headers));
  for (size_t c = 0; c < columns.size(); ++c) {
    const FieldKind kind = fields[c] ? fields[c]->kind : FieldKind::kText;
    const bool numeric =
        fields[c] ? kind != FieldKind::kText && kind != FieldKind::kFlag && kind != FieldKind::kDate
                  : rs.HasField(columns[c]) && !rs.Eof() && rs.Fields(columns[c]).IsNumeric();
    if (numeric) table.AlignRight(c);
  }
  while (!rs.Eof()) {
    std::vector<std::string> cells;
    for (size_t c = 0; c < columns.size(); ++c) {
      cells.push_back(rs.HasField(columns[c]) ? FieldToCell(fields[c], rs.Fields(columns[c])) : "");
    }
    table.AddRow(std::move(cells));
    rs.MoveNext();
  }
  return table;
}

}  // namespace tamsel::cli

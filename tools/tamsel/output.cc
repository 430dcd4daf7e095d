#include "output.h"

#include <ostream>

#include "i18n.h"

namespace tamsel::cli {

std::string FormatNumber(double value) { return VarToStr(Variant(value)); }

std::string FormatUpperLimit(const Variant& limit) {
  if (limit.IsNull() || limit.IsEmpty()) return _("no limit");
  return FormatNumber(VarToDbl(limit));
}

std::string YesNo(bool value) { return value ? _("yes") : _("no"); }

Json VariantToJson(const Variant& value) {
  switch (value.type()) {
    case VarType::Empty:
    case VarType::Null:
      return nullptr;
    case VarType::Boolean:
      return value.AsBool();
    case VarType::Integer:
    case VarType::Long:
    case VarType::Byte:
      return VarToLng(value);
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Decimal:
      return value.AsDouble();
    case VarType::Object:
    case VarType::Error:
      return nullptr;
    default:
      return VarToStr(value);
  }
}

size_t DisplayWidth(std::string_view text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
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
    for (size_t k = 1; k < len && i + k < text.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    i += len;
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

Json RowToJson(Recordset& rs) {
  Json obj = Json::object();
  for (int32_t i = 0; i < rs.FieldCount(); ++i) {
    const std::string name = rs.FieldName(i);
    obj[name] = VariantToJson(rs.Fields(name));
  }
  return obj;
}

JsonArrayWriter::JsonArrayWriter(std::function<void(std::string_view)> write)
    : write_(std::move(write)) {
  write_("[");
}

void JsonArrayWriter::Add(const Json& element) {
  std::string text = element.dump(2);
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 3) {
    text.replace(at, 1, "\n  ");
  }
  write_(empty_ ? "\n  " : ",\n  ");
  write_(text);
  empty_ = false;
}

void JsonArrayWriter::Close() { write_(empty_ ? "]\n" : "\n]\n"); }

Table RecordsetToTable(Recordset& rs, const std::vector<std::string>& columns) {
  Table table(columns);
  for (size_t c = 0; c < columns.size(); ++c) {
    if (rs.HasField(columns[c]) && !rs.Eof() && rs.Fields(columns[c]).IsNumeric()) {
      table.AlignRight(c);
    }
  }
  while (!rs.Eof()) {
    std::vector<std::string> cells;
    for (const auto& column : columns) {
      cells.push_back(rs.HasField(column) ? VarToStr(rs.Fields(column)) : "");
    }
    table.AddRow(std::move(cells));
    rs.MoveNext();
  }
  return table;
}

}  // namespace tamsel::cli

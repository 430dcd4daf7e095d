#include "files/csv.h"

#include <algorithm>
#include <istream>

#include "cli_context.h"
#include "present/i18n.h"

namespace tamsel::cli {

namespace {

// The offset of the first byte that is not part of well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF), or npos.
size_t InvalidUtf8At(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t n = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      n = 1, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 2, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 3, cp = c & 0x07;
    } else {
      return i;
    }
    if (i + n >= text.size()) return i;
    for (size_t k = 1; k <= n; ++k) {
      const auto t = static_cast<unsigned char>(text[i + k]);
      if ((t & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return i;
    }
    i += n + 1;
  }
  return std::string_view::npos;
}

}  // namespace

char DetectSeparator(std::string_view line) {
  size_t counts[3] = {};
  bool quoted = false;
  for (const char c : line) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == ',') ++counts[0];
    if (c == ';') ++counts[1];
    if (c == '\t') ++counts[2];
  }
  const size_t* most = std::max_element(std::begin(counts), std::end(counts));
  return *most == 0 ? ',' : ",;\t"[most - counts];
}

std::vector<CsvRecord> ParseCsv(std::string_view text, int first_line, char separator) {
  if (first_line == 1 && text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  // Text that is not UTF-8 would be stored as it is and break every JSON output later on.
  if (const size_t bad = InvalidUtf8At(text); bad != std::string_view::npos) {
    const auto line = std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(bad), '\n');
    throw ToolError(Tf("line {0}: the text is not {1} (name the file's encoding with --encoding)",
                       line + first_line, "UTF-8"));
  }
  std::vector<CsvRecord> records;
  CsvRecord record;
  std::string field;
  int line = first_line;
  bool in_record = false;  // something of the current record has been read
  size_t i = 0;
  auto end_field = [&] {
    record.fields.push_back(std::move(field));
    field.clear();
  };
  auto end_record = [&] {
    end_field();
    const size_t width = record.fields.size();
    records.push_back(std::move(record));
    record = CsvRecord{};
    // The next record is most likely as wide: room for it saves the vector's regrowth.
    record.fields.reserve(width);
    in_record = false;
  };
  while (i < text.size()) {
    char c = text[i];
    if (!in_record && (c == '\r' || c == '\n')) {
      // A line with nothing on it is no record.
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++i;
      ++line;
      continue;
    }
    if (!in_record) {
      record.line = line;
      in_record = true;
    }
    if (c == '"') {
      if (!field.empty()) {
        throw ToolError(Tf("line {0}: quote inside an unquoted field", line));
      }
      int start_line = line;
      ++i;
      for (;;) {
        if (i >= text.size()) {
          throw ToolError(Tf("line {0}: quoted field not closed", start_line));
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        if (text[i] == '\n') ++line;
        field += text[i++];
      }
      // After the closing quote only a separator or the end of the line may follow.
      if (i < text.size() && text[i] != separator && text[i] != '\n' && text[i] != '\r') {
        throw ToolError(Tf("line {0}: text after a closing quote", line));
      }
      continue;
    }
    if (c == separator) {
      end_field();
      ++i;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++i;
      ++line;
      end_record();
    } else {
      field += c;
      ++i;
    }
  }
  if (in_record) end_record();
  return records;
}

bool CsvReader::Next(CsvRecord& record) {
  while (taken_ == pending_.size()) {
    // Whole lines until the quotes balance: then no quoted field runs on past the chunk.
    chunk_.clear();
    const int first = next_line_;
    size_t quotes = 0;
    while (std::getline(in_, piece_)) {
      ++next_line_;
      quotes += static_cast<size_t>(std::count(piece_.begin(), piece_.end(), '"'));
      chunk_ += piece_;
      chunk_ += '\n';
      if (quotes % 2 == 0) break;
    }
    if (in_.bad()) throw ToolError(_("cannot read the input"));
    if (chunk_.empty()) return false;
    if (separator_ == 0) separator_ = DetectSeparator(chunk_.substr(0, chunk_.find('\n')));
    pending_ = ParseCsv(chunk_, first, separator_);
    taken_ = 0;
  }
  record = std::move(pending_[taken_++]);
  return true;
}

void AppendCsvField(std::string& line, std::string_view field, bool first) {
  if (!first) line += ',';
  // A byte-order mark at the start of the first field would be taken for the file's own.
  const bool quote = field.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!field.empty() && (field.front() == ' ' || field.back() == ' ')) ||
                     (first && field.starts_with(kUtf8Bom));
  if (!quote) {
    line += field;
    return;
  }
  line += '"';
  for (size_t at = 0;;) {
    const size_t q = field.find('"', at);
    line.append(field.substr(at, q == std::string_view::npos ? q : q + 1 - at));
    if (q == std::string_view::npos) break;
    line += '"';
    at = q + 1;
  }
  line += '"';
}

std::string FormatCsvLine(const std::vector<std::string>& fields) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) AppendCsvField(out, fields[i], i == 0);
  out += "\r\n";
  return out;
}

}  // namespace tamsel::cli

#include "files/formats.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli_context.h"
#include "common/text.h"
#include "files/cells.h"
#include "files/encoding.h"
#include "files/xlsx_reader.h"
#include "present/i18n.h"

namespace tamsel::cli {

std::string ImportFormat(const std::string& format, const std::string& path, bool json_default) {
  if (!format.empty()) return format;
  std::string ext = detail::Lower(std::filesystem::path(path).extension().string());
  if (ext == ".json") return "json";
  if (ext == ".csv") return "csv";
  if (ext == ".xlsx") return "xlsx";
  return json_default ? "json" : "csv";
}

Json ImportNumberCell(const std::string& text, const std::string& column, bool whole) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    throw ToolError(Tf("{0}: not a number: {1}", column, text));
  }
  if (whole) {
    if (value != std::floor(value) || std::fabs(value) > 2147483647.0) {
      throw ToolError(Tf("{0}: not a whole number: {1}", column, text));
    }
    return static_cast<int64_t>(value);
  }
  return value;
}

Json ImportFlagCell(const std::string& text, const std::string& column) {
  std::string v = detail::Lower(text);
  if (v == "1" || v == "true" || v == "yes") return true;
  if (v == "0" || v == "false" || v == "no") return false;
  throw ToolError(Tf("{0}: not a flag (1 or 0): {1}", column, text));
}

double ImportNumber(const std::string& text, const std::string& column) {
  return ImportNumberCell(text, column, false).get<double>();
}

std::string ImportDate(std::string_view text, const std::string& column) {
  try {
    return ParseIsoDate(detail::Trim(text)).IsoDate();
  } catch (const UsageError& e) {
    throw ToolError(Tf("{0}: {1}", column, e.what()));
  }
}

std::string JsonToCell(const Json& value) {
  if (value.is_null()) return "";
  if (value.is_string()) return value.get<std::string>();
  if (value.is_boolean()) return value.get<bool>() ? "1" : "0";
  if (value.is_number_integer()) return std::to_string(value.get<int64_t>());
  if (value.is_number()) return FormatNumber(value.get<double>());
  throw ToolError(Tf("a value must be text, a number, true/false or null: {0}", value.dump()));
}

size_t EachJsonElement(std::istream& in,
                       const std::function<void(int position, Json&& element)>& take) {
  bool top_array = false;
  size_t count = 0;
  const Json::parser_callback_t element = [&](int depth, Json::parse_event_t event, Json& parsed) {
    using E = Json::parse_event_t;
    if (depth == 0 && event == E::array_start) top_array = true;
    if (!top_array || depth != 1 ||
        (event != E::object_end && event != E::array_end && event != E::value)) {
      return true;
    }
    ++count;
    if (take) take(static_cast<int>(count), std::move(parsed));
    return false;
  };
  Json doc;
  try {
    doc = Json::parse(in, element);
  } catch (const Json::parse_error& e) {
    throw ToolError(Tf("not valid JSON: {0}", e.what()));
  }
  if (top_array) return count;
  if (!doc.is_object()) throw ToolError(_("expected an array of rules"));
  if (take) take(1, std::move(doc));
  return 1;
}

std::string ReadInput(const std::string& path) {
  if (path == "-") {
    return std::string(std::istreambuf_iterator<char>(std::cin), {});
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError(Tf("cannot read {0}", path));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw ToolError(Tf("cannot read {0}", path));
  return text.str();
}

void AddImportInput(CLI::App& command, std::string& file, std::string& format,
                    ReadOptions& options) {
  command.add_option("FILE", file, _("FILE.csv, FILE.json or FILE.xlsx (- reads stdin)"))
      ->required();
  command.add_option("--format", format, _("csv, json or xlsx (default: by extension)"))
      ->check(CLI::IsMember({"csv", "json", "xlsx"}));
  command
      .add_option("--encoding", options.encoding,
                  _("the CSV file's encoding: UTF-8 (default), GB18030, GBK, BIG5, UTF-16 (as "
                    "\"Unicode text\"), WINDOWS-1252, or any other iconv knows; a byte-order "
                    "mark wins"))
      ->check(CLI::Validator(
          [](const std::string& name) {
            return KnownEncoding(name) ? std::string() : Tf("unknown encoding {0}", name);
          },
          "ENCODING"));
  command.add_flag("--decimal-comma", options.decimal_comma,
                   _("read numbers such as 0,76 (without a thousands separator); a CSV file that "
                     "separates by ';' is read so anyway"));
}

std::string PointDecimal(std::string_view text) {
  std::string number = detail::Trim(text);
  const size_t comma = number.find(',');
  if (comma == std::string::npos || number.find(',', comma + 1) != std::string::npos ||
      number.find('.') != std::string::npos) {
    return std::string(text);
  }
  number[comma] = '.';
  double value = 0;
  const char* end = number.data() + number.size();
  const auto [at, ec] = std::from_chars(number.data(), end, value);
  return ec == std::errc() && at == end ? number : std::string(text);
}

TableReader::TableReader(std::istream& in, const std::string& format, const ReadOptions& options)
    : options_(options) {
  if (format == "xlsx") {
    std::string file(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) throw ToolError(_("cannot read the input"));
    xlsx_ = std::make_unique<XlsxReader>(file);
  } else {
    text_ = std::make_unique<DecodedStream>(in, options.encoding);
    csv_ = std::make_unique<CsvReader>(*text_);
  }
}

TableReader::~TableReader() = default;

bool TableReader::Next(CsvRecord& record) {
  if (xlsx_) {
    if (!xlsx_->Next(record.line, cells_)) return false;
    // Cells past the header's last are kept, so that a row too wide is still told.
    record.fields.assign(std::max(cells_.size(), kinds_.size()), "");
    for (size_t f = 0; f < cells_.size(); ++f) {
      const Kind kind = f < kinds_.size() ? kinds_[f] : Kind::kOther;
      double number = 0;
      const std::string& text = cells_[f].text;
      if (kind == Kind::kDate) {
        record.fields[f] = xlsx_->DateText(cells_[f]);
      } else if (kind == Kind::kText && cells_[f].number &&
                 std::from_chars(text.data(), text.data() + text.size(), number).ec ==
                     std::errc()) {
        // A code the sheet keeps as a number, as the component writes it (a sheet may write
        // 1.1 as 1.1000000000000001).
        record.fields[f] = FormatNumber(number);
      } else {
        record.fields[f] = std::move(cells_[f].text);
      }
    }
  } else if (!csv_->Next(record)) {
    return false;
  }
  if (!header_read_) {
    header_read_ = true;
    for (const auto& name : record.fields) {
      const char letter = static_cast<char>(std::tolower(
          static_cast<unsigned char>(detail::Trim(name).empty() ? ' ' : detail::Trim(name)[0])));
      kinds_.push_back(letter == 'c'   ? Kind::kText
                       : letter == 'i' ? Kind::kNumber
                       : letter == 'd' ? Kind::kDate
                                       : Kind::kOther);
    }
    return true;
  }
  const bool decimal_comma = options_.decimal_comma || (csv_ && csv_->separator() == ';');
  for (size_t f = 0; f < record.fields.size() && f < kinds_.size(); ++f) {
    std::string& field = record.fields[f];
    if (kinds_[f] == Kind::kText) {
      field.erase(0, field.size() - RestoreCell(field).size());
    } else if (kinds_[f] == Kind::kNumber && decimal_comma) {
      field = PointDecimal(field);
    }
  }
  return true;
}

}  // namespace tamsel::cli

#include "files/xlsx_reader.h"

#include <minizip/unzip.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "cli_context.h"
#include "present/i18n.h"
#include "tamsel/variant.h"

namespace tamsel::cli {

namespace {

// A part bigger than this is no price list; its size is not trusted from the zip's header.
constexpr uint64_t kMaxPart = uint64_t{1} << 30;
// Column XFD, the last a sheet has.
constexpr int kMaxColumns = 16384;

[[noreturn]] void NotXlsx(const std::string& why) {
  throw ToolError(Tf("not an xlsx workbook: {0}", why));
}

// minizip reading the workbook's bytes in memory.
struct Bytes {
  const std::string* data;
  uint64_t at = 0;
};

voidpf OpenBytes(voidpf opaque, const void*, int) { return opaque; }
uLong ReadBytes(voidpf, voidpf stream, void* buf, uLong size) {
  auto* b = static_cast<Bytes*>(stream);
  const uint64_t n = std::min<uint64_t>(size, b->data->size() - std::min(b->at, b->data->size()));
  std::memcpy(buf, b->data->data() + b->at, n);
  b->at += n;
  return static_cast<uLong>(n);
}
uLong WriteBytes(voidpf, voidpf, const void*, uLong) { return 0; }
ZPOS64_T TellBytes(voidpf, voidpf stream) { return static_cast<Bytes*>(stream)->at; }
long SeekBytes(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* b = static_cast<Bytes*>(stream);
  const uint64_t base = origin == ZLIB_FILEFUNC_SEEK_SET   ? 0
                        : origin == ZLIB_FILEFUNC_SEEK_CUR ? b->at
                                                           : b->data->size();
  if (base + offset > b->data->size()) return -1;
  b->at = base + offset;
  return 0;
}
int CloseBytes(voidpf, voidpf) { return 0; }
int ErrorBytes(voidpf, voidpf) { return 0; }

class Package {
 public:
  explicit Package(const std::string& file) : bytes_{&file} {
    zlib_filefunc64_def io{OpenBytes, ReadBytes,  WriteBytes, TellBytes,
                           SeekBytes, CloseBytes, ErrorBytes, &bytes_};
    zip_ = ::unzOpen2_64("", &io);
    if (zip_ == nullptr) NotXlsx(_("the file is not a zip package"));
  }
  ~Package() { ::unzClose(zip_); }
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  // The part's XML, or an empty document when the package has no such part.
  pugi::xml_document Xml(const std::string& name, bool required) {
    pugi::xml_document doc;
    if (::unzLocateFile(zip_, name.c_str(), 1) != UNZ_OK) {
      if (required) NotXlsx(Tf("it has no {0}", name));
      return doc;
    }
    std::string text;
    if (::unzOpenCurrentFile(zip_) != UNZ_OK) NotXlsx(Tf("cannot read {0}", name));
    char block[1 << 16];
    int n = 0;
    while ((n = ::unzReadCurrentFile(zip_, block, sizeof block)) > 0 && text.size() < kMaxPart) {
      text.append(block, static_cast<size_t>(n));
    }
    const bool crc_ok = ::unzCloseCurrentFile(zip_) == UNZ_OK;
    if (n < 0 || !crc_ok || text.size() >= kMaxPart) NotXlsx(Tf("cannot read {0}", name));
    const auto parsed = doc.load_buffer(text.data(), text.size(), pugi::parse_default);
    if (!parsed) NotXlsx(Tf("{0}: {1}", name, parsed.description()));
    return doc;
  }

 private:
  Bytes bytes_;
  unzFile zip_ = nullptr;
};

// The part a relationship of SOURCE points at: a path from the package root.
std::string Target(const pugi::xml_document& rels, const std::string& source_dir,
                   const char* type_end, const char* id) {
  for (const auto& rel : rels.document_element().children("Relationship")) {
    const std::string type = rel.attribute("Type").value();
    if ((id != nullptr && std::strcmp(rel.attribute("Id").value(), id) == 0) ||
        (id == nullptr && type.ends_with(type_end))) {
      const std::string target = rel.attribute("Target").value();
      return target.starts_with('/') ? target.substr(1) : source_dir + target;
    }
  }
  return "";
}

// Text with the _xHHHH_ escapes of characters XML cannot hold decoded.
std::string Unescape(std::string text) {
  for (size_t at = 0; (at = text.find("_x", at)) != std::string::npos; ++at) {
    unsigned code = 0;
    if (at + 7 > text.size() || text[at + 6] != '_' ||
        std::from_chars(&text[at + 2], &text[at + 6], code, 16).ptr != &text[at + 6]) {
      continue;
    }
    std::string utf8;
    if (code < 0x80) {
      utf8 = static_cast<char>(code);
    } else if (code < 0x800) {
      utf8 = {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
    } else if (code < 0xD800 || code > 0xDFFF) {
      utf8 = {static_cast<char>(0xE0 | (code >> 12)),
              static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
              static_cast<char>(0x80 | (code & 0x3F))};
    } else {
      continue;
    }
    text.replace(at, 7, utf8);
    at += utf8.size() - 1;
  }
  return text;
}

// A string item's text: its own <t>, or its runs' (not the phonetic guides').
std::string ItemText(const pugi::xml_node& item) {
  if (const auto t = item.child("t")) return Unescape(t.text().get());
  std::string text;
  for (const auto& run : item.children("r")) text += run.child("t").text().get();
  return Unescape(std::move(text));
}

// The column of a reference such as "AB12", from 0; -1 without letters.
int ColumnOf(const char* ref) {
  int column = 0;
  const char* p = ref;
  for (; *p >= 'A' && *p <= 'Z' && column < kMaxColumns; ++p) column = column * 26 + (*p - 'A' + 1);
  return p == ref ? -1 : std::min(column, kMaxColumns) - 1;
}

}  // namespace

XlsxReader::XlsxReader(const std::string& file) {
  Package package(file);
  std::string workbook = Target(package.Xml("_rels/.rels", false), "", "/officeDocument", nullptr);
  if (workbook.empty()) workbook = "xl/workbook.xml";
  const std::string dir = workbook.substr(0, workbook.rfind('/') + 1);
  const std::string rels_name = dir + "_rels/" + workbook.substr(workbook.rfind('/') + 1) + ".rels";
  const pugi::xml_document book = package.Xml(workbook, true);
  const pugi::xml_document rels = package.Xml(rels_name, true);
  const auto root = book.document_element();
  const auto pr = root.child("workbookPr").attribute("date1904").value();
  date1904_ = std::strcmp(pr, "1") == 0 || std::strcmp(pr, "true") == 0;
  const auto first = root.child("sheets").child("sheet");
  if (!first) NotXlsx(_("it has no worksheet"));
  // The relationship id, whatever prefix the workbook gives its namespace.
  const char* id = "";
  for (const auto& attribute : first.attributes()) {
    if (std::string_view(attribute.name()).ends_with(":id")) id = attribute.value();
  }
  const std::string sheet = Target(rels, dir, "", id);
  if (sheet.empty()) NotXlsx(_("it has no worksheet"));
  if (const std::string strings = Target(rels, dir, "/sharedStrings", nullptr); !strings.empty()) {
    const pugi::xml_document sst = package.Xml(strings, false);
    for (const auto& item : sst.document_element().children("si")) {
      shared_.push_back(ItemText(item));
    }
  }
  sheet_ = package.Xml(sheet, true);
  row_ = sheet_.document_element().child("sheetData").child("row");
}

bool XlsxReader::Next(int& row, std::vector<XlsxCell>& cells) {
  for (; row_; row_ = row_.next_sibling("row")) {
    row_number_ = row_.attribute("r").as_int(row_number_ + 1);
    cells.clear();
    int column = -1;
    for (const auto& c : row_.children("c")) {
      column = std::max(ColumnOf(c.attribute("r").value()), column + 1);
      XlsxCell cell;
      const std::string type = c.attribute("t").value();
      const char* value = c.child("v").text().get();
      if (type == "s") {
        const auto index = c.child("v").text().as_ullong(shared_.size());
        if (index >= shared_.size())
          NotXlsx(Tf("row {0}: no shared string {1}", row_number_, value));
        cell.text = shared_[index];
      } else if (type == "inlineStr") {
        cell.text = ItemText(c.child("is"));
      } else if (type == "b") {
        cell.text = std::strcmp(value, "1") == 0 ? "1" : "0";
      } else if (type == "d") {
        // An ISO 8601 date-time: the day.
        cell.text = std::string(value).substr(0, std::string_view(value).find('T'));
      } else if (type == "str" || type == "e") {
        cell.text = Unescape(value);
      } else {
        cell.text = value;
        cell.number = *value != '\0';
      }
      if (cell.text.empty()) continue;
      if (cells.size() <= static_cast<size_t>(column))
        cells.resize(static_cast<size_t>(column) + 1);
      cells[static_cast<size_t>(column)] = std::move(cell);
    }
    if (cells.empty()) continue;
    row = row_number_;
    row_ = row_.next_sibling("row");
    return true;
  }
  return false;
}

std::string XlsxReader::DateText(const XlsxCell& cell) const {
  double serial = 0;
  const char* end = cell.text.data() + cell.text.size();
  if (!cell.number || std::from_chars(cell.text.data(), end, serial).ptr != end ||
      serial != std::floor(serial) || serial < 1 || serial > 2958465) {
    return cell.text;
  }
  // Day 1 is 1900-01-01, and the 1900 system counts a 29 February 1900 that never was.
  const auto days = static_cast<int64_t>(serial);
  if (date1904_) return Date::FromYmd(1904, 1, 1).AddDays(days).IsoDate();
  return Date::FromYmd(1899, 12, days < 60 ? 31 : 30).AddDays(days).IsoDate();
}

}  // namespace tamsel::cli

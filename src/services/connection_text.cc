#include <string>
#include <string_view>

#include "common/text.h"
#include "services/driver.h"

namespace tamsel::detail {

namespace {

// Reads one value starting at pos (after '='), up to the next ';' outside braces or quotes.
// ODBC texts put values holding ';' between braces ("}}" inside stands for '}').
std::string ReadValue(std::string_view text, size_t& pos) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  std::string value;
  if (pos < text.size() && (text[pos] == '{' || text[pos] == '"' || text[pos] == '\'')) {
    const char close = text[pos] == '{' ? '}' : text[pos];
    ++pos;
    while (pos < text.size()) {
      if (text[pos] == close) {
        if (pos + 1 < text.size() && text[pos + 1] == close) {
          value += close;
          pos += 2;
          continue;
        }
        ++pos;
        break;
      }
      value += text[pos++];
    }
    while (pos < text.size() && text[pos] != ';') ++pos;
    return value;
  }
  const size_t end = text.find(';', pos);
  const size_t stop = end == std::string_view::npos ? text.size() : end;
  value = Trim(text.substr(pos, stop - pos));
  pos = stop;
  return value;
}

}  // namespace

std::string ConnectionTextValue(std::string_view connection_text, std::string_view key) {
  const std::string wanted = Trim(key);
  size_t pos = 0;
  while (pos < connection_text.size()) {
    const size_t eq = connection_text.find('=', pos);
    if (eq == std::string_view::npos) break;
    const size_t semi = connection_text.find(';', pos);
    if (semi != std::string_view::npos && semi < eq) {  // a part without '=': skip it
      pos = semi + 1;
      continue;
    }
    const std::string name = Trim(connection_text.substr(pos, eq - pos));
    pos = eq + 1;
    std::string value = ReadValue(connection_text, pos);
    if (pos < connection_text.size()) ++pos;  // the ';'
    if (EqualsNoCase(name, wanted)) return value;
  }
  return {};
}

std::string WithoutConnectionTextKey(std::string_view connection_text, std::string_view key) {
  const std::string wanted = Trim(key);
  std::string out;
  size_t pos = 0;
  while (pos < connection_text.size()) {
    const size_t start = pos;
    const size_t eq = connection_text.find('=', pos);
    const size_t semi = connection_text.find(';', pos);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      pos = semi == std::string_view::npos ? connection_text.size() : semi + 1;
      out.append(connection_text.substr(start, pos - start));  // a part without '=' stays
      continue;
    }
    const std::string name = Trim(connection_text.substr(pos, eq - pos));
    pos = eq + 1;
    ReadValue(connection_text, pos);
    if (pos < connection_text.size()) ++pos;  // the ';'
    if (!EqualsNoCase(name, wanted)) out.append(connection_text.substr(start, pos - start));
  }
  return out;
}

}  // namespace tamsel::detail

#include "db/connection_text.h"

#include <string>
#include <string_view>

#include "common/text.h"
#include "tamsel/error.h"

namespace tamsel::detail {

namespace {

constexpr std::string_view kMask = "***";

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

// Calls part(key, value, part_begin, value_begin, value_end) for every key=value part: where the
// part starts, and the range covering the value as written (quotes included).
template <typename F>
void ScanParts(std::string_view text, F&& part) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t eq = text.find('=', pos);
    if (eq == std::string_view::npos) break;
    const size_t semi = text.find(';', pos);
    if (semi != std::string_view::npos && semi < eq) {  // a part without '=': skip it
      pos = semi + 1;
      continue;
    }
    const size_t part_begin = pos;
    std::string key = Trim(text.substr(pos, eq - pos));
    pos = eq + 1;
    const size_t begin = pos;
    std::string value = ReadValue(text, pos);
    part(std::move(key), std::move(value), part_begin, begin, pos);
    if (pos < text.size()) ++pos;  // the ';'
  }
}

bool IsSecretKey(std::string_view key) {
  return EqualsNoCase(key, "pwd") || Lower(key).find("password") != std::string::npos;
}

}  // namespace

std::vector<ConnectionPart> ParseConnectionText(std::string_view connection_text) {
  std::vector<ConnectionPart> parts;
  ScanParts(connection_text, [&](std::string key, std::string value, size_t, size_t, size_t) {
    for (const auto& earlier : parts) {
      if (EqualsNoCase(earlier.key, key)) {
        throw DatabaseError("the connection text gives \"" + key + "\" more than once");
      }
    }
    parts.push_back({std::move(key), std::move(value)});
  });
  return parts;
}

std::string ConnectionTextValue(std::string_view connection_text, std::string_view key) {
  const std::string wanted = Trim(key);
  for (auto& part : ParseConnectionText(connection_text)) {
    if (EqualsNoCase(part.key, wanted)) return std::move(part.value);
  }
  return {};
}

std::string WithoutConnectionTextKey(std::string_view connection_text, std::string_view key) {
  const std::string wanted = Trim(key);
  std::string out;
  size_t copied = 0;
  ScanParts(connection_text,
            [&](const std::string& k, const std::string&, size_t part_begin, size_t, size_t end) {
              if (!EqualsNoCase(k, wanted)) return;
              out.append(connection_text.substr(copied, part_begin - copied));
              copied = end < connection_text.size() ? end + 1 : end;  // with its ';'
            });
  out.append(connection_text.substr(copied));
  return out;
}

std::string RedactConnectionText(std::string_view connection_text) {
  std::string out;
  size_t copied = 0;
  ScanParts(connection_text,
            [&](const std::string& key, const std::string&, size_t, size_t begin, size_t end) {
              if (!IsSecretKey(key)) return;
              out.append(connection_text.substr(copied, begin - copied));
              out += kMask;
              copied = end;
            });
  out.append(connection_text.substr(copied));
  return out;
}

std::string RedactSecrets(std::string_view message, std::string_view connection_text) {
  std::string out(message);
  ScanParts(connection_text, [&](const std::string& key, const std::string& value, size_t,
                                 size_t begin, size_t end) {
    if (!IsSecretKey(key)) return;
    // The value as written (with its quotes) first, then as the driver read it.
    for (const std::string_view secret :
         {connection_text.substr(begin, end - begin), std::string_view(value)}) {
      const std::string s = Trim(secret);
      if (s.empty()) continue;
      for (size_t at = out.find(s); at != std::string::npos; at = out.find(s, at + kMask.size()))
        out.replace(at, s.size(), kMask);
    }
  });
  return out;
}

}  // namespace tamsel::detail

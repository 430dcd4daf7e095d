#pragma once

// Test cases kept as data under tests/: one case a line, fields split at '|' and trimmed; blank
// lines and '#' lines are skipped. \n, \r, \xHH (\x20 keeps an edge blank) and \<any> are
// escapes, resolved by Unescape.

#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <string>
#include <vector>

#include "common/text.h"

namespace tamsel::table {

inline std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
    } else if (text[++i] == 'x' && i + 2 < text.size()) {
      unsigned byte = 0;
      std::from_chars(text.data() + i + 1, text.data() + i + 3, byte, 16);
      out += static_cast<char>(byte);
      i += 2;
    } else {
      out += text[i] == 'n' ? '\n' : text[i] == 'r' ? '\r' : text[i];
    }
  }
  return out;
}

struct Row {
  std::string where;  // "file:line: text", for failure messages
  std::vector<std::string> fields;
};

// The rows of tests/<name>, fields trimmed but still escaped.
inline std::vector<Row> Read(const std::string& name) {
  std::ifstream in(TAMSEL_TEST_SOURCE_DIR "/" + name);
  EXPECT_TRUE(in.is_open()) << name;
  std::vector<Row> rows;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    if (++number, line.empty() || line[0] == '#') continue;
    Row row{name + ":" + std::to_string(number) + ": " + line, {}};
    for (size_t start = 0, bar; start <= line.size(); start = bar + 1) {
      bar = std::min(line.find('|', start), line.size());
      row.fields.push_back(detail::Trim(std::string_view(line).substr(start, bar - start)));
    }
    rows.push_back(std::move(row));
  }
  EXPECT_FALSE(rows.empty()) << name;
  return rows;
}

}  // namespace tamsel::table

// Opens an in-memory suite database and asks for a rule: proves the installed headers, the
// package files and the library work for a client.
#include <tamsel/tamsel.h>

#include <cstdio>

int main() {
  try {
    tamsel::Connection conn;
    conn.Open("Provider=SQLite;Data Source=file:consumer?mode=memory&cache=shared");
    tamsel::InstallSuiteSchema(conn);
    auto rs = conn.OpenRecordset("select count(*) as n from ven_inv_price_rule");
    std::printf("rules: %d\n", tamsel::VarToLng(rs->Fields("n")));
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "consumer failed: %s\n", e.what());
    return 1;
  }
}

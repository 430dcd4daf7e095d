#pragma once

// A manager on an in-memory database with the suite schema and the demo data, made on first use
// and kept for the whole process (the fuzzer runs millions of inputs against it).

#include <cstdlib>
#include <memory>
#include <string>

#include "tamsel/tamsel.h"

inline tamsel::PriceRuleManager& SuiteManager() {
  struct SuiteDb {
    tamsel::Connection keep;  // the shared in-memory database lives while it is open
    tamsel::PriceRuleManager manager;
  };
  static SuiteDb* db = [] {
    const std::string text = "Provider=SQLite;Data Source=file:fuzz?mode=memory&cache=shared";
    auto* made = new SuiteDb();
    made->keep.Open(text);
    tamsel::InstallSuiteSchema(made->keep);
    tamsel::InstallDemoData(made->keep);
    const tamsel::Date day = tamsel::Date::FromYmd(2026, 6, 1);
    const tamsel::Variant ready = made->manager.InitManager(
        std::make_shared<tamsel::SimpleLogin>(text, day), tamsel::MakeSysInfo(day));
    if (ready.type() != tamsel::VarType::Boolean || !ready.AsBool()) std::abort();
    return made;
  }();
  return db->manager;
}

#pragma once

// What the fuzz targets share: the entry point over the input as text, failures the code under
// test raises by design, and a manager on the demo database.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "tamsel/tamsel.h"

// Defines the fuzz entry point; the body that follows reads the input as `text`.
#define TAMSEL_FUZZ_TARGET(text)                                            \
  static void FuzzOne(std::string_view text);                               \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
    FuzzOne(std::string_view(reinterpret_cast<const char*>(data), size));   \
    return 0;                                                               \
  }                                                                         \
  static void FuzzOne(std::string_view text)

// Runs f; a failure of one of the types Refused is an answer, anything else escapes.
template <typename... Refused, typename F>
void Refusing(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    if (!(dynamic_cast<const Refused*>(&e) || ...)) throw;
  }
}

// A manager on an in-memory database with the suite schema and the demo data, made on first use
// and kept for the whole process (the fuzzer runs millions of inputs against it).
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

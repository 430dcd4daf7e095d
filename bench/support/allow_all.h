#pragma once

// A row-authorisation service that lets the user see and change everything, so benchmarks
// measure the component, not the stand-in service's own queries.

#include <string>

#include "tamsel/services.h"

namespace tamsel::bench {

class AllowAll : public RowAuthService {
 public:
  bool Init(const std::string&, const std::string&, int32_t, int32_t) override { return true; }
  std::string GetRowAuthCondition(const std::string&, int32_t, int32_t) override { return ""; }
  bool HasRowAuth(const std::string&, const std::string&, int32_t, const std::string&) override {
    return true;
  }
};

}  // namespace tamsel::bench

#pragma once

// What the registration of each platform reads: the published classes with their identifiers.

#include <fmt/format.h>

#include <span>
#include <string>

#include "publish/dispatch.h"
#include "publish/platform.h"

namespace tamsel::publish {

struct PublishedClass {
  const char* name;
  const CLSID* clsid;
  const IID* iid;
  IDispatch* (*create)();  // null: not creatable by clients
};

// The four classes, creatable ones first.
std::span<const PublishedClass> PublishedClasses();

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, as registries write it.
std::string GuidText(const GUID& g);

inline constexpr const char* kLibraryName = "Tamsel";
inline constexpr const char* kProgIdPrefix = "Tamsel.";

}  // namespace tamsel::publish

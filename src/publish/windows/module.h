#pragma once

// This DLL's module: its handle (from DllMain) and its file.

#include <string>

#include "tamsel/publish.h"

namespace tamsel::publish {

HMODULE ThisModule();
// The full path of the DLL as loaded.
std::wstring ModulePath();

}  // namespace tamsel::publish

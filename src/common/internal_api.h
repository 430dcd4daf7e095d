#pragma once

#include "tamsel/export.h"

// Marks the few internals that the command-line tool, the SQLite extension and the test suites
// call. They are exported rather than built into those programs a second time: the per-thread
// state behind them (message counts, the error funnel's) then exists once, and a changed source
// file relinks only the library while every program still runs the changed code. Their headers
// are not installed; no client should call them.
#define TAMSEL_INTERNAL TAMSEL_API

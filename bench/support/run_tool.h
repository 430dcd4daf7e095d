#pragma once

// Benchmarks that time the tool as a buyer runs it: a whole process.

#include <string>
#include <vector>

namespace tamsel::bench {

// Runs the tool at `tool` with args, its standard output (and, with quiet, its standard error)
// thrown away; its exit status, or 128 + the signal that ended it.
int RunToolProcess(const std::string& tool, std::vector<std::string> args, bool quiet = true);

}  // namespace tamsel::bench

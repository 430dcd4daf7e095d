#!/usr/bin/env bash
# Builds Tamsel and runs every test suite. With --sanitize the same tests run under
# AddressSanitizer + UndefinedBehaviorSanitizer (leak detection on) in a separate build tree;
# with --threads the published face's tests, its thread stress among them, run under
# ThreadSanitizer in a third one.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=0
if [[ "${1:-}" == "--sanitize" ]]; then sanitize=1; fi

# The Python package's tests: pytest, and an offline install into a fresh environment.
bash scripts/deps.sh python3-pytest python3-venv python3-setuptools python3-wheel

jobs=$(nproc)
if [[ "${1:-}" == "--threads" ]]; then
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMSEL_TSAN=ON \
    -DTAMSEL_BUILD_BENCH=OFF -DTAMSEL_WERROR=ON
  cmake --build build-tsan -j "$jobs" --target publish_publish_test publish_threads_test
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
  ctest --test-dir build-tsan -j "$jobs" --output-on-failure -R '^sqlite\.(Publish|HostSqlite)'
  exit
fi
if ((sanitize)); then
  build=build-asan
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTAMSEL_SANITIZE=ON -DTAMSEL_BUILD_BENCH=OFF \
    -DTAMSEL_WERROR=ON
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  build=build
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMSEL_WERROR=ON
fi
cmake --build "$build" -j "$jobs"
# The independent T-SQL parser that checks the SQL Server dialect of every statement.
npm install --silent --no-audit --no-fund --prefix "$build/npm" node-sql-parser@5.4.0
ctest --test-dir "$build" -j "$jobs" --output-on-failure

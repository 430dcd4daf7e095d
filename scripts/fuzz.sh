#!/usr/bin/env bash
# Builds a libFuzzer target with clang (ASan + UBSan, in the build tree build-fuzz) and runs it:
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
# TARGET is a file name under fuzz/ without .cc, or "all" for each in turn (the CI smoke run).
# The corpus grows in build-fuzz/corpus/TARGET, seeded from fuzz/TARGET/regressions; a crash is
# written to build-fuzz/findings/TARGET/ and ends the run with a non-zero exit code. Once it is
# fixed, copy the input into fuzz/TARGET/regressions/, which the unit suite replays.
set -euo pipefail
cd "$(dirname "$0")/.."

if (($# < 2)); then
  echo "usage: scripts/fuzz.sh TARGET|all SECONDS [libFuzzer options...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2

# clang and its runtime libraries (libFuzzer, the sanitizers) besides the usual packages.
bash scripts/deps.sh clang libclang-rt-dev

if [[ $target == all ]]; then
  targets=()
  for f in fuzz/*/; do targets+=("$(basename "$f")"); done
else
  if [[ ! -d fuzz/$target ]]; then
    echo "no fuzz target '$target' (see fuzz/)" >&2
    exit 2
  fi
  targets=("$target")
fi

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMSEL_FUZZ=ON \
  -DTAMSEL_BUILD_TESTS=OFF -DTAMSEL_BUILD_BENCH=OFF -DTAMSEL_WITH_ODBC=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  echo "== fuzz $t for ${seconds}s"
  if ! "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -max_len=16384 -print_final_stats=1 \
    -artifact_prefix="$build/findings/$t/" "$@" "$build/corpus/$t" "fuzz/$t/regressions" \
    2>"$build/findings/$t.log"; then
    status=1
    echo "fuzz $t: FOUND A FAILURE (input in $build/findings/$t/)" >&2
    grep -E "ERROR|SUMMARY|==[0-9]+==" "$build/findings/$t.log" | head -20 >&2 || true
  fi
  grep -E "stat::number_of_executed_units|stat::new_units_added" "$build/findings/$t.log" || true
done
exit $status

#!/usr/bin/env bash
# Builds the tamsel tool and runs its demo on the embedded database (tamsel-demo.db here).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target tamsel_cli
exec build/tools/tamsel/tamsel demo "$@"

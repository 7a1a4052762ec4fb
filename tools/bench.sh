#!/usr/bin/env bash
# Builds the Windows configuration and prints Wastewatch's figures (bin walk, shell bin query, monitor
# CPU per cycle, unload latency) for bins of 1,000 and 10,000 items. The program runs under Wine with
# a bin of its own (cmake/wine-run.sh), never the user's.
# Usage: tools/bench.sh [BUILD_TREE]   (default build/win32)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
qv_ensure_setup
tree=${1:-build/win32}
qv_configure win32 "$tree"
cmake --build "$tree" --target Wastewatch wastewatch_bench -j"$(nproc)" >/dev/null
trap './tools/wine-stop.sh "$tree"' EXIT
cmake/wine-run.sh "$tree/bin/wastewatch_bench.exe"

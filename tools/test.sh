#!/usr/bin/env bash
# Sets everything up, builds both configurations and runs every test: the platform-free rules
# natively under the sanitizers, a bounded fuzzing run, and the DLLs under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

. tools/common.sh
qv_ensure_setup

jobs=$(nproc)
qv_configure native
cmake --build --preset native -j"$jobs"
qv_configure win32
cmake --build --preset win32 -j"$jobs"

cleanup() { ./tools/wine-stop.sh build/win32 || true; }
trap cleanup EXIT

status=0
echo "== native unit tests (ASan + UBSan) =="
ctest --preset native -j"$jobs" || status=1
echo "== Windows tests under Wine =="
rm -rf build/win32/artifacts/qvcheck
ctest --preset win32 -j"$jobs" || status=1
# The validator's report on each of our plug-ins, as the Windows tests left it.
for table in build/win32/artifacts/qvcheck/*.txt; do
  [ -f "$table" ] || continue
  echo "== qvcheck $(basename "$table" .txt).dll =="
  cat "$table"
done
exit $status

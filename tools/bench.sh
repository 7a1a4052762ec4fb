#!/usr/bin/env bash
# Builds the Windows configuration and prints Wastewatch's figures for bins of 1,000 and 10,000 items:
# CPU per cycle of an unchanged bin (monitor thread and Wine server), a changed bin's measurement
# against the shell's own query, change-to-report latency, QVCommand's return time, and the last
# QVUninit's and the unload's latency, the properties dialog's open time; then the CPU per cycle where no bin folder can be found. The
# program runs under Wine with a bin of its own (cmake/wine-run.sh), never the user's.
# Usage: tools/bench.sh [BUILD_TREE]   (default build/win32)
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
qv_ensure_setup
tree=${1:-build/win32}
qv_configure win32 "$tree"
cmake --build "$tree" --target Wastewatch wastewatch_bench -j"$(nproc)" >/dev/null
trap './tools/wine-stop.sh "$tree"' EXIT

# The Wine server of this tree's prefix, whose CPU time the program reads: started now (a first run
# creates the prefix), and found by its working folder, "server-<device>-<inode>" of the prefix.
prefix="$tree/wine/prefix"
[ -d "$prefix" ] || cmake/wine-run.sh "$tree/bin/wastewatch_bench.exe" --help >/dev/null 2>&1 || true
WINEPREFIX="$(cd "$prefix" && pwd)" wineserver -p60 </dev/null >/dev/null 2>&1 || true
server_dir=$(printf 'server-%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")
QV_WINESERVER_PID=
for proc in /proc/[0-9]*; do
  case "$(cat "$proc/comm" 2>/dev/null)" in wineserver*) ;; *) continue ;; esac
  cwd=$(readlink "$proc/cwd" 2>/dev/null) || continue
  if [ "${cwd##*/}" = "$server_dir" ]; then QV_WINESERVER_PID=${proc#/proc/}; fi
done
export QV_WINESERVER_PID
echo "Wine server: ${QV_WINESERVER_PID:-not found}"

QV_BIN_DRIVES=1 cmake/wine-run.sh "$tree/bin/wastewatch_bench.exe"
echo "without a bin folder to watch (every cycle measures):"
cmake/wine-run.sh "$tree/bin/wastewatch_bench.exe" fallback

#!/usr/bin/env bash
# Runs the validator under Wine on one plug-in and keeps its report: the table it prints goes to
# OUT.txt (and to this run's output), its JSON report to OUT.json. Exits with the validator's code.
# Usage: run_qvcheck.sh WINE_RUN QVCHECK.exe OUT [OPTIONS...] PLUGIN.dll
set -uo pipefail
wine_run=$1 qvcheck=$2 out=$3
shift 3
mkdir -p "$(dirname "$out")"
rm -f "$out.txt" "$out.json"
# Wine's drive Z: is the Linux root.
json="Z:$(printf '%s' "$out.json" | tr / '\\')"
"$wine_run" "$qvcheck" --json "$json" "$@" >"$out.txt" 2>&1
status=$?
cat "$out.txt"
exit $status

#!/usr/bin/env bash
# Stops the Wine server and the Xvfb that runs of a build tree left running for later runs.
tree=${1:?usage: wine-stop.sh BUILD_TREE}
state="$tree/wine"
[ -d "$state" ] || exit 0
WINEPREFIX="$state/prefix" wineserver -k >/dev/null 2>&1 || true
if [ -f "$state/xvfb.pid" ]; then
  kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
  rm -f "$state/xvfb.pid"
fi

#!/usr/bin/env bash
# Sets everything up, builds the plug-ins and runs the reference host on a virtual display: it binds
# Ctrl+F10 to an object window through Hotrelay2, presses it, and prints what the window received.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -eq 0 ]; then ./tools/setup.sh; else sudo ./tools/setup.sh; fi
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)" --target reference_host Hotrelay2
trap './tools/wine-stop.sh build/win32' EXIT
./cmake/wine-run.sh build/win32/bin/reference_host.exe "$@"

#!/usr/bin/env bash
# Sets everything up, builds the plug-ins and runs the reference host on a virtual display: it binds
# Ctrl+F10 to an object window through Hotrelay2, presses it, and prints what the window received.
# The click activates the object, whose parameter 1 relays to the sample plug-in RelayTarget.dll.
# Arguments replace the default object parameters (see host/reference_host.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
qv_ensure_setup
qv_configure win32
cmake --build --preset win32 -j"$(nproc)" --target reference_host Hotrelay2 RelayTarget
trap './tools/wine-stop.sh build/win32' EXIT
if [ $# -eq 0 ]; then set -- --plugin RelayTarget.dll --param1 'RelayTarget.dll(Press)' --param2 7; fi
./cmake/wine-run.sh build/win32/bin/reference_host.exe "$@"

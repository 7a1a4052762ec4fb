#!/usr/bin/env bash
# Sets everything up, builds the plug-ins and the reference host, and runs the host's scripted tour on
# the build tree's own virtual display, Wine prefix and recycle bin: it binds Ctrl+F10 through
# Hotrelay2's dialog, clicks calculator buttons, fills the bin past Wastewatch's limits, empties it,
# reopens the host on the same records file, prints the event log and writes build/win32/artifacts/host_tour.png.
#   --interactive [HOST ARGS...]  the host on your own display ($DISPLAY), still with the build tree's
#                                 own Wine prefix and a fresh, private recycle bin
#   --package                     builds the release zip (CPack) into build/win32/
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh
qv_ensure_setup
qv_configure win32
cmake --build --preset win32 -j"$(nproc)" --target reference_host Hotrelay2 RelayTarget

case "${1:-}" in
  --package)
    (cd build/win32 && cpack -G ZIP)
    ;;
  --interactive)
    shift
    [ -n "${DISPLAY:-}" ] || { echo "run: --interactive needs a display of your own (DISPLAY is not set)" >&2; exit 2; }
    # The build tree's Wine server may be attached to its virtual display: start afresh on yours.
    ./tools/wine-stop.sh build/win32
    trap './tools/wine-stop.sh build/win32' EXIT
    mkdir -p build/win32/interactive
    QV_USE_DISPLAY=$DISPLAY ./cmake/wine-run.sh build/win32/bin/reference_host.exe \
      --records build/win32/interactive/host.records "$@"
    ;;
  *)
    trap './tools/wine-stop.sh build/win32' EXIT
    mkdir -p build/win32/tour build/win32/artifacts
    rm -f build/win32/tour/tour.records  # the tour starts from every plug-in's defaults
    ./cmake/wine-run.sh build/win32/bin/reference_host.exe --tour --records build/win32/tour/tour.records \
      --screenshot build/win32/artifacts/host_tour.png
    ;;
esac

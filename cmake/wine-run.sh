#!/usr/bin/env bash
# Runs one Windows program of this build tree under Wine, isolated from the user's own set-up:
#  - the Wine prefix is this build tree's own (created once, then reused);
#  - the X display is this build tree's own Xvfb (keyboard input and windows never reach a real screen),
#    unless QV_USE_DISPLAY names a display to use instead;
#  - the recycle bin is a fresh, empty XDG trash for this run only, removed afterwards;
#  - with QV_BIN_DRIVES=1 the run's trash is also where a Windows program looks for the bin: drive Q:
#    holds "$Recycle.Bin\S-1-5-21-0-0-0-1000" (Wine's user) for the trash's files, drive R: the same for
#    its info. Such runs take turns; in any other run those bin folders do not exist.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]
set -euo pipefail

program=$1
shift

# The build tree is the nearest folder above the program that holds CMakeCache.txt.
tree=$(cd "$(dirname "$program")" && pwd)
while [ "$tree" != / ] && [ ! -f "$tree/CMakeCache.txt" ]; do tree=$(dirname "$tree"); done
[ -f "$tree/CMakeCache.txt" ] || { echo "wine-run: $program is not inside a build tree" >&2; exit 2; }

state="$tree/wine"
mkdir -p "$state/runs"
export WINEPREFIX="$state/prefix"
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko install prompts, and no desktop menu entries written anywhere.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# One Xvfb per build tree, started on first use and reused by later runs.
ensure_display() {
  # QV_USE_DISPLAY: a display of the user's own, for running the host interactively.
  if [ -n "${QV_USE_DISPLAY:-}" ]; then
    DISPLAY=$QV_USE_DISPLAY
    return
  fi
  local pidfile="$state/xvfb.pid" dispfile="$state/xvfb.display"
  if [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null && [ -f "$dispfile" ]; then
    DISPLAY=":$(cat "$dispfile")"
    return
  fi
  local fifo="$state/xvfb.fd"
  rm -f "$fifo"
  mkfifo "$fifo"
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" 9>&- </dev/null >/dev/null 2>&1 &
  echo $! >"$pidfile"
  local number
  read -r -t 20 number <"$fifo" || { echo "wine-run: Xvfb did not start" >&2; exit 2; }
  rm -f "$fifo"
  echo "$number" >"$dispfile"
  DISPLAY=":$number"
}

(
  flock 9
  ensure_display
  echo "$DISPLAY" >"$state/display.now"
  if [ ! -f "$state/prefix.ready" ]; then
    export DISPLAY
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 9>&-
    # Without a window manager Wine waits about 2 s whenever a dialog closes; unmanaged windows do not.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 9>&-
    # A crashing test must fail, not wait for someone to close a crash dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 9>&-
    wineserver -w 9>&-
    touch "$state/prefix.ready"
  fi
  # Drives Q: and R: with a Windows-style bin folder each, leading through the stable link
  # "$state/bin-now", which a run with QV_BIN_DRIVES=1 points at its own trash (and nothing else does:
  # otherwise it leads nowhere and the bin folders do not exist). Wine reads drive letters when its
  # server starts, so a prefix made before they existed waits for its server to end first.
  if [ ! -f "$state/bin-drives.ready" ]; then
    for part in files info; do
      mkdir -p "$state/bin-drives/$part/\$Recycle.Bin"
      ln -sfn "$state/bin-now/$part" "$state/bin-drives/$part/\$Recycle.Bin/S-1-5-21-0-0-0-1000"
    done
    ln -sfn "$state/bin-idle" "$state/bin-now"
    ln -sfn "$state/bin-drives/files" "$WINEPREFIX/dosdevices/q:"
    ln -sfn "$state/bin-drives/info" "$WINEPREFIX/dosdevices/r:"
    wineserver -w 9>&- || true
    touch "$state/bin-drives.ready"
  fi
) 9>"$state/lock"
export DISPLAY
DISPLAY=$(cat "$state/display.now")

# Keep the server alive for a minute after each run, so a later start costs a fraction of a second.
# (The number must be attached: a bare -p keeps it alive for good.)
wineserver -p60 >/dev/null 2>&1 </dev/null || true

run=$(mktemp -d "$state/runs/XXXXXX")
trap 'rm -rf "$run"' EXIT
mkdir -p "$run/Trash/files" "$run/Trash/info"
if [ "${QV_BIN_DRIVES:-0}" = 1 ]; then
  exec 8>"$state/bin-drives.lock"
  flock 8
  ln -sfn "$run/Trash" "$state/bin-now"
  trap 'ln -sfn "$state/bin-idle" "$state/bin-now"; rm -rf "$run"' EXIT
fi
# How this machine runs Wine's i386 side, for programs that print figures: under emulation absolute
# times are not comparable with a native run's.
handler=/proc/sys/fs/binfmt_misc/qemu-i386
if grep -qx enabled "$handler" 2>/dev/null; then
  # QEMU's user mode answers QEMU_VERSION itself, whatever program it was asked to run.
  QV_I386_RUNNER="emulated by $(QEMU_VERSION=1 /usr/lib/wine/wine 2>/dev/null | sed -n 1p)"
elif [ -e /proc/sys/fs/binfmt_misc/register ]; then
  QV_I386_RUNNER=native
else
  QV_I386_RUNNER="native as far as can be seen (binfmt_misc is not mounted here)"
fi
export QV_I386_RUNNER
export XDG_DATA_HOME="$run"
export WINE_HOST_XDG_DATA_HOME="$run"
export QV_TRASH_DIR="$run/Trash"

# Wine's own background processes (services, the desktop) start with the first program and outlive
# it; they must not inherit the caller's output pipe, or whoever reads it waits for them. So the
# program writes to a file, and the file is passed on when it ends.
status=0
wine "$program" "$@" >"$run/output" 2>&1 </dev/null 8>&- || status=$?
cat "$run/output"
# QEMU's user-mode emulation of i386 now and then dies together with a program, mostly as the program
# exits after it has done its work: "qemu: uncaught target signal 11". Wine handles every fault of the
# programs it runs, so that line is the emulator's own failure, not the program's. Such a run is made
# once more, on an empty bin again, and says so; any other failure stands.
if [ $status -ne 0 ] && grep -q '^qemu: uncaught target signal' "$run/output"; then
  echo "wine-run: the i386 emulator died with $(basename "$program") (exit $status): running it once more"
  rm -rf "$run/Trash"
  mkdir -p "$run/Trash/files" "$run/Trash/info"
  status=0
  wine "$program" "$@" >"$run/output" 2>&1 </dev/null 8>&- || status=$?
  cat "$run/output"
fi
# A program that passed its own checks can still end with a failing status (a fault while it exits);
# the status says which.
[ $status -eq 0 ] || echo "wine-run: $(basename "$program") exited with status $status"
exit $status

#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 x86_64 machine, as root.
# Quiet and quick when everything is present; stops with a clear message when a package cannot be had.
# Usage: tools/setup.sh           install whatever is missing (needs root only when something is)
#        tools/setup.sh --check   only say what is missing: exit 1 if anything is, 0 if nothing
set -euo pipefail

# Every program the build, the tests and the scripts call, with the package that brings it.
need_cmds=(
  "cmake:cmake"
  "make:make"
  "g++:g++"
  "i686-w64-mingw32-gcc-win32:gcc-mingw-w64-i686-win32"
  "i686-w64-mingw32-g++-win32:g++-mingw-w64-i686-win32"
  "i686-w64-mingw32-windres:binutils-mingw-w64-i686"
  "i686-w64-mingw32-objdump:binutils-mingw-w64-i686"
  "i686-w64-mingw32-objcopy:binutils-mingw-w64-i686"
  "wine:wine"
  "wineserver:wine"
  "Xvfb:xvfb"
  "xauth:xauth"
  "clang++:clang"
  "flock:util-linux"
  "setsid:util-linux"
)
need_files=(
  "/usr/src/googletest/CMakeLists.txt:googletest"
  "/usr/lib/wine/wine:wine32:i386"
  "/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll:libwine:i386"
)

missing=()
find_missing() {
  missing=()
  local pair
  for pair in "${need_cmds[@]}"; do
    command -v "${pair%%:*}" >/dev/null 2>&1 || missing+=("${pair#*:}")
  done
  for pair in "${need_files[@]}"; do
    [ -e "${pair%%:*}" ] || missing+=("${pair#*:}")
  done
  # clang's fuzzing runtime, wherever this clang keeps its runtime libraries.
  local runtime_dir
  runtime_dir=$(clang++ --print-runtime-dir 2>/dev/null || true)
  [ -n "$runtime_dir" ] && [ -e "$runtime_dir/libclang_rt.fuzzer-x86_64.a" ] || missing+=("libclang-rt-dev")
  # One package may bring several programs: name it once.
  if [ ${#missing[@]} -ne 0 ]; then
    mapfile -t missing < <(printf '%s\n' "${missing[@]}" | awk '!seen[$0]++')
  fi
}

find_missing
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "${1:-}" = "--check" ]; then
  echo "setup: missing: ${missing[*]}" >&2
  exit 1
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp /tmp/setup-apt.XXXXXX.log)
if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  echo "setup: apt-get could not install: ${missing[*]} (log: $log)" >&2
  tail -n 20 "$log" >&2
  exit 1
fi

find_missing
if [ ${#missing[@]} -ne 0 ]; then
  echo "setup: still missing after install: ${missing[*]}" >&2
  exit 1
fi
echo "setup: done"

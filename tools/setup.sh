#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 or 13 x86_64 machine, as root.
# Quiet and quick when everything is present; stops with a clear message when something cannot be had.
# Usage: tools/setup.sh           install whatever is missing (needs root only when something is)
#        tools/setup.sh --check   only say what is missing: exit 1 if anything is, 0 if nothing
#
# Where the kernel refuses 32-bit programs, tools/setup-i386-emulation.sh makes Wine's i386 side run
# under QEMU's user-mode emulator instead.
set -euo pipefail
# shellcheck source=tools/setup-i386-emulation.sh
. "$(dirname "${BASH_SOURCE[0]}")/setup-i386-emulation.sh"

# Every program the build, the tests and the scripts call, with the package that brings it.
need_cmds=(
  "cmake:cmake"
  "make:make"
  "g++:g++"
  "i686-w64-mingw32-gcc-win32:gcc-mingw-w64-i686-win32"
  "i686-w64-mingw32-g++-win32:g++-mingw-w64-i686-win32"
  "i686-w64-mingw32-windres:binutils-mingw-w64-i686"
  "i686-w64-mingw32-objdump:binutils-mingw-w64-i686"
  "wine:wine"
  "wineserver:wine"
  "Xvfb:xvfb"
  "xauth:xauth"
  "clang++:clang"
  "clang-format:clang-format"
  "clang-tidy:clang-tidy"
  "flock:util-linux"
  "setsid:util-linux"
)
need_files=(
  "/usr/src/googletest/CMakeLists.txt:googletest"
  "/usr/lib/wine/wine:wine32:i386"
  "/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll:libwine:i386"
)

# clang's fuzzing runtime, wherever this clang keeps it: linking a fuzz target is the proof.
fuzzer_links() {
  local out
  out=$(mktemp -d)
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n' >"$out/f.cpp"
  clang++ -fsanitize=fuzzer "$out/f.cpp" -o "$out/f" >/dev/null 2>&1
  local status=$?
  rm -rf "$out"
  return $status
}

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
  command -v clang++ >/dev/null 2>&1 && ! fuzzer_links && missing+=("libclang-rt-dev")
  i386_find_missing
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
  echo "setup: these are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
log=$(mktemp /tmp/setup-apt.XXXXXX.log)
apt_failed() {
  echo "setup: apt-get could not install: $* (log: $log)" >&2
  tail -n 20 "$log" >&2
  exit 1
}
updated=0
apt_update() { [ $updated = 1 ] || apt-get update -qq >>"$log" 2>&1 || apt_failed "the package lists"; updated=1; }

# Two rounds: whether i386 programs need emulating is known only once Wine's i386 part is installed.
for _round in 1 2; do
  packages=()
  for item in "${missing[@]}"; do
    i386_step "$item" || packages+=("$item")
  done
  if [ ${#packages[@]} -ne 0 ]; then
    echo "setup: installing ${packages[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
      updated=0
    fi
    apt_update
    apt-get install -y -qq --no-install-recommends "${packages[@]}" >>"$log" 2>&1 || apt_failed "${packages[*]}"
  fi
  i386_set_up
  find_missing
  [ ${#missing[@]} -eq 0 ] && break
done

if [ ${#missing[@]} -ne 0 ]; then
  echo "setup: still missing after install: ${missing[*]}" >&2
  exit 1
fi
i386_confirm
echo "setup: done"

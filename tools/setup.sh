#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 x86_64 machine, as root.
# Quiet and quick when everything is present; stops with a clear message when a package cannot be had.
set -euo pipefail

need_cmds=(
  "cmake:cmake"
  "g++:g++"
  "i686-w64-mingw32-g++-posix:g++-mingw-w64-i686-posix"
  "i686-w64-mingw32-windres:binutils-mingw-w64-i686"
  "wine:wine"
  "Xvfb:xvfb"
  "xauth:xauth"
  "clang++:clang"
)
need_files=(
  "/usr/src/googletest/CMakeLists.txt:googletest"
  "/usr/lib/wine/wine:wine32:i386"
  "/usr/lib/i386-linux-gnu/wine/i386-windows/kernel32.dll:libwine:i386"
  "/usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-14-dev"
)

missing=()
for pair in "${need_cmds[@]}"; do
  command -v "${pair%%:*}" >/dev/null 2>&1 || missing+=("${pair#*:}")
done
for pair in "${need_files[@]}"; do
  [ -e "${pair%%:*}" ] || missing+=("${pair#*:}")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
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
apt-get update -qq
if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/setup-apt.log 2>&1; then
  echo "setup: apt-get could not install: ${missing[*]} (log: /tmp/setup-apt.log)" >&2
  tail -n 20 /tmp/setup-apt.log >&2
  exit 1
fi

still=()
for pair in "${need_cmds[@]}"; do
  command -v "${pair%%:*}" >/dev/null 2>&1 || still+=("${pair#*:}")
done
for pair in "${need_files[@]}"; do
  [ -e "${pair%%:*}" ] || still+=("${pair#*:}")
done
if [ ${#still[@]} -ne 0 ]; then
  echo "setup: still missing after install: ${still[*]}" >&2
  exit 1
fi
echo "setup: done"

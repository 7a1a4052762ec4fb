#!/usr/bin/env bash
# The set-up scripts as a new user meets them, on this machine (which has everything installed):
#  1. with everything present, the README's commands need no root: the set-up step asks nobody for a
#     password and calls no package tool (run as an unprivileged user where this runs as root);
#  2. without a build program, the set-up names the package that brings one;
#  3. a build tree left by a configure that failed for want of a build program configures later.
# Usage: fresh_machine_test.sh SOURCE_DIR SCRATCH_DIR
set -uo pipefail
source_dir=$(cd "$1" && pwd)
scratch=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$scratch"
mkdir -p "$scratch/no-make"

# 1. Nothing missing: no root needed. The scripts, and package tools and a sudo that only leave a
# note (any call would mean a password prompt or an install), go where an unprivileged user can read.
shared=$(mktemp -d /tmp/qv-setup-XXXXXX)
mkdir "$shared/tools" "$shared/stubs"
cp "$source_dir/tools/setup.sh" "$source_dir/tools/setup-i386-emulation.sh" "$source_dir/tools/common.sh" "$shared/tools/"
touch "$shared/called"
for tool in sudo apt-get apt dpkg; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/called"\nexit 1\n' "$tool" "$shared" >"$shared/stubs/$tool"
done
chmod -R a+rX "$shared/tools" "$shared/stubs" && chmod 755 "$shared" "$shared"/stubs/* && chmod 666 "$shared/called"
as_user=()
if [ "$(id -u)" -eq 0 ]; then as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups); fi
if ! (cd "$shared" && "${as_user[@]}" env PATH="$shared/stubs:$PATH" \
      bash -c 'set -e; . tools/common.sh; qv_ensure_setup' >"$scratch/ensure.log" 2>&1); then
  fail "the set-up step failed on a machine that has everything:"; cat "$scratch/ensure.log"
fi
[ -s "$shared/called" ] && fail "the set-up step called: $(tr '\n' ';' <"$shared/called")"
rm -rf "$shared"

# 2. No build program: the set-up names one.
for program in /usr/bin/* /bin/*; do
  case ${program##*/} in make | gmake | ninja | ninja-build) ;; *) ln -sf "$program" "$scratch/no-make/" ;; esac
done
if (cd "$source_dir" && env PATH="$scratch/no-make" ./tools/setup.sh --check >"$scratch/check.log" 2>&1); then
  fail "setup --check found nothing missing without make"
fi
grep -qw make "$scratch/check.log" || fail "setup --check did not name make: $(cat "$scratch/check.log")"

# 3. A configure that failed without a build program, then one with it.
tree="$scratch/tree"
(cd "$source_dir" && env PATH="$scratch/no-make" cmake --preset native -B "$tree" >"$scratch/failed.log" 2>&1) &&
  fail "configuring without make succeeded: the scenario did not happen"
[ -f "$tree/CMakeCache.txt" ] || fail "the failed configure left no cache: the scenario did not happen"
if ! (cd "$source_dir" && bash -c 'set -e; . tools/common.sh; qv_configure native "$0"' "$tree" >"$scratch/configure.log" 2>&1); then
  fail "configuring over the failed tree failed:"; cat "$scratch/configure.log"
fi
[ -f "$tree/Makefile" ] || fail "no Makefile after configuring over the failed tree"

# 4. Wine's i386 side under emulation, with binfmt_misc and the emulator replaced by stand-ins.
for version in 7.2.0 10.0.2; do
  printf '#!/bin/sh\necho "qemu-i386 version %s (stand-in)"\n' "$version" >"$scratch/qemu-$version"
  chmod +x "$scratch/qemu-$version"
done
emulate() {  # emulate BINFMT_DIR EMULATOR SETUP-ARGS...
  local dir=$1 emulator=$2
  shift 2
  (cd "$source_dir" && QV_EMULATE_I386=1 QV_BINFMT_DIR="$dir" QV_I386_EMULATOR="$emulator" ./tools/setup.sh "$@" 2>&1)
}
mkdir -p "$scratch/binfmt-empty"
out=$(emulate "$scratch/binfmt-empty" "$scratch/no-such-qemu" --check) && fail "--check found nothing missing without an emulator"
case $out in *qemu-user-static*binfmt_misc:qemu-i386*) ;; *) fail "--check did not name the emulator and its registration: $out" ;; esac
out=$(emulate "$scratch/binfmt-empty" "$scratch/qemu-10.0.2" --check) && fail "--check found nothing missing without a handler"
case $out in *qemu-user-static*) fail "--check asked for an emulator that is there: $out" ;; *binfmt_misc:qemu-i386*) ;;
  *) fail "--check did not name the registration: $out" ;; esac

# A handler of that name that runs Wine's loader under QEMU 7.2 (a loader that answers as that QEMU
# stands in) is reported with the way to remove it, and left alone.
mkdir -p "$scratch/binfmt-old"
printf 'enabled\ninterpreter %s\nflags: F\n' "$scratch/qemu-7.2.0" >"$scratch/binfmt-old/qemu-i386"
# shellcheck disable=SC2016 # expanded by the stand-in, not here
printf '#!/bin/sh\n[ -z "$QEMU_VERSION" ] || echo "qemu-i386 version 7.2.0 (stand-in)"\n' >"$scratch/wine-on-qemu-7"
chmod +x "$scratch/wine-on-qemu-7"
cp "$scratch/binfmt-old/qemu-i386" "$scratch/handler-before"
out=$(QV_WINE_LOADER="$scratch/wine-on-qemu-7" emulate "$scratch/binfmt-old" "$scratch/qemu-10.0.2") &&
  fail "set-up accepted a handler of QEMU 7.2"
case $out in *"does not run Wine"*"echo -1 >"*) ;; *) fail "the old handler was not reported with its fix: $out" ;; esac
cmp -s "$scratch/handler-before" "$scratch/binfmt-old/qemu-i386" || fail "the old handler was touched"

# A refused registration, or a binfmt_misc that cannot be mounted, stops set-up with its cause (as root,
# where nothing else is left to install).
if [ "$(id -u)" -eq 0 ] && [ -x /usr/lib/wine/wineserver64 ]; then
  mkdir -p "$scratch/binfmt-refusing/register"
  out=$(emulate "$scratch/binfmt-refusing" "$scratch/qemu-10.0.2") && fail "set-up went on after a refused registration"
  case $out in *"refused to register"*) ;; *) fail "the refused registration was not explained: $out" ;; esac
  mkdir -p "$scratch/binfmt-unmounted" "$scratch/mount-refusing"
  printf '#!/bin/sh\necho "mount: permission denied (stand-in)" >&2\nexit 32\n' >"$scratch/mount-refusing/mount"
  chmod +x "$scratch/mount-refusing/mount"
  out=$(PATH="$scratch/mount-refusing:$PATH" emulate "$scratch/binfmt-unmounted" "$scratch/qemu-10.0.2") &&
    fail "set-up went on without binfmt_misc"
  case $out in *"cannot mount binfmt_misc"*) ;; *) fail "the unmountable binfmt_misc was not explained: $out" ;; esac
fi

[ $failures -eq 0 ] && rm -rf "$scratch" && echo "fresh-machine set-up: all checks passed"
exit $((failures != 0))

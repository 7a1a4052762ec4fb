#!/usr/bin/env bash
# Proves the README's two commands on a fresh, minimal Debian 12: builds a `debootstrap --variant=minbase
# bookworm` chroot, puts a clean `git archive` export of the checked-out commit in it, and runs
# ./tools/run.sh and then ./tools/test.sh there as root, each once, timing them. Takes a good while
# (downloads and installs the whole toolchain); not part of the test suite.
# Usage (as root): tools/prove-fresh-machine.sh [WORK_DIR]   (default /tmp/qv-fresh-machine; replaced)
# The chroot is left in WORK_DIR/root for inspection; its mounts are undone on exit.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "prove-fresh-machine: run as root" >&2; exit 2; }
work=${1:-/tmp/qv-fresh-machine}
root="$work/root"
mirror=${QV_DEBIAN_MIRROR:-http://deb.debian.org/debian}

if ! command -v debootstrap >/dev/null 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

mounted=()
undo_mounts() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
}
trap undo_mounts EXIT

# Anything mounted below an earlier work folder goes first, or removing it would reach the host's /dev.
if [ -d "$root" ]; then
  for point in dev/shm dev/pts dev sys proc; do umount -l "$root/$point" 2>/dev/null || true; done
fi
rm -rf --one-file-system "$work"
mkdir -p "$work"

start=$(date +%s)
echo "== debootstrap --variant=minbase bookworm ($mirror)"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -n 20 "$work/debootstrap.log" >&2; exit 1; }
echo "   $(( $(date +%s) - start )) s"

mkdir -p "$root/src"
git archive --format=tar HEAD | tar -x -C "$root/src"
echo "== source: $(git rev-parse --short HEAD) exported to $root/src"

cp /etc/resolv.conf "$root/etc/resolv.conf"
mount_into() {  # mount_into TARGET ARGS...
  local target="$root/$1"
  shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounted+=("$target")
}
mount_into proc -t proc proc
mount_into sys -t sysfs sysfs
mount_into dev --bind /dev
mount_into dev/pts -t devpts devpts -o newinstance,ptmxmode=0666
mount_into dev/shm -t tmpfs shm

status=0
for command in ./tools/run.sh ./tools/test.sh; do
  echo "== $command"
  step=$(date +%s)
  if chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb LANG=C.UTF-8 \
       /bin/bash -c "cd /src && $command" >"$work/${command##*/}.log" 2>&1; then
    result=passed
  else
    result="FAILED (exit $?)"
    status=1
  fi
  echo "   $result in $(( $(date +%s) - step )) s (log: $work/${command##*/}.log)"
  tail -n 12 "$work/${command##*/}.log" | sed 's/^/   | /'
done
echo "== total $(( $(date +%s) - start )) s: $([ $status -eq 0 ] && echo passed || echo FAILED)"
exit $status

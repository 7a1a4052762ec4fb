#!/usr/bin/env bash
# Proves the README's two commands on a fresh, minimal Debian: builds a `debootstrap --variant=minbase`
# chroot of the release, puts a clean `git archive` export of the checked-out commit in it, and runs
# ./tools/run.sh and then ./tools/test.sh there as root, each once, timing them. Takes a good while
# (downloads and installs the whole toolchain); not part of the test suite.
# Usage (as root): tools/prove-fresh-machine.sh [bookworm|trixie] [WORK_DIR]
#   default bookworm; WORK_DIR defaults to /tmp/qv-fresh-machine-RELEASE and is replaced.
#   QV_EMULATE_I386=1 is passed into the chroot, where set-up then runs i386 programs under QEMU even
#   if this kernel runs them itself.
# An i386 handler registered in binfmt_misc is kernel-wide and outlives a chroot: any such handler is
# removed before the chroot is made, so that set-up's own registration is what is proven, and the
# machine's handlers are put back as they were afterwards. The chroot is left in WORK_DIR/root for
# inspection; its mounts are undone on exit.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "prove-fresh-machine: run as root" >&2; exit 2; }
release=${1:-bookworm}
case $release in bookworm | trixie) ;; *) echo "prove-fresh-machine: release is bookworm or trixie" >&2; exit 2 ;; esac
work=${2:-/tmp/qv-fresh-machine-$release}
root="$work/root"
# The mirror this machine's apt sources already name for its own release (set-up takes backports from
# it the same way); QV_DEBIAN_MIRROR names another.
. tools/setup-i386-emulation.sh
mirror=${QV_DEBIAN_MIRROR:-$(configured_mirror "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")")}
[ -n "$mirror" ] || { echo "prove-fresh-machine: no Debian mirror found in /etc/apt; name one in QV_DEBIAN_MIRROR" >&2; exit 2; }

if ! command -v debootstrap >/dev/null 2>&1; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

binfmt=/proc/sys/fs/binfmt_misc
binfmt_mounted_here=0
saved_handlers=()

# The registration line that recreates a handler from what binfmt_misc shows of it.
registration_of() {
  local name=${1##*/} interp flags offset magic mask
  interp=$(sed -n 's/^interpreter //p' "$1")
  flags=$(sed -n 's/^flags: //p' "$1")
  offset=$(sed -n 's/^offset //p' "$1")
  magic=$(sed -n 's/^magic //p' "$1" | sed 's/../\\x&/g')
  mask=$(sed -n 's/^mask //p' "$1" | sed 's/../\\x&/g')
  printf ':%s:M:%s:%s:%s:%s:%s' "$name" "$offset" "$magic" "$mask" "$interp" "$flags"
}

# Handlers that match i386 ELF programs (magic 7f454c46 01 ... machine 03 00).
i386_handlers() {
  local entry
  for entry in "$binfmt"/*; do
    case ${entry##*/} in register | status) continue ;; esac
    grep -q '^magic 7f454c4601.*0300' "$entry" 2>/dev/null && echo "$entry"
  done
}

set_aside_handlers() {
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null && binfmt_mounted_here=1 || return 0
  fi
  local entry
  for entry in $(i386_handlers); do
    saved_handlers+=("$(registration_of "$entry")")
    echo "== set aside i386 handler ${entry##*/} ($(sed -n 's/^interpreter //p' "$entry"))"
    echo -1 >"$entry"
  done
}

restore_handlers() {
  [ -e "$binfmt/register" ] || return 0
  local entry line
  for entry in $(i386_handlers); do echo -1 >"$entry"; done
  for line in "${saved_handlers[@]}"; do printf '%s' "$line" >"$binfmt/register" || echo "could not restore: $line" >&2; done
  [ $binfmt_mounted_here = 1 ] && umount "$binfmt" 2>/dev/null || true
}

mounted=()
undo_mounts() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  restore_handlers
}
trap undo_mounts EXIT

# Anything mounted below an earlier work folder goes first, or removing it would reach the host's /dev.
if [ -d "$root" ]; then
  for point in dev/shm dev/pts dev sys proc/sys/fs/binfmt_misc proc; do umount -l "$root/$point" 2>/dev/null || true; done
fi
rm -rf --one-file-system "$work"
mkdir -p "$work"

start=$(date +%s)
echo "== debootstrap --variant=minbase $release ($mirror)"
debootstrap --variant=minbase "$release" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
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

set_aside_handlers
status=0
for command in ./tools/run.sh ./tools/test.sh; do
  echo "== $command"
  step=$(date +%s)
  if chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb LANG=C.UTF-8 \
       QV_EMULATE_I386="${QV_EMULATE_I386:-0}" /bin/bash -c "cd /src && $command" >"$work/${command##*/}.log" 2>&1; then
    result=passed
  else
    result="FAILED (exit $?)"
    status=1
  fi
  echo "   $result in $(( $(date +%s) - step )) s (log: $work/${command##*/}.log)"
  tail -n 12 "$work/${command##*/}.log" | sed 's/^/   | /'
done
[ -e "$binfmt/qemu-i386" ] && echo "== i386 programs ran under $(sed -n 's/^interpreter //p' "$binfmt/qemu-i386")"
echo "== total $(( $(date +%s) - start )) s: $([ $status -eq 0 ] && echo passed || echo FAILED)"
exit $status

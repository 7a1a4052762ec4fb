# shellcheck shell=bash
# Sourced by tools/setup.sh: the part of set-up that runs Wine's i386 side where the kernel refuses
# 32-bit programs. There it makes them run under QEMU's user-mode emulator instead: it installs
# qemu-user-static 10 or later (on Debian 12 from bookworm-backports, that package alone), mounts
# binfmt_misc if needed, registers the emulator for i386 programs under the name qemu-i386 (until the
# next reboot), and installs wine64 so that the Wine server runs natively. A machine that runs i386
# programs itself is left as it is.
#   QV_EMULATE_I386=1   take the emulated path even where the kernel runs i386 programs (the handler is
#                       consulted before the kernel's own loader); undo with
#                       echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386
# What it needs goes on setup.sh's list `missing`; it installs through setup.sh's apt_update, apt_failed
# and log.

# These paths can be pointed elsewhere by the set-up's own tests.
wine_loader=${QV_WINE_LOADER:-/usr/lib/wine/wine}
binfmt=${QV_BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
emulator=${QV_I386_EMULATOR:-/usr/bin/qemu-i386-static}
handler=$binfmt/qemu-i386
min_qemu=10
# QEMU's own binfmt entry for i386 ELF programs, with F: the emulator is opened now, so that the
# handler also works inside chroots and containers.
registration=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$emulator"':F'

wine_runs() { timeout 120 "$wine_loader" --version >/dev/null 2>&1; }
qemu_major() { { "$1" --version 2>/dev/null || true; } | sed -n '1s/.* version \([0-9]*\)\..*/\1/p'; }
handler_interpreter() { sed -n 's/^interpreter //p' "$handler" 2>/dev/null; }
# The version of the emulator that actually runs Wine's loader: QEMU's user mode answers QEMU_VERSION
# itself, even where the registered path is not visible (a handler registered with F from a chroot).
running_qemu_major() {
  { QEMU_VERSION=1 timeout 60 "$wine_loader" 2>/dev/null || true; } | sed -n '1s/^qemu-i386 version \([0-9]*\)\..*/\1/p'
}
handler_works() {
  local major
  grep -qx enabled "$handler" 2>/dev/null || return 1
  major=$(running_qemu_major)
  [ -n "$major" ] && [ "$major" -ge "$min_qemu" ] && wine_runs
}

# How Wine's i386 side runs here: "native", "emulated" (through a working handler), "needed" (nothing
# runs it yet), "broken" (a handler of that name is registered and does not run it) or "unknown"
# (Wine's i386 part is not installed yet).
i386_mode() {
  if [ ! -x "$wine_loader" ]; then echo unknown
  elif [ -e "$handler" ]; then
    if handler_works; then echo emulated; else echo broken; fi
  elif [ "${QV_EMULATE_I386:-0}" != 1 ] && wine_runs; then echo native
  else echo needed
  fi
}

broken_handler() {
  local interp version
  interp=$(handler_interpreter)
  version=$(running_qemu_major)
  [ -n "$version" ] || version=$(qemu_major "$interp")
  echo "setup: $handler is registered but does not run Wine's i386 side" \
       "(interpreter ${interp:-none}, QEMU version ${version:-unknown}, $(head -n 1 "$handler"));" \
       "it needs QEMU $min_qemu or later. Remove it (as root: echo -1 > $handler) and run set-up again." >&2
  exit 1
}

# Adds to `missing` what running Wine's i386 side still needs; stops on a handler that does not run it.
mode=unknown
i386_find_missing() {
  mode=$(i386_mode)
  case $mode in
    broken) broken_handler ;;
    needed)
      local major
      major=$(qemu_major "$emulator")
      [ -n "$major" ] && [ "$major" -ge "$min_qemu" ] || missing+=("qemu-user-static")
      missing+=("binfmt_misc:qemu-i386")
      ;&
    emulated)
      # Under emulation the server must be the native 64-bit one, or every call into it is emulated too.
      [ -x /usr/lib/wine/wineserver64 ] || missing+=("wine64")
      ;;
  esac
}

# Whether an entry of `missing` is a step of this part rather than a package to install.
i386_step() { case $1 in qemu-user-static | binfmt_misc:*) return 0 ;; *) return 1 ;; esac; }

# The mirror this machine already uses for its release's main archive (one-line or deb822 sources).
configured_mirror() {
  local codename=$1 file lists=() stanzas=()
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do [ -f "$file" ] && lists+=("$file"); done
  for file in /etc/apt/sources.list.d/*.sources; do [ -f "$file" ] && stanzas+=("$file"); done
  {
    [ ${#lists[@]} -eq 0 ] || sed -e 's/\[[^]]*\]//' "${lists[@]}" |
      awk -v c="$codename" '$1 == "deb" && $3 == c { print $2 }'
    [ ${#stanzas[@]} -eq 0 ] || cat "${stanzas[@]}" |
      awk -v c="$codename" 'BEGIN { RS = "" } {
        deb = 0; uri = ""; suite = 0
        n = split($0, lines, "\n")
        for (i = 1; i <= n; i++) {
          if (lines[i] ~ /^Types:.*(^|[ \t])deb([ \t]|$)/) deb = 1
          if (lines[i] ~ /^URIs:/) { split(lines[i], f, /[ \t]+/); uri = f[2] }
          if (lines[i] ~ /^Suites:/ && (" " lines[i] " ") ~ (" " c " ")) suite = 1
        }
        if (deb && suite && uri != "") print uri
      }'
  } | awk 'NR == 1'
}

# shellcheck disable=SC2154 # log is setup.sh's
install_emulator() {
  local codename major mirror
  # shellcheck source=/dev/null
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [ "$codename" = bookworm ]; then
    # Debian 12's own QEMU (7.2) cannot run Wine: take only this package from bookworm-backports.
    mirror=$(configured_mirror bookworm)
    [ -n "$mirror" ] || { echo "setup: no Debian mirror for bookworm found in /etc/apt to take bookworm-backports from" >&2; exit 1; }
    if ! grep -rqs "bookworm-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
      echo "deb $mirror bookworm-backports main" >/etc/apt/sources.list.d/qv-bookworm-backports.list
      # shellcheck disable=SC2034 # setup.sh's apt_update reads it
      updated=0
    fi
    apt_update
    apt-get install -y -qq --no-install-recommends qemu-user-static/bookworm-backports >>"$log" 2>&1 ||
      apt_failed "qemu-user-static from bookworm-backports"
  else
    apt_update
    apt-get install -y -qq --no-install-recommends qemu-user-static >>"$log" 2>&1 || apt_failed qemu-user-static
  fi
  major=$(qemu_major "$emulator")
  if [ -z "$major" ] || [ "$major" -lt "$min_qemu" ]; then
    echo "setup: $emulator is QEMU ${major:-(not found)}; Wine's i386 side needs QEMU $min_qemu or later" >&2
    exit 1
  fi
}

register_handler() {
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>>"$log" ||
      { echo "setup: cannot mount binfmt_misc on $binfmt (a container without that right, or a read-only /proc): i386 programs cannot be emulated here. Mount it on the host, or boot the kernel with ia32_emulation=on." >&2; exit 1; }
  fi
  printf '%s' "$registration" 2>>"$log" >"$binfmt/register" ||
    { echo "setup: the kernel refused to register $emulator for i386 programs (read-only $binfmt, or no right to write it). Register it on the host, or boot the kernel with ia32_emulation=on." >&2; exit 1; }
  echo "setup: registered $emulator for i386 programs as $handler (until reboot)"
}

# Carries out the steps of this part that `missing` names, once the packages are in.
i386_set_up() {
  if [[ " ${missing[*]} " == *" qemu-user-static "* ]]; then
    echo "setup: this machine does not run Wine's i386 side itself: installing QEMU's user-mode emulator"
    install_emulator
  fi
  if [[ " ${missing[*]} " == *" binfmt_misc:qemu-i386 "* ]]; then
    register_handler
  fi
}

# Runs the server the way the tests do and reports the program it became.
server_program() {
  local prefix pid exe=""
  prefix=$(mktemp -d)
  WINEPREFIX=$prefix wineserver -f -p5 </dev/null >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 50); do
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null || true)
    case $exe in *wineserver*) break ;; esac
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -rf "$prefix"
  echo "$exe"
}

# Under emulation, proves that the server runs natively and says what runs Wine's i386 side.
i386_confirm() {
  if [ "$mode" = emulated ]; then
    server=$(server_program)
    [ "${server##*/}" = wineserver64 ] ||
      { echo "setup: wineserver runs ${server:-nothing}, not the native /usr/lib/wine/wineserver64" >&2; exit 1; }
    echo "setup: Wine's i386 side runs under $(handler_interpreter) (QEMU $(running_qemu_major)), its server natively"
  fi
}

#!/usr/bin/env bash
# Runs clang-tidy with the checks named in .clang-tidy over the platform-free code: the folders the
# build registers (each plug-in's core, the host's and the validator's, the contract's headers), listed
# in the native tree's tidy_folders.txt. Each file is compiled as the native build compiles it (its
# compile_commands.json; the tree is configured first if it has either file missing), and headers are
# checked where they lie in those folders. Fails on any finding, and when the installed clang-tidy does
# not know a named check (it would skip it silently).
# Usage: tools/tidy.sh [FILE...]    default: every source file the native build compiles in those folders
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/common.sh

tidy=clang-tidy
command -v "$tidy" >/dev/null 2>&1 || { echo "tidy: $tidy not found (tools/setup.sh installs it)" >&2; exit 1; }
version=$("$tidy" --version | sed -n 's/.*LLVM version \([0-9][0-9.]*\).*/\1/p')

named=$(sed -n 's/^  \([a-z][a-z0-9.-]*\),\{0,1\}$/\1/p' .clang-tidy | sort)
known=$("$tidy" --list-checks --checks="-*,$(echo $named | tr ' ' ',')" | sed -n 's/^ \{1,\}\([a-z]\)/\1/p' | sort)
unknown=$(comm -23 <(echo "$named") <(echo "$known"))
if [ -n "$unknown" ]; then
  echo "tidy: clang-tidy $version does not know these checks named in .clang-tidy:" $unknown >&2
  exit 1
fi

tree=build/native
[ -f "$tree/compile_commands.json" ] && [ -f "$tree/tidy_folders.txt" ] || qv_configure native "$tree"
mapfile -t folders < <(grep . "$tree/tidy_folders.txt")
[ ${#folders[@]} -gt 0 ] || { echo "tidy: no folders registered in $tree/tidy_folders.txt" >&2; exit 1; }
any_folder="($(IFS='|'; echo "${folders[*]}"))"

if [ $# -eq 0 ]; then
  # The sources the native build compiles, those in a registered folder.
  mapfile -t files < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$tree/compile_commands.json" |
                       sed "s|^$PWD/||" | grep -E "^$any_folder/" | sort -u)
else
  files=("$@")
fi

# One clang-tidy per file, as many at once as there are cores; clang's "N warnings generated" lines
# (warnings of checks not enabled, in headers outside the filter) are noise here.
echo "tidy: clang-tidy $version, $(echo "$named" | wc -l) checks, ${#files[@]} files"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$(nproc)" "$tidy" --quiet -p "$tree" --header-filter="/$any_folder/" >"$out" 2>&1 || status=1
grep -v '^[0-9]* warnings\{0,1\}\( and [0-9]* errors\{0,1\}\)\{0,1\} generated\.$' "$out" || true
if [ $status -ne 0 ]; then
  echo "tidy: findings above (or files that did not compile)" >&2
  exit 1
fi
echo "tidy: no findings"

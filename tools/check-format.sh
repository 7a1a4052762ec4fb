#!/usr/bin/env bash
# Checks that the project's C and C++ files are laid out as .clang-format says, with clang-format 14
# (Debian 12's): other versions lay the same options out differently, so with any other version the
# check says which one it found and is skipped. Fails on any file clang-format would change.
# Usage: tools/check-format.sh [FILE...]    default: every C and C++ file of the repository
#        to reformat a file: clang-format -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format
wanted=14
command -v "$format" >/dev/null 2>&1 || { echo "format: $format not found (tools/setup.sh installs it)" >&2; exit 1; }
version=$("$format" --version | sed -n 's/.*clang-format version \([0-9][0-9.]*\).*/\1/p')
if [ "${version%%.*}" != "$wanted" ]; then
  echo "format: skipped: found clang-format ${version:-of unknown version}; the layout is checked with version $wanted"
  exit 0
fi

if [ $# -eq 0 ]; then
  # Every tracked source; a tree without git (an exported copy) takes the files of the same folders.
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' '*.hpp')
  else
    mapfile -t files < <(find . -path ./build -prune -o -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \
                                                             -o -name '*.hpp' \) -print | sed 's|^\./||' | sort)
  fi
else
  files=("$@")
fi

echo "format: clang-format $version, ${#files[@]} files"
unformatted=()
for file in "${files[@]}"; do
  "$format" --style=file --dry-run --Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done
if [ ${#unformatted[@]} -ne 0 ]; then
  echo "format: ${#unformatted[@]} files are not laid out as .clang-format says:" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  echo "format: see with: clang-format FILE | diff -u FILE -   fix with: clang-format -i FILE" >&2
  exit 1
fi
echo "format: every file is laid out as .clang-format says"

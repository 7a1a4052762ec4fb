#!/usr/bin/env bash
# Builds the release zip into a scratch folder and checks it: every file registered to ship is there,
# nothing else but the SHA-256 sums file, and the sums file lists and matches every shipped file.
# Usage: check_package.sh BUILD_TREE CONTENTS
# CONTENTS lists the registered files' names, one a line (written by CMake: package_contents.txt).
set -euo pipefail
tree=$1 contents=$2
[ -s "$contents" ] || { echo "FAIL: no list of shipped files $contents"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$tree" && cpack -G ZIP -B "$scratch/out" >"$scratch/cpack.log") || { cat "$scratch/cpack.log"; exit 1; }
zip=$(ls "$scratch"/out/*.zip)
mkdir "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "$zip")
folder=$(ls -d "$scratch"/unpacked/*/)
shipped=$(grep -c . "$contents")
expected=$( (grep . "$contents"; echo SHA256SUMS.txt) | sort | tr '\n' ' ' | sed 's/ $//')
actual=$(cd "$folder" && ls | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "package holds: $actual"
  echo "expected:      $expected"
  exit 1
fi
(cd "$folder" && sha256sum --strict -c SHA256SUMS.txt)
[ "$(wc -l <"$folder/SHA256SUMS.txt")" -eq "$shipped" ] || { echo "SHA256SUMS.txt does not list every file"; exit 1; }
echo "package $(basename "$zip"): $actual"

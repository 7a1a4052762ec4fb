#!/usr/bin/env bash
# Builds the release zip into a scratch folder and checks it: every shipped file is there, nothing
# else, and the SHA-256 sums file matches the files.
# Usage: check_package.sh BUILD_TREE
set -euo pipefail
tree=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$tree" && cpack -G ZIP -B "$scratch/out" >"$scratch/cpack.log") || { cat "$scratch/cpack.log"; exit 1; }
zip=$(ls "$scratch"/out/*.zip)
mkdir "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "$zip")
folder=$(ls -d "$scratch"/unpacked/*/)
expected="Calculator.dll Hotrelay2.dll RelayTarget.dll SHA256SUMS.txt USAGE.txt Wastewatch.dll default_desktop.ini qvcheck.exe
  reference_host.exe"
actual=$(cd "$folder" && ls | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$(echo $expected | tr ' ' '\n' | sort | tr '\n' ' ' | sed 's/ $//')" ]; then
  echo "package holds: $actual"
  echo "expected:      $expected"
  exit 1
fi
(cd "$folder" && sha256sum --strict -c SHA256SUMS.txt)
[ "$(wc -l <"$folder/SHA256SUMS.txt")" -eq $(($(echo $expected | wc -w) - 1)) ] || { echo "SHA256SUMS.txt does not list every file"; exit 1; }
echo "package $(basename "$zip"): $actual"

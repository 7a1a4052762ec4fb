#!/usr/bin/env bash
# Checks a plug-in DLL's export and import tables, and its size when a limit is given.
# Usage: check_dll_tables.sh OBJDUMP DLL "EXPORTED NAMES" "NAMES THAT MUST NOT BE EXPORTED" [MAX_BYTES]
# OBJDUMP is the cross toolchain's objdump. Every expected name must be exported undecorated (no @N
# suffix, no leading underscore), no other decorated name may leak out, the DLL may import only DLLs
# that come with Windows, and it may not be larger than MAX_BYTES.
set -u
objdump=$1 dll=$2 expected=$3 forbidden=$4 max_bytes=${5:-}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

table=$($objdump -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }
# The export name table: rows "[ordinal] name" after "[Ordinal/Name Pointer] Table" (newer binutils
# put "+base[ordinal] hint " before the name).
exports=$(printf '%s\n' "$table" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[\s*[0-9]*\] //p' |
          sed -E 's/^\+base\[\s*[0-9]+\]\s+[0-9a-fA-F]+\s+//')
imports=$(printf '%s\n' "$table" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')

for name in $expected; do
  printf '%s\n' "$exports" | grep -qx "$name" || fail "$name is not exported undecorated"
done
for name in $forbidden; do
  printf '%s\n' "$exports" | grep -qx "$name" && fail "$name must not be exported"
done
decorated=$(printf '%s\n' "$exports" | grep -E '@[0-9]+$|^_' || true)
[ -z "$decorated" ] || fail "decorated exports: $decorated"

system_dlls="kernel32.dll user32.dll gdi32.dll shell32.dll comctl32.dll ole32.dll advapi32.dll msvcrt.dll"
for dep in $imports; do
  case " $system_dlls " in *" $dep "*) ;; *) fail "imports non-system DLL $dep" ;; esac
done

size=$(stat -c %s "$dll")
if [ -n "$max_bytes" ] && [ "$size" -gt "$max_bytes" ]; then
  fail "$(basename "$dll") is $size bytes, more than $max_bytes"
fi

echo "exports of $(basename "$dll"):" $exports
echo "imports:" $imports
echo "size: $size bytes"
[ $failures -eq 0 ] || exit 1

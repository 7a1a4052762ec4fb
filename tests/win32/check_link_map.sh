#!/usr/bin/env bash
# Checks a plug-in DLL's link map (-Wl,-Map) for the C++ runtime's exception support: none of the
# unwinder's or the exception runtime's objects may have been taken in, and none of their symbols
# defined. A DLL compiled without exceptions can still link all of it through one call into the
# prebuilt runtime (a std::string_view::substr is enough), so the map is what counts.
# Usage: check_link_map.sh MAP
set -u
map=$1
[ -s "$map" ] || { echo "FAIL: no link map $map"; exit 1; }
failures=0

# The map names every object it takes from an archive as archive(member); LOAD lines only list the
# archives searched.
members=$(grep -v '^LOAD ' "$map" | grep -o '[^ /()]*\.a([^)]*)' | sort -u)
forbidden_members='libgcc_eh\.a\(|libsupc\+\+\.a\(|\(unwind-|\(eh_[a-z_]*\.o\)|\(functexcept\.o\)|\(new_op[a-z_]*\.o\)|\(del_op[a-z_]*\.o\)|\(vterminate\.o\)|\(cp-demangle\.o\)'
found=$(printf '%s\n' "$members" | grep -E "$forbidden_members" || true)
[ -z "$found" ] || { echo "FAIL: exception support linked in:"; printf '  %s\n' $found; failures=$((failures + 1)); }

# Symbols of the exception runtime, the frame registry and the emergency pool, wherever they appear.
forbidden_symbols='__cxa_[a-z_]+|__register_frame_info|__deregister_frame_info|_Unwind_[A-Za-z_]+|__gxx_personality_[a-z0-9]+|__gcc_personality_[a-z0-9]+|emergency_pool|__freeres'
found=$(grep -v '^LOAD ' "$map" | grep -oE "$forbidden_symbols" | sort -u || true)
[ -z "$found" ] || { echo "FAIL: exception runtime symbols:"; printf '  %s\n' $found; failures=$((failures + 1)); }

echo "$(basename "$map"): $(printf '%s\n' "$members" | grep -c .) archive members, of the C++ runtime:" \
     $(printf '%s\n' "$members" | grep -E 'libstdc\+\+\.a|libsupc\+\+\.a|libgcc(_eh)?\.a' | tr '\n' ' ')
[ $failures -eq 0 ] || exit 1

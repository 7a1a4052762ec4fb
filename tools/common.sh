# Shared by the tools/ scripts; sourced from the repository's root.

# Installs what is missing. Root (or sudo, which may ask for a password) only when something is.
qv_ensure_setup() {
  ./tools/setup.sh --check 2>/dev/null && return 0
  if [ "$(id -u)" -eq 0 ]; then ./tools/setup.sh; else sudo ./tools/setup.sh; fi
}

# Configures a preset into its build tree (or the one given). A tree left behind by a configure that
# never finished (no build files written) holds a cache of whatever was missing then: it starts
# afresh, and so does a second try after any failed configure.
qv_configure() {
  local preset=$1 tree=${2:-build/$1}
  if [ -f "$tree/CMakeCache.txt" ] && [ ! -f "$tree/Makefile" ] && [ ! -f "$tree/build.ninja" ]; then
    rm -rf "$tree/CMakeCache.txt" "$tree/CMakeFiles"
  fi
  cmake --preset "$preset" -B "$tree" >/dev/null 2>&1 || cmake --fresh --preset "$preset" -B "$tree" >/dev/null
}

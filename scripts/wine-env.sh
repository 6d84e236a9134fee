# Sourced by the scripts. Which Windows builds this machine can run, and a private Wine
# prefix for each under its build folder.
#
# A kernel built or booted without 32-bit emulation starts no 32-bit program, 32-bit
# Wine included; 64-bit Wine runs the 64-bit build there.
runs_32bit_programs() { [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; }
# Why the 32-bit build cannot be run here, in a few words.
why_no_32bit() {
  if [ -x /usr/lib/wine/wine ]; then echo "this machine runs no 32-bit programs (32-bit Wine cannot start)"
  else echo "32-bit Wine is not installed"; fi
}

# use_wine_for x86|x64: the prefix, the loader (LODKIN_WINE) and the program folder
# (LODKIN_WINDOWS_BIN) of that build, for the scripts and the tests they start.
use_wine_for() {
  local folder
  if [ "$1" = x64 ]; then
    folder=${LODKIN_X64_BUILD_DIR:-build-x64}
    export WINEARCH=win64 LODKIN_WINE=/usr/lib/wine/wine64
  else
    folder=${LODKIN_BUILD_DIR:-build}
    export WINEARCH=win32 LODKIN_WINE=wine
  fi
  local absolute
  absolute=$(cd "$folder" && pwd)
  export WINEPREFIX="$absolute/wineprefix" LODKIN_WINDOWS_BIN="$absolute/bin" LODKIN_ACTIVE_BUILD_DIR="$folder"
  export WINEDEBUG=-all
  # No Mono or Gecko download prompts in a prefix that never needs them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# A persistent server, started with its output away from any caller's pipes: otherwise
# Wine's background services inherit them and whoever reads them waits forever.
start_wine_server() {
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null
  "$LODKIN_WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true
}
stop_wine_server() { wineserver -k >/dev/null 2>&1 || true; }

# Sourced by the scripts: a private 32-bit Wine prefix under the build folder.
build_abs=$(cd "${LODKIN_BUILD_DIR:-build}" && pwd)
export WINEPREFIX="$build_abs/wineprefix"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko download prompts in a prefix that never needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="

# A persistent server, started with its output away from any caller's pipes: otherwise
# Wine's background services inherit them and whoever reads them waits forever.
start_wine_server() {
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}
stop_wine_server() { wineserver -k >/dev/null 2>&1 || true; }

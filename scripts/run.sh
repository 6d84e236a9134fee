#!/usr/bin/env bash
# Installs what is missing, builds, and starts Lodkin.exe under Wine (arguments pass through):
# the 32-bit program, the product, where this machine runs 32-bit programs; the 64-bit one
# otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no X display (DISPLAY is not set). Lodkin opens a window: run this from a desktop session," >&2
  echo "     or under a virtual display:  xvfb-run -a ./scripts/run.sh" >&2
  exit 2
fi
. scripts/wine-env.sh
if runs_32bit_programs; then
  use_wine_for x86
  echo "run: starting the 32-bit Lodkin.exe ($LODKIN_WINDOWS_BIN)"
else
  use_wine_for x64
  echo "run: this machine runs no 32-bit programs; starting the 64-bit Lodkin.exe ($LODKIN_WINDOWS_BIN)"
fi
start_wine_server
"$LODKIN_WINE" "$LODKIN_WINDOWS_BIN/Lodkin.exe" "$@"

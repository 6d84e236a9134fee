#!/usr/bin/env bash
# Installs what is missing, builds, and starts Lodkin.exe under Wine (arguments pass through).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no X display (DISPLAY is not set). Lodkin opens a window: run this from a desktop session," >&2
  echo "     or under a virtual display:  xvfb-run -a ./scripts/run.sh" >&2
  exit 2
fi
export LODKIN_BUILD_DIR=${LODKIN_BUILD_DIR:-build}
. scripts/wine-env.sh
start_wine_server
wine "$LODKIN_BUILD_DIR/bin/Lodkin.exe" "$@"

#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine with a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
export LODKIN_BUILD_DIR=${LODKIN_BUILD_DIR:-build}
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  . scripts/wine-env.sh
  start_wine_server
  ctest --test-dir "$LODKIN_BUILD_DIR" --output-on-failure "$@"
  status=$?
  stop_wine_server
  exit $status' bash "$@"

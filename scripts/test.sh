#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the native tests of the core and
# of lodkin-cli, then the Windows tests under Wine with a virtual display (a CTest summary
# for each; some native tests start Windows programs under Wine too).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
export LODKIN_BUILD_DIR=${LODKIN_BUILD_DIR:-build}
export LODKIN_HOST_BUILD_DIR=${LODKIN_HOST_BUILD_DIR:-$LODKIN_BUILD_DIR-host}
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  . scripts/wine-env.sh
  start_wine_server
  echo "== native tests ($LODKIN_HOST_BUILD_DIR)"
  ctest --test-dir "$LODKIN_HOST_BUILD_DIR" --output-on-failure "$@"
  host_status=$?
  echo "== Windows tests under Wine ($LODKIN_BUILD_DIR)"
  ctest --test-dir "$LODKIN_BUILD_DIR" --output-on-failure "$@"
  status=$?
  stop_wine_server
  [ $host_status -eq 0 ] && [ $status -eq 0 ]' bash "$@"

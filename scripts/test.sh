#!/usr/bin/env bash
# Installs what is missing, builds both Windows builds and the native one, and runs every
# test: the native tests of the core and of lodkin-cli (some start Windows programs under
# Wine), then the Windows tests under Wine with a virtual display, a CTest summary each.
#
# The Windows tests run on every build this machine can run: the 32-bit build first, then
# the 64-bit one; on a kernel without 32-bit support, the 64-bit one alone.
# LODKIN_TEST_ARCH=x86 or LODKIN_TEST_ARCH=x64 runs one build only.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
export LODKIN_BUILD_DIR=${LODKIN_BUILD_DIR:-build}
export LODKIN_X64_BUILD_DIR=${LODKIN_X64_BUILD_DIR:-build-x64}
export LODKIN_HOST_BUILD_DIR=${LODKIN_HOST_BUILD_DIR:-$LODKIN_BUILD_DIR-host}
. scripts/wine-env.sh

if runs_32bit_programs; then
  echo "test: this machine runs 32-bit programs: Windows tests on the 32-bit build, then the 64-bit build"
  arches="x86 x64"
  not_run=""
else
  echo "test: $(why_no_32bit): Windows tests on the 64-bit build only"
  arches="x64"
  not_run="the 32-bit build was built but not run here: $(why_no_32bit)"
fi
case "${LODKIN_TEST_ARCH:-}" in
  "") ;;
  x86|x64) arches=$LODKIN_TEST_ARCH
           not_run="LODKIN_TEST_ARCH=$LODKIN_TEST_ARCH: the Windows tests ran on that build only" ;;
  *) echo "test: LODKIN_TEST_ARCH must be x86 or x64, not \"$LODKIN_TEST_ARCH\"" >&2; exit 2 ;;
esac
export LODKIN_TEST_ARCHES=$arches LODKIN_NOT_RUN=$not_run

exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -u
  . scripts/wine-env.sh
  failed=""
  native_done=0
  # Wine under load now and then starts a window or a process late enough to miss the
  # deadline of a test: a failed test runs once more, and fails the suite only when it
  # fails again (CTest prints both attempts).
  retry="--repeat until-pass:2"
  for arch in $LODKIN_TEST_ARCHES; do
    use_wine_for "$arch"
    start_wine_server
    # The native tests that start Windows programs use the first build that runs here.
    if [ $native_done = 0 ]; then
      echo "== native tests ($LODKIN_HOST_BUILD_DIR, Windows programs from $LODKIN_ACTIVE_BUILD_DIR)"
      ctest --test-dir "$LODKIN_HOST_BUILD_DIR" --output-on-failure $retry "$@" || failed="$failed native"
      native_done=1
    fi
    echo "== Windows tests under Wine ($arch build, $LODKIN_ACTIVE_BUILD_DIR)"
    ctest --test-dir "$LODKIN_ACTIVE_BUILD_DIR" --output-on-failure $retry "$@" || failed="$failed $arch"
    stop_wine_server
  done
  [ -n "$LODKIN_NOT_RUN" ] && echo "test: $LODKIN_NOT_RUN"
  if [ -n "$failed" ]; then echo "test: failures in:$failed"; exit 1; fi
  echo "test: every suite passed (Windows builds run: $LODKIN_TEST_ARCHES)"' bash "$@"

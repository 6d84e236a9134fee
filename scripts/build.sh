#!/usr/bin/env bash
# Configures and builds Lodkin.exe and the test executables into ${LODKIN_BUILD_DIR:-build}.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LODKIN_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"

#!/usr/bin/env bash
# Configures and builds Lodkin.exe, lodkin-cli.exe and the test executables into
# ${LODKIN_BUILD_DIR:-build} (cross build), and the native lodkin-cli with its tests into
# ${LODKIN_HOST_BUILD_DIR:-<build>-host}. The native tool lands in <build>/bin, beside the
# Lodkin.exe that it packs by default.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LODKIN_BUILD_DIR:-build}
host_build=${LODKIN_HOST_BUILD_DIR:-$build-host}
jobs=${LODKIN_JOBS:-$(nproc)}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$jobs"
mkdir -p "$build/bin"
cmake -S . -B "$host_build" -DCMAKE_BUILD_TYPE=Release \
      -DLODKIN_OUTPUT_DIR="$(cd "$build/bin" && pwd)" >/dev/null
cmake --build "$host_build" -j "$jobs"

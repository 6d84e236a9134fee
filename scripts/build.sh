#!/usr/bin/env bash
# Configures and builds the native lodkin-cli with its tests into
# ${LODKIN_HOST_BUILD_DIR:-<build>-host} (while liblzma for MinGW builds beside it, the first
# time), then the Windows programs twice from the same sources: 32-bit into
# ${LODKIN_BUILD_DIR:-build} (the product) and 64-bit into ${LODKIN_X64_BUILD_DIR:-build-x64}.
# The native tool lands in <build>/bin, beside the Lodkin.exe that it packs by default, and
# a copy of it in <build-x64>/bin packs the 64-bit one.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${LODKIN_BUILD_DIR:-build}
x64_build=${LODKIN_X64_BUILD_DIR:-build-x64}
host_build=${LODKIN_HOST_BUILD_DIR:-$build-host}
jobs=${LODKIN_JOBS:-$(nproc)}
mkdir -p "$build/bin" "$x64_build/bin"
# liblzma for MinGW (only lodkin-cli.exe links it) builds while the native build does: on a
# fresh 2-core machine that hides most of its minutes. Nothing to do once it is built.
liblzma_log=$(mktemp)
./scripts/build-liblzma-mingw.sh >"$liblzma_log" 2>&1 &
liblzma_pid=$!
cmake -S . -B "$host_build" -DCMAKE_BUILD_TYPE=Release \
      -DLODKIN_OUTPUT_DIR="$(cd "$build/bin" && pwd)" -DLODKIN_X64_OUTPUT_DIR="$(cd "$x64_build/bin" && pwd)" >/dev/null
cmake --build "$host_build" -j "$jobs"
liblzma_status=0
wait $liblzma_pid || liblzma_status=$?
cat "$liblzma_log"
rm -f "$liblzma_log"
[ $liblzma_status = 0 ] || exit $liblzma_status
for pair in "$build:cmake/mingw-i686.cmake" "$x64_build:cmake/mingw-x86_64.cmake"; do
  folder=${pair%%:*}
  cmake -S . -B "$folder" -DCMAKE_TOOLCHAIN_FILE="${pair#*:}" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$folder" -j "$jobs"
done

#!/usr/bin/env bash
# Builds the resource rewriter (pack --icon, --version, ...) with AddressSanitizer and
# UndefinedBehaviorSanitizer into ${LODKIN_FUZZ_BUILD_DIR:-build-fuzz} and runs it on
# ${1:-100000} damaged copies of the built 32- and 64-bit Lodkin.exe and of res/lodkin.ico,
# split over LODKIN_JOBS processes. Needs ./scripts/build.sh to have run (for the programs).
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-100000}
build=${LODKIN_FUZZ_BUILD_DIR:-build-fuzz}
jobs=${LODKIN_JOBS:-$(nproc)}
programs=("${LODKIN_BUILD_DIR:-build}/bin/Lodkin.exe" "${LODKIN_X64_BUILD_DIR:-build-x64}/bin/Lodkin.exe")
for program in "${programs[@]}"; do
  [ -f "$program" ] || { echo "fuzz-resources: $program is missing: run ./scripts/build.sh first" >&2; exit 1; }
done
flags="-O1 -g -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DLODKIN_FUZZ=ON \
      -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j "$jobs" --target resource_reader_fuzz
per=$(( (count + jobs - 1) / jobs ))
status=0
for program in "${programs[@]}"; do
  pids=()
  for ((j = 0; j < jobs; ++j)); do
    "$build/tests/resource_reader_fuzz" "$program" res/lodkin.ico $((j * per)) "$per" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
done
[ $status -eq 0 ] && echo "fuzz-resources: $((per * jobs)) inputs per program, no faults" || echo "fuzz-resources: FAULTS (see above)"
exit $status

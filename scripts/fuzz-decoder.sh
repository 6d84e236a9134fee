#!/usr/bin/env bash
# Builds the core's group decoder with AddressSanitizer and UndefinedBehaviorSanitizer
# into ${LODKIN_FUZZ_BUILD_DIR:-build-fuzz} and runs it on ${1:-100000} inputs (fresh groups
# and damaged ones, each checked against liblzma), split over LODKIN_JOBS processes.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-100000}
build=${LODKIN_FUZZ_BUILD_DIR:-build-fuzz}
jobs=${LODKIN_JOBS:-$(nproc)}
./scripts/install-deps.sh
flags="-O1 -g -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DLODKIN_FUZZ=ON \
      -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j "$jobs" --target group_decoder_fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
per=$(( (count + jobs - 1) / jobs ))
pids=()
for ((j = 0; j < jobs; ++j)); do
  "$build/tests/group_decoder_fuzz" $((j * per)) "$per" "$work" &
  pids+=($!)
done
status=0
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
[ $status -eq 0 ] && echo "fuzz-decoder: $((per * jobs)) inputs, no faults" || echo "fuzz-decoder: FAULTS (see above)"
exit $status

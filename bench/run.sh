#!/usr/bin/env bash
# Builds what the benchmark needs and prints every figure as "name value unit".
set -euo pipefail
cd "$(dirname "$0")/.."
LODKIN_WITH_BENCH=1 ./scripts/install-deps.sh
./scripts/build.sh >/dev/null
exec python3 bench/run.py

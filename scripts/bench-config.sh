#!/usr/bin/env bash
# Runs the config store benchmark: Load and Save of 16, 128 and 1000 KiB files
# against inih on the same bytes. Usage: scripts/bench-config.sh <build-dir>
set -euo pipefail
build=${1:?usage: scripts/bench-config.sh <build-dir>}
exec "$build/bin/bench_config" --benchmark_min_time=1 "${@:2}"

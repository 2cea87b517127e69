#!/usr/bin/env bash
# Runs the config fuzz target for a bounded time on a copy of the seed corpus.
# Exits non-zero on any finding; the crashing input is kept in
# <build-dir>/fuzz-artifacts/.
# Usage: scripts/fuzz.sh <build-dir> [seconds]
set -euo pipefail
build=${1:?usage: scripts/fuzz.sh <build-dir> [seconds]}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)

work=$(mktemp -d "$build/fuzz-work.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -R "$root/fuzz/corpus/." "$work/"
mkdir -p "$build/fuzz-artifacts"

log="$build/fuzz-config.log"
if "$build/bin/config_fuzz" "$work" \
  -dict="$root/fuzz/ini.dict" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
  -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/" >"$log" 2>&1; then
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|#[0-9]+ *DONE)' "$log" || true
  echo "fuzz: config_fuzz ran ${seconds}s without findings"
else
  status=$?
  tail -n 60 "$log"
  echo "fuzz: config_fuzz FOUND A FAULT (exit $status); log $log, input in $build/fuzz-artifacts/" >&2
  exit "$status"
fi

#!/usr/bin/env bash
# Builds in Release and runs every benchmark; each judged figure is printed at the end as the
# ratio of two measurements taken side by side in this run.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
"$here/tools/deps.sh"
cmake --preset release -S "$here" >/dev/null
cmake --build "$here/build-release"
export QT_QPA_PLATFORM=offscreen
"$here/build-release/bench/wavewright_bench" --benchmark_report_aggregates_only=true "$@"

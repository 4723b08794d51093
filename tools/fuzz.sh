#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a fixed number of inputs, starting
# from the seed corpus in tests/fixtures/fuzz. Usage: tools/fuzz.sh [runs per target]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
runs="${1:-200000}"
"$here/tools/deps.sh"
cmake --preset fuzz -S "$here" >/dev/null
cmake --build --preset fuzz
for target in wavefile formula table sound expression spiceraw bytime; do
    work="$(mktemp -d)"
    cp "$here/tests/fixtures/fuzz/$target/"* "$work/"
    echo "== fuzz_$target: $runs runs =="
    "$here/build-fuzz/tests/fuzz/fuzz_$target" -runs="$runs" -max_len=4096 -timeout=10 \
        -print_final_stats=1 "$work" 2>&1 | tail -n 12
    rm -rf "$work"
done

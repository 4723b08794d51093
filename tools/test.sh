#!/usr/bin/env bash
# Installs what is missing on a Debian machine, builds Wavewright and runs the whole test suite.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
"$here/tools/deps.sh"
cmake --preset default -S "$here"
cmake --build "$here/build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$here/build" --output-on-failure -j 2

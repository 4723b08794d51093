#!/usr/bin/env bash
# Installs what is missing on a Debian machine, builds Wavewright and starts it.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
cd "$here"
"$here/tools/deps.sh"
cmake --preset default -S "$here" >/dev/null
cmake --build "$here/build" --target wavewright
exec "$here/build/src/wavewright" "$@"

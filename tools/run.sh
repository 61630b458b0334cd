#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it with the given arguments.
# Usage: tools/run.sh [PROJECT.RSK]      (without a display: xvfb-run -a tools/run.sh)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh"
build="${ORVENDA_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target orvenda risk_library -j "$(nproc)"
exec "$build/src/ui/orvenda" "$@"

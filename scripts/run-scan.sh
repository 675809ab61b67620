#!/usr/bin/env bash
# Installs what is missing, builds the headless scan command and runs it:
#   bash scripts/run-scan.sh [-d[:LEVEL]] FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" >&2
cmake -S "$root" -B "$root/build-release" -DCMAKE_BUILD_TYPE=Release \
    -DBRIMBLE_BUILD_TESTS=OFF -DBRIMBLE_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build-release" -j "$(nproc)" --target brimble-scan >&2
exec "$root/build-release/src/cli/brimble-scan" "$@"

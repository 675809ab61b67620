#!/usr/bin/env bash
# Installs what is missing, builds the tray program and starts it:
#   bash scripts/run-tray.sh [-d[:LEVEL]]
# Without a desktop it says so and names the programs that need none.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh" >&2
cmake -S "$root" -B "$root/build-release" -DCMAKE_BUILD_TYPE=Release \
    -DBRIMBLE_BUILD_TESTS=OFF -DBRIMBLE_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build-release" -j "$(nproc)" --target brimble >&2
exec "$root/build-release/src/shell/brimble" "$@"

#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the native build with warnings as
# errors, the address/undefined and thread sanitizer builds, the real-volume tests, the tray program on a virtual display and the
# Windows cross build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash scripts/install-deps.sh test

# As root the real-volume tests can always run: one that skips (no loop device, no btrfs)
# fails the run instead of vanishing from it.
if [ "$(id -u)" -eq 0 ]; then export BRIMBLE_REQUIRE_REAL_VOLUMES=1; fi

run_build() { # name, cmake args...
    local name=$1; shift
    echo "=== build: $name ==="
    cmake -S "$root" -B "$root/build-ci/$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIMBLE_WERROR=ON "$@" >/dev/null
    cmake --build "$root/build-ci/$name" -j "$jobs"
}

run_build native
cmake --build build-ci/native --target format-check
(cd build-ci/native && ctest --output-on-failure -j "$jobs")
BRIMBLE_JOBS=$jobs bash scripts/test-gui.sh build-ci/native

run_build asan -DBRIMBLE_SANITIZE="address;undefined" -DBRIMBLE_BUILD_BENCH=OFF
(cd build-ci/asan && ctest --output-on-failure -j "$jobs")

run_build tsan -DBRIMBLE_SANITIZE=thread -DBRIMBLE_BUILD_BENCH=OFF
(cd build-ci/tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j "$jobs")
bash scripts/test-fuzz.sh
bash scripts/test-windows.sh

#!/usr/bin/env bash
# Cross-builds the engine, the back ends, the programs and the tests for 64-bit Windows with
# MinGW-w64 (warnings as errors) and runs under Wine in a prefix of its own the unit tests
# (engine on the sim: no POSIX calls in the engine) and the tests of the Windows back end
# and of brimble-scan.exe and brimble-watch.exe.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
# BRIMBLE_WINDOWS_BUILD names another build folder, for runs by hand.
build=${BRIMBLE_WINDOWS_BUILD:-"$root/build-ci/windows"}
jobs=$(nproc)

bash scripts/install-deps.sh windows

echo "=== build: windows (MinGW-w64 cross build) ==="
cmake -S "$root" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DBRIMBLE_WERROR=ON -DBRIMBLE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"

wine=$(sed -n 's/^BRIMBLE_WINE64:FILEPATH=//p' "$build/CMakeCache.txt")
if [ -z "$wine" ] || [ ! -x "$wine" ]; then
    echo "test-windows: no wine64 launcher found" >&2
    exit 1
fi
wineserver="$(dirname "$wine")/wineserver"
[ -x "$wineserver" ] || wineserver=wineserver

# A fresh prefix for this run, removed afterwards together with its server.
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/brimble-wine.XXXXXX")
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer prompts
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

echo "=== test: windows unit tests under $("$wine" --version) ==="
# Keep one server up for the whole run and create the prefix before tests start in parallel.
# The order matters: Wine's background services start with the first program of a session
# and inherit its output; started here, they never hold a test's output pipe open.
"$wineserver" -p
"$wine" wineboot --init >/dev/null 2>&1
# No display here: Wine's null window driver still gives the programs their hidden windows
# (device changes, the end of the session). It takes effect with a new server.
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$wineserver" -k
"$wineserver" -w
"$wineserver" -p
"$wine" wineboot >/dev/null 2>&1
ctest --test-dir "$build" --output-on-failure -j "$jobs" -L 'unit|win32' --timeout 300

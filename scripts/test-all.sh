#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the native build with warnings as
# errors, the address/undefined sanitizer build, the thread sanitizer build of the threaded
# tests, the real-volume tests, the tray program on a virtual display, the fuzz targets and
# the Windows cross build under Wine. Prints each phase's time at the end.
#
# Builds use Ninja and ccache; the cache lives in the user's cache folder, so a second run on
# the same machine rebuilds only what changed. BRIMBLE_JOBS sets the parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${BRIMBLE_JOBS:-$(nproc)}

export CMAKE_GENERATOR=Ninja
export CMAKE_CXX_COMPILER_LAUNCHER=ccache
export CCACHE_DIR=${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/ccache}
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
export BRIMBLE_JOBS=$jobs

# As root the real-volume tests can always run: one that skips (no loop device, no btrfs)
# fails the run instead of vanishing from it.
if [ "$(id -u)" -eq 0 ]; then export BRIMBLE_REQUIRE_REAL_VOLUMES=1; fi

phases=()
report() {
    local status=$?
    echo "=== phase times ==="
    printf '%s\n' "${phases[@]}"
    [ "$status" -eq 0 ] || echo "=== FAILED (exit $status) ==="
}
trap report EXIT
phase() { # name, command...
    local name=$1 start=$SECONDS
    shift
    echo "=== $name ==="
    local status=0 mark=""
    "$@" || status=$?
    [ "$status" -eq 0 ] || mark="  FAILED"
    phases+=("$(printf '%-28s %5d s%s' "$name" $((SECONDS - start)) "$mark")")
    return "$status"
}

configure() { # name, cmake args...
    local name=$1
    shift
    cmake -S "$root" -B "$root/build-ci/$name" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DBRIMBLE_WERROR=ON "$@" >/dev/null
}
build() { # name, targets...
    local name=$1
    shift
    cmake --build "$root/build-ci/$name" -j "$jobs" ${1:+--target "$@"}
}
run_tests() { # name, ctest args...
    local name=$1
    shift
    (cd "$root/build-ci/$name" && ctest --output-on-failure -j "$jobs" "$@")
}

native() {
    configure native
    build native
    cmake --build build-ci/native --target format-check
}
asan() {
    configure asan -DBRIMBLE_SANITIZE="address;undefined" -DBRIMBLE_BUILD_BENCH=OFF
    build asan
}
tsan() {
    configure tsan -DBRIMBLE_SANITIZE=thread -DBRIMBLE_BUILD_BENCH=OFF
    build tsan threaded_tests
}

phase "install dependencies" bash scripts/install-deps.sh test
phase "build: native" native
phase "test: native" run_tests native
phase "test: tray program (gui)" bash scripts/test-gui.sh build-ci/native
phase "build: address+undefined" asan
phase "test: address+undefined" run_tests asan
phase "build: thread (threaded)" tsan
TSAN_OPTIONS=halt_on_error=1 phase "test: thread (threaded)" run_tests tsan -L threads
phase "fuzz" bash scripts/test-fuzz.sh
phase "windows: build and Wine" bash scripts/test-windows.sh

#!/usr/bin/env bash
# Installs the Debian packages that are missing for a build ("build"), for every test
# ("test"), for the Windows cross build alone ("windows") or for the fuzz targets ("fuzz").
set -euo pipefail
what=${1:-build}

build_pkgs=(g++ cmake make ninja-build ccache libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev clang-format
            # The estimate compresses samples as the file system would.
            libzstd-dev
            # The tray program: Qt 6 Widgets with its SVG pictures, and a font for its windows.
            qt6-base-dev qt6-svg-dev fonts-dejavu-core
            # Its error report: the call stack of a throw, named from the debugging data.
            libbackward-cpp-dev libdw-dev)
# Real-volume tests of the Linux back end.
test_pkgs_posix=(btrfs-progs btrfs-compsize e2fsprogs)
# The tray program on a virtual display with a notification area of its own.
test_pkgs_gui=(xvfb xauth trayer x11-utils xdotool)
# Windows cross build of the engine and its unit tests, run under Wine.
test_pkgs_windows=(g++-mingw-w64-x86-64-posix googletest wine64 wine64-preloader)
# The fuzz targets: Clang and its compiler runtime, which holds libFuzzer and the
# sanitizers. Both are Debian's default-version packages, so their versions always match.
fuzz_pkgs=(clang libclang-rt-dev)

case "$what" in
build) pkgs=("${build_pkgs[@]}") ;;
test) pkgs=("${build_pkgs[@]}" "${test_pkgs_posix[@]}" "${test_pkgs_gui[@]}" "${test_pkgs_windows[@]}") ;;
windows) pkgs=(cmake make ninja-build ccache "${test_pkgs_windows[@]}") ;;
fuzz) pkgs=("${build_pkgs[@]}" "${fuzz_pkgs[@]}") ;;
*) echo "install-deps: unknown set '$what' (build, test, windows or fuzz)" >&2; exit 2 ;;
esac

missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    # No recommended extras: 64-bit Wine without its desktop parts, no i386 architecture.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        -o DPkg::Lock::Timeout=600 "${missing[@]}"
fi

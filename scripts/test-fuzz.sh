#!/usr/bin/env bash
# Builds the libFuzzer targets of the input readers (fuzz/) with Clang and the address and
# undefined-behaviour sanitizers, and runs each for a bounded time on a copy of its seed
# corpus. Fails when a target crashes, hangs, leaks or breaks a property it checks; the
# input that did it is kept in the build folder and its path printed.
# BRIMBLE_FUZZ_SECONDS sets each target's time, BRIMBLE_FUZZ_BUILD another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${BRIMBLE_FUZZ_BUILD:-"$root/build-ci/fuzz"}
seconds=${BRIMBLE_FUZZ_SECONDS:-12}
jobs=$(nproc)

bash scripts/install-deps.sh fuzz

echo "=== build: fuzz (Clang, libFuzzer, address and undefined sanitizers) ==="
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBRIMBLE_WERROR=ON -DBRIMBLE_FUZZ=ON -DBRIMBLE_SANITIZE="address;undefined" \
    -DBRIMBLE_BUILD_TESTS=OFF -DBRIMBLE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target brimble_fuzzers -j "$jobs"

export UBSAN_OPTIONS=print_stacktrace=1
failed=()
for seeds in "$root"/fuzz/corpus/*/; do
    target=$(basename "$seeds")
    # The checked-in seeds stay as they are: the fuzzer adds to a copy.
    run="$build/fuzz-runs/$target"
    rm -rf "$run"
    mkdir -p "$run/corpus" "$run/findings"
    cp "$seeds"* "$run/corpus/"
    options=(-max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$run/findings/")
    if [ -f "$root/fuzz/$target.dict" ]; then options+=(-dict="$root/fuzz/$target.dict"); fi

    echo "=== fuzz: $target (${seconds} s) ==="
    if "$build/fuzz/fuzz_$target" "${options[@]}" "$run/corpus" >"$run/log" 2>&1; then
        sed -n 's/^stat::number_of_executed_units: */  runs: /p' "$run/log"
    else
        failed+=("$target")
        tail -n 60 "$run/log"
        for input in "$run"/findings/*; do
            if [ -e "$input" ]; then echo "fuzz: $target: failing input kept in $input"; fi
        done
        echo "fuzz: the whole log is $run/log"
    fi
done

if ((${#failed[@]})); then
    echo "fuzz: failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: every target ran clean"

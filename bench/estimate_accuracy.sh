#!/usr/bin/env bash
# How well `brimble-scan --estimate` predicts a real scan, on a loop-mounted btrfs volume: for
# each tree the estimate runs first, then the real scan on the same files, each from a cold
# cache and the real one followed by sync. Printed per tree: the saving each reports
# ("Reclaimed free space share"), the estimate's error in percent of the real saving, and the
# time ratio real / estimate. Goal: error within ±3 %, ratio at least 3.
#  1. the mixed tree of compare_scan.sh (text, binaries, icons, already compressed data);
#  2. a copy of /usr.
# Needs root (loop device, mount, dropping the page cache) and a built brimble-scan.
#
#   sudo bash bench/estimate_accuracy.sh [path/to/brimble-scan]
#
# Environment: BRIMBLE_BENCH_SOURCES (folders of the mixed tree), BRIMBLE_BENCH_USR (the
# folder copied as tree 2, default /usr; "none" leaves it out), BRIMBLE_BENCH_LEVEL (the
# CompressionLevel setting, default 3).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
scan=$(realpath "${1:-$root/build/src/cli/brimble-scan}")
sources=${BRIMBLE_BENCH_SOURCES:-/usr/include /usr/share/doc /usr/share/icons /usr/bin}
usr=${BRIMBLE_BENCH_USR:-/usr}
level=${BRIMBLE_BENCH_LEVEL:-3}

die() { echo "estimate_accuracy: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || die "needs root for the loop volume"
[ -x "$scan" ] || die "$scan is not built (cmake --build build --target brimble-scan)"
command -v mkfs.btrfs >/dev/null || die "mkfs.btrfs is missing (bash scripts/install-deps.sh test)"

# Outside the temporary folder, which the default settings exclude from scans.
work=$(mktemp -d /var/tmp/brimble-estimate.XXXXXX)
mnt=$work/mnt
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT

# The data of both trees, with room to spare for the rewrite.
need=$(du -scb $sources $([ "$usr" = none ] || echo "$usr") 2>/dev/null | tail -1 | cut -f1)
truncate -s $((need * 13 / 10 + (1 << 30))) "$work/volume.img"
mkfs.btrfs -q -L estimate "$work/volume.img" >/dev/null
mkdir "$mnt"
mount -o loop "$work/volume.img" "$mnt" # no compress option: files are written plain

export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run LC_ALL=C
mkdir -p "$XDG_DATA_HOME/Brimble" "$XDG_RUNTIME_DIR"
printf '[GENERAL]\nCompressionLevel=%s\n' "$level" >"$XDG_DATA_HOME/Brimble/brimble.ini"

now() { date +%s.%N; }
cold() { sync; echo 3 >/proc/sys/vm/drop_caches; }
# "Reclaimed free space share:  1,234.56 Mb" in bytes.
saving() {
    awk '/^Reclaimed free space share:/ {
        gsub(",", "", $5); n = $5 + 0
        u = $6; m = 1
        if (u == "Kb") m = 1024; else if (u == "Mb") m = 1048576
        else if (u == "Gb") m = 1073741824; else if (u == "Tb") m = 1099511627776
        printf "%.0f\n", n * m }'
}
mib() { awk -v b="$1" 'BEGIN { printf "%.1f MiB", b / 1048576 }'; }

compare() { # name, folder
    local name=$1 dir=$2 t0 t1 t2 t3 estimate real
    cold
    t0=$(now)
    "$scan" --estimate "$dir" >"$work/$name.estimate"
    t1=$(now)
    cold
    t2=$(now)
    "$scan" "$dir" >"$work/$name.real"
    sync
    t3=$(now)
    estimate=$(saving <"$work/$name.estimate")
    real=$(saving <"$work/$name.real")
    echo "--- $name: estimate ---"
    cat "$work/$name.estimate"
    echo "--- $name: real scan ---"
    cat "$work/$name.real"
    awk -v e="$estimate" -v r="$real" -v te="$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" \
        -v tr="$(awk -v a="$t2" -v b="$t3" 'BEGIN { print b - a }')" -v n="$name" 'BEGIN {
        printf "%s: saving estimated %.1f MiB, real %.1f MiB, error %+.2f %% (goal within 3 %%)\n",
               n, e / 1048576, r / 1048576, r ? 100 * (e - r) / r : 0
        printf "%s: time estimate %.2f s, real %.2f s, ratio real/estimate %.2f (goal at least 3)\n",
               n, te, tr, te ? tr / te : 0 }'
}

echo "=== 1. mixed tree: $sources ==="
mkdir "$mnt/mixed"
for src in $sources; do
    [ -d "$src" ] && cp -a "$src" "$mnt/mixed/$(echo "${src#/}" | tr / _)"
done
echo "data: $(mib "$(du -sb "$mnt/mixed" | cut -f1)")"
compare mixed "$mnt/mixed"

if [ "$usr" != none ]; then
    echo "=== 2. a copy of $usr ==="
    cp -a "$usr" "$mnt/usr" 2>/dev/null || true
    echo "data: $(mib "$(du -sb "$mnt/usr" | cut -f1)")"
    compare usr "$mnt/usr"
fi

#!/usr/bin/env bash
# What a scan does to the space of volumes laid out as distributions lay them out, on loop
# volumes of their own (under /var/tmp, removed afterwards):
#  1. a subvolume beside its read-only snapshot, with reflinked copies and files of its own:
#     the volume's data before and after a scan of everything (btrfs filesystem usage -b),
#     and the saving the totals print against what compsize measured;
#  2. a volume mounted with compress=zstd, files written there: bytes written to the device
#     during a scan (/sys/block/<loop>/stat), against the data's size. Under the default
#     relatime the kernel records the first access of each folder listed, a few megabytes
#     of metadata; BRIMBLE_BENCH_MOUNT_OPTIONS=noatime leaves only what the scan writes.
# Needs root, btrfs-progs, btrfs-compsize and a built brimble-scan.
#
#   sudo bash bench/space_safety.sh [path/to/brimble-scan]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
scan=$(realpath "${1:-$root/build/src/cli/brimble-scan}")
die() { echo "space_safety: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || die "needs root for the loop volumes"
[ -x "$scan" ] || die "$scan is not built (cmake --build build --target brimble-scan)"

work=$(mktemp -d /var/tmp/brimble-space.XXXXXX)
cleanup() {
    for m in "$work"/m*; do mountpoint -q "$m" && umount "$m"; done
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_DATA_HOME=$work/home XDG_RUNTIME_DIR=$work/home LC_ALL=C
mkdir -p "$work/home/Brimble"
printf '[GENERAL]\nExcludeFolders=\n' >"$work/home/Brimble/brimble.ini"

volume() { # name, mount options
    truncate -s 2G "$work/$1.img"
    mkfs.btrfs -q "$work/$1.img" >/dev/null 2>&1
    mkdir -p "$work/$1"
    mount -o "loop${2:+,$2}" "$work/$1.img" "$work/$1"
}
data_used() {
    sync
    btrfs filesystem usage -b "$1" | sed -n 's/^Data,[^:]*: *Size:[0-9]*, *Used:\([0-9]*\).*/\1/p'
}
disk_usage() { sync; compsize -b "$1" | awk '$1 == "TOTAL" { print $3 }'; }
fill() { # folder: text, binaries and media, 3 copies of /usr/include's C headers
    mkdir -p "$1"
    cp -a /usr/include "$1/include"
    cp -a /usr/bin "$1/bin" 2>/dev/null || true
}

echo "=== 1. subvolume beside its read-only snapshot, with reflinked copies ==="
volume m1 ""
btrfs subvolume create "$work/m1/@" >/dev/null
fill "$work/m1/@/old"
btrfs subvolume snapshot -r "$work/m1/@" "$work/m1/@snapshot" >/dev/null
cp -a --reflink=always "$work/m1/@/old/include" "$work/m1/@/reflinked"
fill "$work/m1/@/new"
before=$(data_used "$work/m1")
own_before=$(disk_usage "$work/m1/@/new")
out=$("$scan" "$work/m1/@")
after=$(data_used "$work/m1")
own_after=$(disk_usage "$work/m1/@/new")
echo "$out"
echo "data used before:  $before"
echo "data used after:   $after  ($((after - before)) bytes; never more than before)"
echo "compsize of the files of its own: $own_before -> $own_after (saved $((own_before - own_after)))"
[ "$after" -le "$before" ] || die "the scan made free space smaller"

echo "=== 2. volume mounted with compress=zstd ==="
volume m2 "compress=zstd${BRIMBLE_BENCH_MOUNT_OPTIONS:+,$BRIMBLE_BENCH_MOUNT_OPTIONS}"
fill "$work/m2/data"
sync
device=$(basename "$(findmnt -n -o SOURCE "$work/m2")")
size=$(du -sb "$work/m2/data" | cut -f1)
written_before=$(awk '{ print $7 }' "/sys/block/$device/stat")
"$scan" "$work/m2/data"
sync
written=$((($(awk '{ print $7 }' "/sys/block/$device/stat") - written_before) * 512))
echo "data: $size bytes; written to the device during the scan: $written bytes"

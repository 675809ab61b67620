#!/usr/bin/env bash
# What new files cost the disk: bytes written to the device per byte of new data, while a
# program creates, writes and closes files (a copy with cp -r and a tar extraction of the
# same tree), on a loop-mounted btrfs volume of its own (/sys/block/<loop>/stat, sectors
# written, after a sync and once brimble-watch has finished with the files):
#  (a) a plain mount with brimble-watch in the interactive mode, CompressNewFiles=0: each
#      file is written plain, then rewritten compressed;
#  (b) the same with CompressNewFiles=1 and CompressNewFolders=1: each file and folder is
#      marked as it is created and its data is compressed on the way to the disk;
#  (c) a compress=zstd mount without brimble-watch: the kernel compresses everything it
#      writes, the physical reference.
# Prints each figure and the ratios (b)/(c) and (a)/(c); the goal is (b)/(c) <= 1.1.
# brimble-watch watches every mounted btrfs volume that can compress: writes elsewhere on
# the machine meanwhile show up as work for it, not on this volume's device.
# Needs root (loop device, mount), btrfs-progs and a built brimble-watch.
#
#   sudo bash bench/new_files_write.sh [path/to/brimble-watch] [source-folder]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
watch=$(realpath "${1:-$root/build/src/cli/brimble-watch}")
source=$(realpath "${2:-/usr/include}")

die() { echo "new_files_write: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || die "needs root for the loop volume"
[ -x "$watch" ] || die "$watch is not built (cmake --build build --target brimble-watch)"
[ -d "$source" ] || die "$source is no folder"
command -v mkfs.btrfs >/dev/null || die "mkfs.btrfs is missing (btrfs-progs)"

# Outside the temporary folder, which the default settings exclude.
work=$(mktemp -d /var/tmp/brimble-newfiles.XXXXXX)
mnt=$work/mnt
pid=
cleanup() {
    [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    mountpoint -q "$mnt" && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$work/run LC_ALL=C
mkdir -p "$XDG_RUNTIME_DIR" "$mnt"

# The same files for every run: the tar archive lies outside the volume measured.
tar -cf "$work/set.tar" -C "$(dirname "$source")" "$(basename "$source")"
set_bytes=$(du -sb --apparent-size "$source" | cut -f1)
new_bytes=$((2 * set_bytes)) # copied once, extracted once

sectors_written() { # device name: field 7 of the block device's stat
    awk '{ print $7 }' "/sys/block/$1/stat"
}

start_watch() { # CompressNewFiles
    export XDG_DATA_HOME=$work/data-$1
    mkdir -p "$XDG_DATA_HOME/Brimble"
    printf '[GENERAL]\nSmartCompressMode=2\nCompressionDelay=0\nCompressNewFiles=%s\nCompressNewFolders=%s\nExcludeFolders=\n' \
        "$1" "$1" >"$XDG_DATA_HOME/Brimble/brimble.ini"
    "$watch" >"$work/watch.out" 2>"$work/watch.err" &
    pid=$!
    for _ in $(seq 300); do
        grep -qF "Watching \"$mnt" "$work/watch.out" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || die "brimble-watch ended: $(cat "$work/watch.err")"
        sleep 0.1
    done
    die "brimble-watch did not watch $mnt: $(cat "$work/watch.out")"
}
stop_watch() {
    kill -TERM "$pid"
    wait "$pid" || die "brimble-watch failed on SIGTERM"
    pid=
}
# The service is done once it has used no processor time for three seconds.
wait_until_settled() {
    local last=-1 same=0 ticks
    while [ "$same" -lt 3 ]; do
        sleep 1
        ticks=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
        if [ "$ticks" = "$last" ]; then same=$((same + 1)); else same=0; fi
        last=$ticks
    done
}

# One run: a fresh volume, the files written, everything on disk; prints bytes written.
# Whether Brimble has marked the folder (a compression property, or the flag from a parent).
marked() {
    btrfs property get "$1" compression 2>/dev/null | grep -q . || lsattr -d "$1" 2>/dev/null | cut -d' ' -f1 | grep -q c
}

run() { # label mount-options CompressNewFiles-or-none [existing: the target folders first]
    truncate -s 2G "$work/volume.img"
    mkfs.btrfs -q -f "$work/volume.img" >/dev/null
    mount -o "loop${2:+,$2}" "$work/volume.img" "$mnt"
    local loop
    loop=$(basename "$(findmnt -n -o SOURCE "$mnt")")
    [ "$3" = none ] || start_watch "$3"
    sync
    local before
    before=$(sectors_written "$loop")
    local started=$SECONDS
    if [ "${4:-}" = existing ]; then
        # A program writing into folders that exist: made first, the data after their mark.
        mkdir "$mnt/copy" "$mnt/tar"
        for _ in $(seq 50); do marked "$mnt/copy" && marked "$mnt/tar" && break; sleep 0.1; done
        cp -r "$source" "$mnt/copy/"
        tar -xf "$work/set.tar" -C "$mnt/tar"
    else
        cp -r "$source" "$mnt/copy"
        mkdir "$mnt/tar"
        tar -xf "$work/set.tar" -C "$mnt/tar"
    fi
    [ "$3" = none ] || wait_until_settled
    sync
    local after
    after=$(sectors_written "$loop")
    [ "$3" = none ] || stop_watch
    umount "$mnt"
    rm -f "$work/volume.img"
    echo "$1 $(((after - before) * 512)) $((SECONDS - started))"
}

echo "new data: $new_bytes bytes ($source copied with cp -r and extracted with tar)"
results=()
results+=("$(run a "" 0)")
results+=("$(run b "" 1)")
results+=("$(run e "" 1 existing)")
results+=("$(run c "compress=zstd" none)")
declare -A written
for line in "${results[@]}"; do
    read -r label bytes seconds <<<"$line"
    written[$label]=$bytes
    case $label in
    a) what="plain mount, brimble-watch, CompressNewFiles=0" ;;
    b) what="plain mount, brimble-watch, CompressNewFiles=1, CompressNewFolders=1" ;;
    e) what="as (b), into target folders that exist" ;;
    c) what="compress=zstd mount, no brimble-watch" ;;
    esac
    awk -v l="$label" -v w="$what" -v b="$bytes" -v n="$new_bytes" -v s="$seconds" \
        'BEGIN { printf "(%s) %-48s %12d bytes written, %.3f per byte of new data, %d s\n", l, w, b, b / n, s }'
done
awk -v a="${written[a]}" -v b="${written[b]}" -v c="${written[c]}" \
    -v e="${written[e]}" \
    'BEGIN { printf "(b)/(c) = %.3f   (e)/(c) = %.3f   (a)/(c) = %.3f   goal (b)/(c) <= 1.1\n", b / c, e / c, a / c }'

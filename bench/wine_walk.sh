#!/usr/bin/env bash
# brimble-scan.exe under Wine against the Linux brimble-scan on the same tree: a walk of
# files that need no action (already compressed media): the Linux build on a loop-mounted
# btrfs volume, the Windows build on a copy in the Wine prefix's C: (Wine reports that drive
# as NTFS; a btrfs mount given to Wine as another drive is no drive the scan accepts). Best of
# three wall times each, and their ratio; the Wine figure includes Wine's own cost (starting
# its processes, translating every file call to Linux calls).
# Needs root (loop device, mount), btrfs-progs, Wine and both builds:
#
#   sudo bash bench/wine_walk.sh [build/src/cli/brimble-scan] [build-win/src/cli/brimble-scan.exe]
#
# Environment: BRIMBLE_BENCH_WALK (files, default 10000).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
scan=$(realpath "${1:-$root/build/src/cli/brimble-scan}")
scan_exe=$(realpath "${2:-$root/build-ci/windows/src/cli/brimble-scan.exe}")
files=${BRIMBLE_BENCH_WALK:-10000}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver="$(dirname "$wine")/wineserver"
[ -x "$wineserver" ] || wineserver=wineserver

die() { echo "wine_walk: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || die "needs root for the loop volume"
[ -x "$scan" ] || die "$scan is not built"
[ -f "$scan_exe" ] || die "$scan_exe is not built (bash scripts/test-windows.sh builds it)"

work=$(mktemp -d /var/tmp/brimble-wine-walk.XXXXXX)
mnt=$work/mnt
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    "$wineserver" -k 2>/dev/null || true
    mountpoint -q "$mnt" && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT

truncate -s 1G "$work/image"
mkfs.btrfs -q "$work/image"
mkdir -p "$mnt" "$WINEPREFIX"
mount -o loop "$work/image" "$mnt"
for ((i = 0; i < files; i++)); do
    dir="$mnt/tree/d$((i / 100))"
    [ -d "$dir" ] || mkdir -p "$dir"
    printf 'x' > "$dir/f$i.zip"
done
sync

"$wineserver" -p
"$wine" wineboot --init >/dev/null 2>&1
cp -r "$mnt/tree" "$WINEPREFIX/drive_c/tree"

best() { # best wall time of three runs of the command, in seconds
    local best="" start end took
    for _ in 1 2 3; do
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        took=$(echo "$end - $start" | bc)
        if [ -z "$best" ] || [ "$(echo "$took < $best" | bc)" = 1 ]; then best=$took; fi
    done
    echo "$best"
}

# Once each with the output shown: both must have walked every file.
check() {
    local output
    output=$("$@" 2>&1) || die "$* failed: $output"
    grep -Eq "Total files processed: *${files:0:-3},?${files: -3} " <<<"$output" || die "$* did not walk $files files: $output"
}
HOME=$work/home XDG_DATA_HOME=$work/home/data check "$scan" "$mnt/tree"
check "$wine" "$scan_exe" 'C:\tree'

linux=$(HOME=$work/home XDG_DATA_HOME=$work/home/data best "$scan" "$mnt/tree")
windows=$(best "$wine" "$scan_exe" 'C:\tree')
echo "walk of $files files: Linux ${linux}s, Windows build under Wine ${windows}s," \
     "ratio $(echo "scale=2; $windows / $linux" | bc)"

#!/usr/bin/env bash
# A manual scan in drive mode (as the window starts it) over two loop-mounted btrfs volumes of
# BRIMBLE_BENCH_FILES (default 50,000) small files each, below 4096 bytes so that none needs
# action, against `find MNT1 MNT2 -xdev -type f -printf '%s\n'`: wall time and peak memory,
# warm cache, best of BRIMBLE_BENCH_RUNS (default 3) runs each.
# Needs root (loop devices, mount), btrfs-progs, perl, /usr/bin/time and the bench program
# drive_scan (cmake -DBRIMBLE_BUILD_BENCH=ON, target drive_scan).
#
#   sudo bash bench/drive_scan.sh [path/to/drive_scan]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
scan=$(realpath "${1:-$root/build/bench/drive_scan}")
files=${BRIMBLE_BENCH_FILES:-50000}
runs=${BRIMBLE_BENCH_RUNS:-3}

die() { echo "drive_scan: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || die "needs root for the loop volumes"
[ -x "$scan" ] || die "$scan is not built (cmake -DBRIMBLE_BUILD_BENCH=ON, target drive_scan)"
for tool in mkfs.btrfs perl; do command -v "$tool" >/dev/null || die "$tool is missing"; done
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (Debian package time)"

# Outside the temporary folder, which the default settings exclude.
work=$(mktemp -d /var/tmp/brimble-drive-bench.XXXXXX)
cleanup() {
    for m in "$work/mnt1" "$work/mnt2"; do mountpoint -q "$m" && umount "$m"; done
    rm -rf "$work"
}
trap cleanup EXIT

for v in 1 2; do
    truncate -s 1G "$work/volume$v.img"
    mkfs.btrfs -q -L "drive$v" "$work/volume$v.img" >/dev/null
    mkdir "$work/mnt$v"
    mount -o loop "$work/volume$v.img" "$work/mnt$v"
    # 100 folders of files of a few bytes: never compressed.
    perl -e 'my ($top, $n) = @ARGV; for my $i (0 .. $n - 1) { my $d = "$top/d" . int($i / 500);
        mkdir $d unless -d $d; open(my $f, ">", "$d/f$i.txt") or die "$d/f$i.txt: $!";
        print $f "$i\n"; close $f }' "$work/mnt$v" "$files"
done
sync
mnt1=$work/mnt1 mnt2=$work/mnt2
export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
find "$mnt1" "$mnt2" -xdev >/dev/null # warm

# Best wall time (s) and its peak memory (KiB) of one command over the runs.
best() { # name command...
    local name=$1; shift
    local i t0 t1
    for ((i = 0; i < runs; i++)); do
        t0=$(date +%s.%N)
        /usr/bin/time -f %M -o "$work/$name.rss" "$@" >"$work/$name.out" 2>"$work/$name.err" ||
            die "$name failed: $(cat "$work/$name.err")"
        t1=$(date +%s.%N)
        echo "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }') $(tail -1 "$work/$name.rss")"
    done | sort -n | head -1 >"$work/$name.best"
}
best scan "$scan" "$mnt1" "$mnt2"
best find find "$mnt1" "$mnt2" -xdev -type f -printf '%s\n'
walked=$(sed -n 's/^Total files processed: //p' "$work/scan.out")
found=$(wc -l <"$work/find.out")
[ "$walked" = $((2 * files)) ] || die "the scan walked $walked files, expected $((2 * files))"
[ "$found" = $((2 * files)) ] || die "find listed $found files, expected $((2 * files))"
read -r scan_s scan_kib <"$work/scan.best"
read -r find_s find_kib <"$work/find.best"
echo "drive-mode scan of 2 volumes, $walked files, best of $runs:"
echo "wall time:   drive scan $scan_s s, find $find_s s," \
    "ratio $(awk -v a="$scan_s" -v b="$find_s" 'BEGIN { printf "%.2f", a / b }')"
echo "peak memory: drive scan $scan_kib KiB, find $find_kib KiB"

#!/usr/bin/env bash
# brimble-scan against the system's own tools on a loop-mounted btrfs volume, same data,
# one run each, reported as ratios:
#  1. compression: brimble-scan on a tree of mixed real files (text, binaries, already
#     compressed media) vs `btrfs filesystem defragment -r -czstd` on an identical copy:
#     wall time (each followed by sync) and the space saved (compsize) on the files that
#     the default settings admit for compression; then brimble-scan with CompressionLevel=15
#     on a third copy: its on-disk size against what defragment -czstd left;
#  2. walk: brimble-scan on a tree of files that need no action vs
#     `find DIR -type f -printf '%s\n'` (a stat per file, as the scan needs):
#     wall time and peak memory, also on a tree of a tenth of the files to show that memory
#     does not grow with their number.
# Needs root (loop device, mount), btrfs-progs, btrfs-compsize, time and a built brimble-scan.
#
#   sudo bash bench/compare_scan.sh [path/to/brimble-scan]
#
# Environment: BRIMBLE_BENCH_SOURCES (folders copied into the mixed tree), BRIMBLE_BENCH_WALK
# (files of the walk, default 100000), BRIMBLE_BENCH_IMAGE_GIB (image size, default 4),
# BRIMBLE_BENCH_ONLY=walk or compression (that comparison alone).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
scan=$(realpath "${1:-$root/build/src/cli/brimble-scan}")
sources=${BRIMBLE_BENCH_SOURCES:-/usr/include /usr/share/doc /usr/share/icons /usr/bin}
walk_files=${BRIMBLE_BENCH_WALK:-100000}
image_gib=${BRIMBLE_BENCH_IMAGE_GIB:-4}

die() { echo "compare_scan: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || die "needs root for the loop volume"
[ -x "$scan" ] || die "$scan is not built (cmake --build build --target brimble-scan)"
for tool in mkfs.btrfs btrfs compsize perl; do
    command -v "$tool" >/dev/null || die "$tool is missing (bash scripts/install-deps.sh test)"
done
[ -x /usr/bin/time ] || die "/usr/bin/time is missing (Debian package time)"

# Outside the temporary folder, which the default settings exclude from scans.
work=$(mktemp -d /var/tmp/brimble-bench.XXXXXX)
mnt=$work/mnt
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT

truncate -s "${image_gib}G" "$work/volume.img"
mkfs.btrfs -q -L bench "$work/volume.img" >/dev/null
mkdir "$mnt"
mount -o loop "$work/volume.img" "$mnt" # no compress option: files are written plain

# The program's settings, lists, log and lock of this run only; no settings file, so the
# defaults apply.
export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"

now() { date +%s.%N; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "n/a"; else printf "%.2f", a / b }'; }
mib() { awk -v b="$1" 'BEGIN { printf "%.1f MiB", b / 1048576 }'; }
warm() { find "$@" -type f -exec cat {} + >/dev/null; }

# Sum of compsize's disk usage and uncompressed size over a NUL-separated list of paths
# relative to a folder.
usage_of() { # folder list
    (cd "$1" && xargs -0 -a "$2" compsize -b 2>/dev/null || true) |
        awk '$1 == "TOTAL" { disk += $3; plain += $4 } END { printf "%d %d\n", disk, plain }'
}

# Peak resident memory in KiB and wall seconds of one command, its output discarded.
measure() { # name command...
    local name=$1; shift
    local t0 t1
    t0=$(now)
    /usr/bin/time -v -o "$work/$name.time" "$@" >"$work/$name.out" 2>"$work/$name.err"
    t1=$(now)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }' >"$work/$name.wall"
    sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/$name.time" >"$work/$name.rss"
}
wall() { cat "$work/$1.wall"; }
rss() { cat "$work/$1.rss"; }

if [ "${BRIMBLE_BENCH_ONLY:-}" != walk ]; then
echo "== 1. compression: brimble-scan vs btrfs filesystem defragment -r -czstd"
mkdir "$mnt/a"
for s in $sources; do cp -a --reflink=never "$s" "$mnt/a/"; done
files=$(find "$mnt/a" -type f | wc -l)
bytes=$(du -sb "$mnt/a" | cut -f1)
echo "tree: $files files, $(mib "$bytes"), from: $sources"

# Which files the default settings admit: brimble-scan's own decisions, taken from its log
# on a shadow of the tree (same names and sizes, sparse), so the timed run logs nothing.
(cd "$mnt/a" && find . -type d -print0) | (mkdir "$mnt/shadow" && cd "$mnt/shadow" && xargs -0 mkdir -p)
(cd "$mnt/a" && find . -type f -printf '%s %p\0') |
    (cd "$mnt/shadow" && perl -0ne 'chomp; my ($s, $p) = split / /, $_, 2;
        open(my $f, ">", $p) or die "$p: $!"; truncate($f, $s) or die "$p: $!"; close $f;')
XDG_DATA_HOME=$work/shadow-data "$scan" -d:2 "$mnt/shadow" >/dev/null
sed -n "s|.*\tFile \[$mnt/shadow/\(.*\)\] (.*) action: COMPRESS\r\?\$|\1|p" \
    "$work/shadow-data/Brimble/brimble.log" | tr '\n' '\0' >"$work/admitted"
rm -rf "$mnt/shadow"
admitted=$(tr -cd '\0' <"$work/admitted" | wc -c)
echo "admitted by the default settings: $admitted files"

cp -a --reflink=never "$mnt/a" "$mnt/b"
cp -a --reflink=never "$mnt/a" "$mnt/c" # for CompressionLevel=15
sync
btrfs filesystem sync "$mnt" >/dev/null # nothing left over for the timed runs to write
read -r before_disk before_plain < <(usage_of "$mnt/a" "$work/admitted")
read -r before_all _ < <(compsize -b "$mnt/a" | awk '$1 == "TOTAL" { print $3, $4 }')
warm "$mnt/a" "$mnt/b"

measure brimble sh -c "'$scan' '$mnt/a' && sync"
grep -q "Total files processed:" "$work/brimble.out" || die "brimble-scan failed: $(cat "$work/brimble.err")"
measure defrag sh -c "btrfs filesystem defragment -r -czstd '$mnt/b' && sync"

diff -r -q --no-dereference "$mnt/a" "$mnt/b" >/dev/null || die "the two copies differ after compression"
read -r a_disk _ < <(usage_of "$mnt/a" "$work/admitted")
read -r b_disk _ < <(usage_of "$mnt/b" "$work/admitted")
read -r a_all _ < <(compsize -b "$mnt/a" | awk '$1 == "TOTAL" { print $3, $4 }')
read -r b_all _ < <(compsize -b "$mnt/b" | awk '$1 == "TOTAL" { print $3, $4 }')
saved_a=$((before_disk - a_disk))
saved_b=$((before_disk - b_disk))

cat "$work/brimble.out"
echo "wall time:   brimble-scan $(wall brimble) s, defragment $(wall defrag) s," \
    "ratio $(ratio "$(wall brimble)" "$(wall defrag)") (goal: at most 1.20)"
echo "saved on the admitted files ($(mib "$before_plain")):" \
    "brimble-scan $(mib "$saved_a"), defragment $(mib "$saved_b")," \
    "ratio $(ratio "$saved_a" "$saved_b") (goal: at least 1.00)"
echo "saved on the whole tree: brimble-scan $(mib $((before_all - a_all))), defragment" \
    "$(mib $((before_all - b_all)))"
echo "contents: both copies identical after compression"

# The same scan at the highest level the kernel takes, against defragment's default level.
mkdir -p "$work/level15/Brimble"
printf '[GENERAL]\nCompressionLevel=15\n' >"$work/level15/Brimble/brimble.ini"
measure level15 sh -c "XDG_DATA_HOME='$work/level15' '$scan' '$mnt/c' && sync"
grep -q "Total files processed:" "$work/level15.out" || die "brimble-scan at level 15 failed: $(cat "$work/level15.err")"
diff -r -q --no-dereference "$mnt/c" "$mnt/b" >/dev/null || die "the level 15 copy differs"
read -r c_disk _ < <(usage_of "$mnt/c" "$work/admitted")
echo "level 15: the admitted files take $(mib "$c_disk") on disk, defragment -czstd left" \
    "$(mib "$b_disk"), ratio $(ratio "$c_disk" "$b_disk") (goal: at most 0.90);" \
    "$(wall level15) s against $(wall brimble) s at the default level; contents identical"
rm -rf "$mnt/a" "$mnt/b" "$mnt/c"
sync
fi

[ "${BRIMBLE_BENCH_ONLY:-}" = compression ] && exit 0

echo "== 2. walk: brimble-scan vs find -printf '%s\\n' over $walk_files files that need no action"
make_tree() { # folder files
    local per=1000 d f
    for ((d = 0; d * per < $2; d++)); do
        mkdir -p "$1/d$d"
        for ((f = 0; f < per && d * per + f < $2; f++)); do
            echo "$d $f" >"$1/d$d/f$f.txt" # below one cluster: never compressed
        done
    done
}
make_tree "$mnt/walk" "$walk_files"
make_tree "$mnt/walk-tenth" $((walk_files / 10))
sync
warm "$mnt/walk" "$mnt/walk-tenth"

measure walk "$scan" "$mnt/walk"
measure walk-tenth "$scan" "$mnt/walk-tenth"
measure find find "$mnt/walk" -type f -printf '%s\n'
walked=$(sed -n 's/^Total files processed: *\([^ ]*\).*/\1/p' "$work/walk.out" | tr -cd 0-9)
[ "$walked" = "$walk_files" ] ||
    die "brimble-scan did not walk every file: $(cat "$work/walk.out" "$work/walk.err")"

echo "wall time:   brimble-scan $(wall walk) s, find $(wall find) s," \
    "ratio $(ratio "$(wall walk)" "$(wall find)")"
echo "peak memory: brimble-scan $(rss walk) KiB ($walk_files files)," \
    "$(rss walk-tenth) KiB ($((walk_files / 10)) files), find $(rss find) KiB"

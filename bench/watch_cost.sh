#!/usr/bin/env bash
# What brimble-watch costs and how fast it reacts, on a loop-mounted btrfs volume of its own,
# in the interactive mode (SmartCompressMode=2):
#  1. background cost with nothing changing, over BRIMBLE_BENCH_IDLE_SECONDS (default 60):
#     CPU time (utime+stime of /proc/PID/stat, % of one core) and wake-ups per second
#     (voluntary + nonvoluntary context switches summed over /proc/PID/task/*/status);
#     once with empty lists, once with a delayed list of 1,000 files that exist;
#  2. reaction: seconds from a file written (closed) to its compression flag (lsattr 'c'),
#     with no compression delay and with the 20-unit delay (17.28 s, then the next 1 s tick);
#  3. a burst of 10,000 compressible files in one folder with no delay: files compressed,
#     log lines, elapsed time until the last one, peak memory (VmHWM) of the service.
# brimble-watch watches every mounted btrfs volume that can compress, so activity on other
# volumes of the machine shows in the figures; the events it saw outside this volume are
# counted and printed.
# Needs root (loop device, mount), btrfs-progs, e2fsprogs (lsattr, chattr), perl and a built
# brimble-watch.
#
#   sudo bash bench/watch_cost.sh [path/to/brimble-watch]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
watch=$(realpath "${1:-$root/build/src/cli/brimble-watch}")
idle_seconds=${BRIMBLE_BENCH_IDLE_SECONDS:-60}
burst_files=${BRIMBLE_BENCH_BURST:-10000}

die() { echo "watch_cost: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || die "needs root for the loop volume"
[ -x "$watch" ] || die "$watch is not built (cmake --build build --target brimble-watch)"
for tool in mkfs.btrfs lsattr chattr perl; do
    command -v "$tool" >/dev/null || die "$tool is missing"
done

# Outside the temporary folder, which the default settings exclude.
work=$(mktemp -d /var/tmp/brimble-watch-bench.XXXXXX)
mnt=$work/mnt
pid=
cleanup() {
    [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    [ -d "$mnt/delayed" ] && chattr -R -i "$mnt/delayed" 2>/dev/null
    mountpoint -q "$mnt" && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT

truncate -s 2G "$work/volume.img"
mkfs.btrfs -q -L watchbench "$work/volume.img" >/dev/null
mkdir "$mnt"
mount -o loop "$work/volume.img" "$mnt" # no compress option: files are written plain
export XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR"

now() { date +%s.%N; }
hz=$(getconf CLK_TCK)

# The settings of one phase: CompressionDelay holds the index of the choice (0 none,
# 3 the 20 units of 1/100000 day), not the units.
start_watch() { # phase delay-index
    export XDG_DATA_HOME=$work/$1
    mkdir -p "$XDG_DATA_HOME/Brimble"
    printf '[GENERAL]\nSmartCompressMode=2\nCompressionDelay=%s\nExcludeFolders=\n' "$2" \
        >"$XDG_DATA_HOME/Brimble/brimble.ini"
    "$watch" -d:2 >"$work/$1.out" 2>"$work/$1.err" &
    pid=$!
    for _ in $(seq 100); do
        grep -q "watching" "$work/$1.out" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || die "brimble-watch ended: $(cat "$work/$1.err")"
        sleep 0.1
    done
    die "brimble-watch did not start"
}
stop_watch() {
    local rc=0
    kill -TERM "$pid"
    wait "$pid" || rc=$?
    pid=
    [ "$rc" -eq 0 ] || die "brimble-watch exited $rc on SIGTERM"
}
log_of() { echo "$work/$1/Brimble/brimble.log"; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
switches() {
    cat /proc/"$pid"/task/*/status 2>/dev/null |
        awk '/^(non)?voluntary_ctxt_switches:/ { n += $2 } END { print n + 0 }'
}
foreign_events() { # phase
    grep -F '[FileChanged]:' "$(log_of "$1")" | grep -vcF "$mnt/" || true
}

# One quiet stretch: CPU % of one core and wake-ups per second.
idle_cost() { # phase label
    sleep 5 # the start-up and the first ticks are not counted
    local t0 c0 s0 t1 c1 s1
    t0=$(now); c0=$(cpu_ticks); s0=$(switches)
    sleep "$idle_seconds"
    t1=$(now); c1=$(cpu_ticks); s1=$(switches)
    awk -v t="$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" -v c=$((c1 - c0)) \
        -v s=$((s1 - s0)) -v hz="$hz" -v label="$2" -v threads="$(ls /proc/"$pid"/task | wc -l)" \
        'BEGIN { printf "%s: CPU %.3f %% of one core (%d ticks in %.1f s; goal under 0.1 %%),", label, 100 * c / hz / t, c, t
                 printf " %.2f wake-ups/s (%d context switches, %d threads)\n", s / t, s, threads }'
    echo "   events on other volumes meanwhile: $(foreign_events "$1")"
}

echo "== 1. background cost, interactive mode, delay of 20 units, nothing changing, ${idle_seconds} s"
start_watch idle 3
idle_cost idle "empty lists"
stop_watch

# 1,000 files that exist, listed today: the retry pass comes after CompressAgainDelay
# (5 minutes by default), so during the measurement they stay listed; the once-a-second
# purge looks each of them up. Immutable, so that a retry could not drop them either.
mkdir "$mnt/delayed"
perl -e 'for my $i (0 .. 999) { open(my $f, ">", "$ARGV[0]/f$i.bin") or die; print $f pack("L*", map { int(rand(2**32)) } 1 .. 2048); close $f }' "$mnt/delayed"
sync
chattr -R +i "$mnt/delayed"
mkdir -p "$work/delayed-list/Brimble"
today=$(($(date +%s) / 86400 + 25569))
for i in $(seq 0 999); do echo "$mnt/delayed/f$i.bin=$today"; done \
    >"$work/delayed-list/Brimble/DelayedCompress.lst"
start_watch delayed-list 3
idle_cost delayed-list "1,000 delayed entries"
stop_watch
echo "   delayed entries after the run (saved on SIGTERM): $(grep -c . "$work/delayed-list/Brimble/DelayedCompress.lst" || true)"
chattr -R -i "$mnt/delayed"
rm -rf "$mnt/delayed"

echo "== 2. reaction: from a file closed to its compression flag"
compressed() { lsattr -d "$1" 2>/dev/null | cut -d' ' -f1 | grep -q c; }
react() { # phase delay-index label timeout
    start_watch "$1" "$2"
    sleep 2
    local file=$mnt/react-$1.txt t0 t1
    seq 1 20000 >"$file" # 106 KiB of text
    t0=$(now)
    until compressed "$file"; do
        awk -v a="$t0" -v b="$(now)" -v m="$4" 'BEGIN { exit !(b - a > m) }' &&
            die "$3: not compressed after $4 s; log:
$(tail -n 20 "$(log_of "$1")")"
        sleep 0.02
    done
    t1=$(now)
    stop_watch
    awk -v a="$t0" -v b="$t1" -v label="$3" 'BEGIN { printf "%s: compressed %.2f s after the write\n", label, b - a }'
}
react react0 0 "no delay" 30
react react20 3 "delay of 20 units (17.28 s)" 60

echo "== 3. burst: $burst_files files of a few KiB written in one folder, no delay"
start_watch burst 0
sleep 2
mkdir "$mnt/burst"
t0=$(now)
perl -e 'for my $i (1 .. $ARGV[1]) { open(my $f, ">", "$ARGV[0]/f$i.txt") or die; print $f "line $_ of file $i\n" for 1 .. 300; close $f }' \
    "$mnt/burst" "$burst_files"
t_written=$(now)
done_count() { lsattr "$mnt/burst" 2>/dev/null | cut -d' ' -f1 | grep -c c || true; }
last=-1 since=$(now)
while :; do
    n=$(done_count)
    [ "$n" -ge "$burst_files" ] && break
    if [ "$n" != "$last" ]; then last=$n since=$(now); fi
    awk -v a="$since" -v b="$(now)" 'BEGIN { exit !(b - a > 30) }' && break # no progress for 30 s
    sleep 0.5
done
t1=$(now)
hwm=$(sed -n 's/^VmHWM: *//p' "/proc/$pid/status")
stop_watch
n=$(done_count)
size=$(stat -c %s "$mnt/burst/f1.txt")
log=$(log_of burst)
echo "files written: $burst_files of $size bytes in $(awk -v a="$t0" -v b="$t_written" 'BEGIN { printf "%.2f", b - a }') s"
echo "compressed (flag c): $n of $burst_files, last one $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }') s after the first write"
echo "log lines for the folder: $(grep -cF "[FileChanged]: $mnt/burst/" "$log" || true) [FileChanged]," \
    "$(grep -cF "[SmartCompress]: $mnt/burst/" "$log" || true) [SmartCompress]," \
    "$(grep -cF "File [$mnt/burst/" "$log" | tr -d ' ' || true) file actions" \
    "($(grep -F "File [$mnt/burst/" "$log" | grep -c 'action: COMPRESS' || true) COMPRESS)"
echo "errors in the log: $(grep -ciE 'error|overflow|lost' "$log" || true)"
echo "peak memory of brimble-watch (VmHWM): $hwm"
echo "   events on other volumes meanwhile: $(foreign_events burst)"

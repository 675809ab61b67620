#!/usr/bin/env bash
# The tray program for real: screenshots of its window, then brimble on a virtual X display
# with a tray host, scanning a btrfs loop volume from its window and ending through the
# tray menu's Exit.
#   bash scripts/test-gui.sh [BUILD_FOLDER]     (the folder of a configured, built tree)
# The end-to-end part needs root (loop volume); without it it is skipped, unless
# BRIMBLE_REQUIRE_REAL_VOLUMES=1 makes that a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
brimble=$build/src/shell/brimble

cmake --build "$build" --target brimble screenshots -j "${BRIMBLE_JOBS:-2}"

skip() {
    if [ "${BRIMBLE_REQUIRE_REAL_VOLUMES:-}" = 1 ]; then echo "test-gui: FAILED: $1" >&2; exit 1; fi
    echo "test-gui: end-to-end test skipped: $1"; exit 0
}
[ "$(id -u)" -eq 0 ] || skip "needs root for a loop volume"
for tool in Xvfb trayer xdotool xwininfo mkfs.btrfs compsize; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh test)"
done

# Not below the temporary folder: the default settings exclude it from scans.
work=$(mktemp -d /var/tmp/brimble-gui.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    mountpoint -q "$work/mnt" && umount "$work/mnt"
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "test-gui: FAILED: $1" >&2
    echo "--- brimble's output:" >&2; cat "$work/brimble.out" >&2 || true
    echo "--- its log:" >&2; cat "$work/data/Brimble/brimble.log" >&2 || true
    exit 1
}
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1; shift
    for _ in $(seq $((seconds * 10))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}

# A display of our own, its first free number from 90 on.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=:$display
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.out" 2>&1 &
pids+=($!)
wait_for 10 xwininfo -root || fail "Xvfb did not start"
trayer --edge top --align right --widthtype pixel --width 100 --height 24 >"$work/trayer.out" 2>&1 &
pids+=($!)
wait_for 10 sh -c "xwininfo -root -tree | grep -q '\"panel\"'" || fail "the tray host did not start"

# The volume, with compressible text files.
truncate -s 300M "$work/volume.img"
mkfs.btrfs -q "$work/volume.img" >/dev/null
mkdir -p "$work/mnt" "$work/home" "$work/data" "$work/run"
mount -o loop "$work/volume.img" "$work/mnt"
mkdir "$work/mnt/docs"
for i in 1 2 3 4; do
    for _ in $(seq 3000); do echo "line $i of a text that compresses well, again and again"; done \
        >"$work/mnt/docs/text$i.txt"
done
sync

# The user's files: a never list written out of order, which a save puts in order.
chmod 700 "$work/run"
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/home/.config \
    XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=xcb
mkdir -p "$work/data/Brimble"
printf 'zz-last.bin\r\naa-first.bin\r\n' >"$work/data/Brimble/NeverCompress.lst"

"$brimble" -d:2 >"$work/brimble.out" 2>&1 &
brimble_pid=$!
pids+=($brimble_pid)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Brimble$' | head -1) ||
    fail "the main window did not appear"
grep -q "No notification area" "$work/brimble.out" && fail "brimble found no tray"
wait_for 10 sh -c "xwininfo -root -tree | grep -A8 '\"panel\"' | grep -q '\"Brimble\"'" ||
    fail "no tray icon in the tray host"

# A second start is refused on standard error while the first goes on; its message box
# stays open until a stop signal closes it.
"$brimble" >"$work/second.out" 2>&1 </dev/null &
second_pid=$!
wait_for 10 grep -q "Brimble is already running." "$work/second.out" ||
    fail "a second start was not refused"
kill -TERM "$second_pid"
set +e
wait "$second_pid"
second=$?
set -e
[ "$second" = 82 ] || fail "a second start ended with $second instead of 82"
kill -0 "$brimble_pid" || fail "the first instance ended"

# Scan path mode, the volume's folder typed in, Go: points are the window's fixed layout.
xdotool mousemove --window "$window" 193 55 click 1
xdotool mousemove --window "$window" 300 110 click 1
xdotool type --window "$window" --delay 5 "$work/mnt/docs"
xdotool mousemove --window "$window" 51 283 click 1
wait_for 60 sh -c "compsize '$work/mnt/docs' | grep -Eq '^(zstd|zlib|lzo) '" ||
    fail "the scan compressed nothing"
wait_for 30 grep -q "Scan complete" "$work/data/Brimble/brimble.log" || true
compsize "$work/mnt/docs"

# An option changed through the dialog as a user would: Options, the Compress page, "Compress
# files shared with snapshots or copies", OK; the settings file says so at once.
ini="$work/data/Brimble/brimble.ini"
grep -q "^CompressSharedFiles=1" "$ini" 2>/dev/null && fail "the option is set before the test"
xdotool mousemove --window "$window" 498 20 click 1
options=$(timeout 20 xdotool search --sync --onlyvisible --name '^Options' | head -1) ||
    fail "the options dialog did not appear"
xdotool mousemove --window "$options" 105 24 click 1
sleep 0.5
xdotool mousemove --window "$options" 40 168 click 1
xdotool mousemove --window "$options" 476 402 click 1
wait_for 10 grep -q "^CompressSharedFiles=1" "$ini" ||
    fail "OK in the options dialog did not save the changed option"

# Exit from the tray menu: the icon's menu, its last item.
icon=$(xwininfo -root -tree | grep -A8 '"panel"' | grep '"Brimble"' | awk '{print $1}')
xdotool mousemove --window "$icon" 10 10 click 3
sleep 1
xdotool key Up Return
wait_for 20 sh -c "! kill -0 $brimble_pid" || fail "Exit did not end the program"
wait "$brimble_pid" || fail "brimble ended with an error"

grep -q "Program terminated" "$work/data/Brimble/brimble.log" || fail "no shutdown in the log"
first=$(tr -d '\r' <"$work/data/Brimble/NeverCompress.lst" | grep -x -e aa-first.bin -e zz-last.bin | head -1)
[ "$first" = aa-first.bin ] || fail "the never list was not saved in order"
# Without a display: a clear message and exit code 1.
set +e
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$brimble" >"$work/nodisplay.out" 2>&1
nodisplay=$?
set -e
[ "$nodisplay" = 1 ] && grep -q "brimble-watch" "$work/nodisplay.out" ||
    fail "without a display: exit $nodisplay, $(cat "$work/nodisplay.out")"

echo "test-gui: brimble on a virtual display: tray icon, scan from the window, an option set in the dialog, Exit: passed"

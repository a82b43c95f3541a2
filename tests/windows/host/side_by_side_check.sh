#!/usr/bin/env bash
# Runs side by side never disturb each other: three filterhost runs share
# the prefix and its virtual display (none is set here), and end in two
# orders. Each must end with its own status and its own whole frames, and
# when the last has ended, the prefix's display and Wine server are gone.
#   side_by_side_check.sh FILTERHOST.exe
set -uo pipefail
filterhost=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
unset DISPLAY
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
patience=$("$root/scripts/patience")
frame=$((6 + 64 * 36 * 6))

# NAME FRAMES: a run writing NAME.y4m, its messages in NAME.err; FRAMES 0
# runs until stopped.
start() {
  local frames=$2
  [ "$frames" = 0 ] && frames=100000
  KELVO_WINE_TIMEOUT=0 setsid "$root/scripts/wine-run" "$filterhost" --size 64x36 \
    --frames "$frames" --progress --no-timing -o "$1.y4m" >/dev/null 2>"$1.err" &
  eval "pid_$1=$!"
}
# Waits (at most ten minutes times the patience) until NAME has made a
# frame.
under_way() {
  for _ in $(seq $((6000 * patience))); do grep -q "^frame" "$1.err" 2>/dev/null && return; sleep 0.1; done
  fail "$1 made no frame"
}
# NAME STATUS: waits for NAME's end and checks its status and its file,
# which must hold whole frames, as many as it says (all of them at 0).
ended() {
  local pid status file=$1.y4m frames
  pid=$(eval "echo \$pid_$1")
  wait "$pid"
  status=$?
  [ "$status" = "$2" ] || fail "$1 ended with status $status, not $2: $(tail -2 "$1.err")"
  [ "$2" = 4 ] && file=$1.y4m
  frames=$(sed -n 's/.*holds frames 1 to \([0-9]*\).*/\1/p; s/.*wrote: .*(\([0-9]*\) frames).*/\1/p' \
    "$1.err" | tail -1)
  [ "$2" = 0 ] && frames=$3
  local header size
  header=$(head -n 1 "$file" 2>/dev/null | wc -c)
  size=$(stat -c %s "$file" 2>/dev/null || echo 0)
  [ -n "$frames" ] && [ "$size" = $((header + frames * frame)) ] ||
    fail "$1: $file holds $size bytes, not ${frames:-?} whole frames"
}

# The short runs end first, the long one last.
start a 0
under_way a
start b 2
start c 6
ended b 0 2
ended c 0 6
kill -INT "$pid_a"
ended a 4

# The long one first, a short one in between, the other long one last.
rm -f ./*.y4m ./*.err
start a 0
start b 0
under_way a
under_way b
start c 3
kill -INT "$pid_a"
ended a 4
ended c 0 3
kill -INT "$pid_b"
ended b 4

# The last to leave ends the display and the server.
for _ in $(seq $((300 * patience))); do [ -e "$WINEPREFIX.display" ] || break; sleep 0.1; done
[ ! -e "$WINEPREFIX.display" ] || fail "the prefix's display is still there: $(cat "$WINEPREFIX.display")"
server=/tmp/.wine-$(id -u)/$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))/socket
[ ! -S "$server" ] || fail "the prefix's Wine server is still running ($server)"

[ "$failures" = 0 ] || exit 1
echo "three runs side by side, in two orders: ok"

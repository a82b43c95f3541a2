#!/usr/bin/env bash
# The README's main job as a user starts it: scripts/run without arguments,
# from a folder other than the repository's. It must write both pictures,
# find every pixel within the reference model's range, and the pictures must
# show what its words promise (video_check demo). Relative paths given to
# scripts/run are the caller's: a picture named rel.png lands in the folder
# scripts/run was started in.
# usage: check_main_job.sh SOURCE_ROOT VIDEO_CHECK
set -u
root=$(realpath "$1")
video_check=$(realpath "$2")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
elsewhere=$(mktemp -d)
trap 'rm -rf "$elsewhere"' EXIT

before=$root/build/kelvo-demo-before.png
after=$root/build/kelvo-demo.png
rm -f "$before" "$after"
report=$(cd "$elsewhere" && "$root/scripts/run" 2>"$elsewhere/steps")
status=$?
echo "$report"
[ "$status" -eq 0 ] || { cat "$elsewhere/steps"; fail "scripts/run ended with status $status"; }
for line in "wrote:     $after (the last frame, corrected)" \
            "wrote:     $before (the input, as the plug-in received it)" \
            "  outside the accepted range: 0 pixels"; do
  grep -qxF "$line" <<<"$report" || fail "the report lacks: $line"
done
grep -q "^frame [0-9]* of 10 " "$elsewhere/steps" || fail "no progress lines"
"$video_check" demo "$before" "$after" || fail "the pictures do not show what the words say"

(cd "$elsewhere" && "$root/scripts/run" --frames 1 --output rel.png >/dev/null 2>&1) ||
  fail "scripts/run --output rel.png failed"
[ -f "$elsewhere/rel.png" ] || fail "rel.png did not land in the folder scripts/run started in"
[ ! -e "$root/rel.png" ] || { rm -f "$root/rel.png"; fail "rel.png landed in the repository"; }

# A run stopped half-way, as a user stops it: Ctrl-C at the terminal (SIGINT
# to the whole process group) or SIGTERM to scripts/run. It says why and
# where it stopped, ends with status 4, and its video holds whole frames.
stop_run() {  # SIGNAL TARGET: group or script
  rm -f "$elsewhere/stopped.y4m" "$elsewhere/steps"
  # In a session of its own, as at a terminal: $run leads its process group.
  (cd "$elsewhere" && exec setsid "$root/scripts/run" --size 320x180 --frames 100000 \
     --progress --output stopped.y4m >/dev/null 2>"$elsewhere/steps") &
  local run=$!
  for _ in $(seq $((600 * $("$root/scripts/patience")))); do
    grep -q "^frame" "$elsewhere/steps" 2>/dev/null && break
    sleep 0.1
  done
  if [ "$2" = group ]; then kill -"$1" -- -"$run"; else kill -"$1" "$run"; fi
  wait "$run"
  local status=$? header frames size
  [ "$status" -eq 4 ] || fail "SIG$1 to the $2: status $status, not 4"
  frames=$(sed -n 's/^filterhost: stopped by .* after frame \([0-9]*\), before the end.*/\1/p' \
    "$elsewhere/steps")
  [ -n "$frames" ] || { fail "SIG$1 to the $2: no word of the stop"; tail -3 "$elsewhere/steps"; return; }
  header=$(head -1 "$elsewhere/stopped.y4m" | wc -c)
  size=$(stat -c %s "$elsewhere/stopped.y4m")
  [ "$size" -eq $((header + frames * (6 + 320 * 180 * 6))) ] ||
    fail "SIG$1 to the $2: $size bytes are not $frames whole frames"
}
stop_run INT group
stop_run TERM script

[ "$failures" -eq 0 ] && echo "main job: ok"
exit $((failures > 0))

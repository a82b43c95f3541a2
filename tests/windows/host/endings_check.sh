#!/usr/bin/env bash
# How filterhost's runs end and what becomes of the files they write: one
# table of endings, each run in a folder of its own. Every row gives the
# exit status, a part of what it must say (the report, then stderr), and
# everything the folder must hold afterwards (nothing else, so no .part
# file either):
#
#   NAME=old     the file as it was before the run ("older NAME")
#   NAME=frames  a stream's header and N frames of the test picture, byte
#                for byte as filterhost writes them, with N read from the
#                message's "NAME holds frames 1 to N" (or "frame 1")
#   NAME=png     a PNG picture
#   NAME=fifo, NAME=folder, NAME=link (a symbolic link)
#
# The signals as a user sends them: Ctrl-C to the process group, SIGTERM
# and SIGHUP to scripts/wine-run, and wine-run's own time limit.
#
#   endings_check.sh FILTERHOST.exe [ROW...]   (every row, or those named)
set -uo pipefail
filterhost=$1
shift
only=" $* "
# Runs at once share one Wine server only on a display of their own.
[ -n "${DISPLAY:-}" ] || { echo "endings_check.sh needs a display (scripts/virtual-display)"; exit 1; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
work=$(mktemp -d)
cleanup() {
  mountpoint -q "$work/disk" 2>/dev/null && umount "$work/disk"
  mountpoint -q "$work/read-only/ro" 2>/dev/null && umount "$work/read-only/ro"
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
# Waits and limits below are for a quiet machine that runs 32-bit programs
# natively, times this.
patience=$("$root/scripts/patience")
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

fh() { KELVO_WINE_TIMEOUT=${limit:-$((120 * patience))} "$root/scripts/wine-run" "$filterhost" "$@"; }
long=(--size 64x36 --frames 100000 --progress --no-timing)

# The reference clip: the test picture at 64x36, as every run below makes
# it, frame after frame the same.
# Its run also measures how long this machine takes to start a run and
# make four frames: the time-limit row's first limit is a multiple of it
# (time_limited doubles it while the machine was too busy for a frame).
started=$SECONDS
fh --size 64x36 --frames 4 --output clip.y4m --no-timing >/dev/null 2>"$work/reference.err" ||
  { echo "FAILED: filterhost cannot write the reference clip: $(cat "$work/reference.err")"; exit 1; }
time_limit=$((3 * (SECONDS - started) + 5))
frame=$((6 + 64 * 36 * 6))
header=$(head -n 1 clip.y4m | wc -c)
head -c $((header + 2 * frame + 100)) clip.y4m >cut.y4m
head -c "$header" clip.y4m >empty.y4m
tail -c "$frame" clip.y4m >frames.bin
for _ in $(seq 10); do cat frames.bin frames.bin >frames.twice && mv frames.twice frames.bin; done
expected_stream() {  # FRAMES
  head -c "$header" "$work/clip.y4m"
  for ((i = 0; i < $1; i += 1024)); do cat "$work/frames.bin"; done | head -c $(($1 * frame))
}

# A long run in a session of its own, as at a terminal (with no time
# limit, as a user starts it), writing its messages to STDERR; waits until
# it is under way: a frame done (a run with --progress says so), or else a
# file begun. (The output file is begun before the first frame, which on a
# slow machine comes seconds later.)
start_run() {  # STDERR ARGS...
  local into=$1
  shift
  local progress=0
  [[ " $* " == *" --progress "* ]] && progress=1
  KELVO_WINE_TIMEOUT=0 setsid "$root/scripts/wine-run" "$filterhost" "$@" 2>>"$into" &
  run=$!
  for _ in $(seq $((1200 * patience))); do
    grep -q "^frame\|^precision" "$into" 2>/dev/null && break
    [ "$progress" = 0 ] && compgen -G "*.part" >/dev/null && sleep 0.5 && break
    sleep 0.1
  done
}

# Ctrl-C to the run's process group, or another signal to wine-run.
stop_run() {  # SIGNAL ARGS...
  local signal=$1
  shift
  start_run "$messages.err" "$@"
  if [ "$signal" = INT ]; then kill -INT -- -"$run"; else kill -"$signal" "$run"; fi
  wait "$run"
}

# A second run that writes the output of a first one, stopped afterwards.
two_writers() {
  start_run "$messages.first" "${long[@]}" -o same.y4m
  local status=0
  fh --size 64x36 --frames 2 -o ./same.y4m || status=$?
  kill -INT -- -"$run"
  wait "$run"
  cat "$messages.first" >&2
  return "$status"
}

# A run killed outright (SIGKILL to wine-run, its keeper and the program,
# so that nothing is left to keep its frames) while it writes out.y4m, and
# then a run of that name in other letters: it takes the killed run's file
# over.
killed_then_again() {
  start_run "$messages.first" "${long[@]}" -o out.y4m
  pkill -KILL -s "$(pgrep -P "$run" -f wine-keeper | head -n 1)"
  kill -KILL "$run"
  wait "$run"
  [ -e out.y4m.filterhost.part ] || return 98  # nothing left to take over
  fh --size 64x36 --frames 2 -o OUT.Y4M
}

# A live input that pauses: three frames come through a named pipe, whose
# writer then holds it open and sends nothing. Ctrl-C must end the run with
# the three frames; status 99 when it is still running 120 s later (times
# the patience).
paused_input() {
  mkfifo in.y4m
  { head -c $((header + 3 * frame)) "$work/clip.y4m"; exec sleep 600; } >in.y4m &
  local writer=$!
  start_run "$messages.err" -i in.y4m -o out.y4m --no-timing
  for _ in $(seq $((1200 * patience))); do
    [ "$(stat -c %s out.y4m.filterhost.part 2>/dev/null || echo 0)" -ge $((header + 3 * frame)) ] &&
      break
    sleep 0.1
  done
  interrupt_paused "$writer"
}

# Ctrl-C to a run whose writer pauses: it must end within two minutes
# times the patience (status 99 when not), before the writer goes.
interrupt_paused() {  # WRITER
  local status
  kill -INT -- -"$run"
  for _ in $(seq $((1200 * patience))); do kill -0 "$run" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$run" 2>/dev/null && status=99
  kill "$1"
  wait "$run" || status=${status:-$?}
  return "${status:-0}"
}

# The same before the stream's header: the writer opens the pipe and sends
# nothing. Once its open has returned (it has become `sleep`), filterhost
# has the pipe open, and listens for Ctrl-C.
paused_header() {
  mkfifo in.y4m
  (exec sleep 600 >in.y4m) &
  local writer=$!
  KELVO_WINE_TIMEOUT=0 setsid "$root/scripts/wine-run" "$filterhost" -i in.y4m -o out.y4m \
    2>>"$messages.err" &
  run=$!
  for _ in $(seq $((1200 * patience))); do [ "$(cat /proc/$writer/comm)" = sleep ] && break; sleep 0.1; done
  interrupt_paused "$writer"
}

# A long run whose output folder is renamed (mv) or deleted (rm) under it.
folder_goes() {  # mv|rm
  mkdir d
  start_run "$messages.err" "${long[@]}" -o d/out.y4m
  if [ "$1" = mv ]; then mv d d2; else rm -r d; fi
  kill -INT -- -"$run"
  wait "$run"
}

# The program itself killed (as `kill` of filterhost.exe does), or wine-run
# killed outright: the first leaves its keeper to keep the frames, the
# second leaves it to stop the program as by Ctrl-C (its status is
# wine-run's, its messages come once the keeper has ended).
ended_outright() {  # program|wine-run
  start_run "$messages.err" "${long[@]}" -o out.y4m
  local keeper status
  keeper=$(pgrep -P "$run" -f wine-keeper | head -n 1)
  if [ "$1" = program ]; then
    pkill -TERM -s "$keeper" -f "wine[^ ]* $filterhost"
    wait "$run"
    return
  fi
  kill -KILL "$run"
  wait "$run"
  status=$?
  for _ in $(seq $((6000 * patience))); do kill -0 "$keeper" 2>/dev/null || break; sleep 0.1; done
  return "$status"
}

# A long run that wine-run's time limit ends. Where the machine was too busy
# to make a frame within the limit (nothing was written), the run is made
# again with twice the limit, up to three times.
time_limited() {
  local limit=$time_limit status
  for _ in 1 2 3 4; do
    status=0
    limit=$limit fh "${long[@]}" -o out.y4m || status=$?
    [ "$status" = 124 ] && [ ! -e out.partial.y4m ] || return "$status"
    echo "no frame within the limit of $limit s: again with $((2 * limit)) s" >&2
    limit=$((2 * limit))
  done
  return "$status"
}

# --output - on a terminal (a pseudo-terminal of script's), as Wine's
# console draws it: a blank as "erase, one to the right".
on_terminal() {
  script -qec "KELVO_WINE_TIMEOUT=$((120 * patience)) '$root/scripts/wine-run' '$filterhost' --size 64x36 -o -" \
    /dev/null | sed 's/\x1b\[K\x1b\[1C/ /g; s/\x1b\[[0-9;?]*[a-zA-Z]//g' | tr -d '\r\n'
}

run_case() {  # NAME
  case $1 in
    sigint) stop_run INT "${long[@]}" -o out.y4m ;;
    sigterm) stop_run TERM "${long[@]}" -o out.y4m ;;
    sighup) stop_run HUP "${long[@]}" -o out.y4m ;;
    sigquit) stop_run QUIT "${long[@]}" -o out.y4m ;;
    sigusr1) stop_run USR1 "${long[@]}" -o out.y4m ;;
    program-killed) ended_outright program ;;
    wine-run-killed) ended_outright wine-run ;;
    sigint-pipe) stop_run INT "${long[@]}" -o - | cat >/dev/null ;;
    sigint-stdout-file) stop_run INT "${long[@]}" -o - >out.y4m ;;
    time-limit) time_limited ;;
    picture) stop_run INT "${long[@]}" -o x.png --before b.png ;;
    cube) stop_run INT --cube g.cube --cube-size 256 ;;
    report) stop_run INT --precision-report rep ;;
    cut) fh -i "$work/cut.y4m" -o out.y4m ;;
    no-frames) fh -i "$work/empty.y4m" -o out.y4m ;;
    full-disk) fh "${long[@]}" -o out.y4m ;;
    broken-picture) fh -i "$work/cut.y4m" -o x.png ;;
    two-writers) two_writers ;;
    pipe-reader-quits)
      mkfifo p.y4m
      { head -c 50000 p.y4m >/dev/null; } &
      fh "${long[@]}" -o p.y4m
      ;;
    pipe-no-reader) mkfifo p.y4m && fh --size 64x36 -o p.y4m ;;
    same-outputs) fh --size 64x36 -o X.png --before ./X.png ;;
    folder) mkdir out.y4m && fh --size 64x36 -o out.y4m ;;
    dev-null) fh --size 64x36 -o /dev/null ;;
    no-output) fh --size 64x36 --frames 2 ;;
    stdin-closed) fh --size 64x36 --frames 2 -o out.y4m <&- ;;
    table-on-terminal)
      # The check box's (Japanese) name on a UTF-8 terminal, as a pipe gets
      # it: a terminal is a console to Wine, which reads bytes in its own
      # code page. `script` gives the run a terminal; its drawing codes go.
      local piped shown
      piped=$(fh --table | sed -n 's/^ *0 \(.*\) (default.*/\1/p')
      shown=$(script -qec "$(printf '%q ' env LANG=C.UTF-8 KELVO_WINE_TIMEOUT=$((120 * patience)) \
        "$root/scripts/wine-run" "$filterhost" --table)" /dev/null </dev/null |
        sed 's/\x1b\[[0-9;?]*[A-Za-z]//g')
      echo "through a pipe: $piped; on a terminal: $(grep -a '(default' <<<"$shown" | tail -n 1)"
      [ -n "$piped" ] && [[ "$shown" == *" 0 $piped (default"* ]]
      ;;
    big-raw) truncate -s $((64 * 36 * 6 * 400000)) big.yc && fh -i big.yc -s 64x36 -n 2 -o two.y4m ;;
    nul) fh --size 64x36 -o nul.y4m ;;
    nul-in-folder) mkdir sub && fh --size 64x36 -o sub/NUL.y4m ;;
    aux) fh --size 64x36 -o aux.y4m ;;
    com1) fh --size 64x36 -o Com1.png ;;
    con) fh --size 64x36 -o con.y4m ;;
    prn) fh --size 64x36 -o prn ;;
    lpt1) fh --size 64x36 -o lpt1.yc ;;
    aux-input) fh -i aux.y4m ;;
    nul-input) fh -i nul.y4m ;;
    other-case) echo "older out.y4m" >out.y4m && fh --size 64x36 --frames 2 -o OUT.y4m ;;
    other-case-cut) fh -i "$work/cut.y4m" -o Out.Y4m ;;
    killed) killed_then_again ;;
    partials-taken) fh -i "$work/cut.y4m" -o out.y4m ;;
    link) ln -s target.y4m link.y4m && fh --size 64x36 -o link.y4m ;;
    linked-folder) mkdir real && ln -s real dl && fh --size 64x36 -o dl/x.png --before real/X.png ;;
    terminal) on_terminal ;;
    stdout-closed) fh --size 64x36 -o - >&- ;;
    read-only) fh --size 64x36 -o ro/x.y4m ;;
    raw-pipe)
      mkfifo in.yc
      { head -c $((64 * 36 * 6 * 2)) /dev/zero >in.yc; } &
      fh -i in.yc -s 64x36 -o two.y4m
      ;;
    paused-input) paused_input ;;
    paused-header) paused_header ;;
    folder-renamed) folder_goes mv ;;
    folder-deleted) folder_goes rm ;;
  esac >"$messages" 2>>"$messages.err"
}

taken="out.partial.y4m=old $(for n in $(seq 2 99); do printf 'out.partial-%d.y4m=old ' "$n"; done)"

# NAME | STATUS | WHAT IT SAYS (grep -E, report and stderr) | WHAT THE FOLDER HOLDS AFTERWARDS
cases=(
  "sigint|4|stopped by Ctrl-C \(interrupt\) after frame [0-9]+, before the end; out.partial.y4m holds frames? (1 to )?[0-9]+, and out.y4m was left as it was|out.y4m=old out.partial.y4m=frames"
  "sigterm|4|stopped by Ctrl-C .* after frame [0-9]+, before the end; out.partial.y4m holds|out.y4m=old out.partial.y4m=frames"
  "sighup|4|stopped by Ctrl-C .* after frame [0-9]+, before the end; out.partial.y4m holds|out.y4m=old out.partial.y4m=frames"
  "sigquit|4|SIGQUIT, passed on.*after frame [0-9]+, before the end; out.partial.y4m holds|out.y4m=old out.partial.y4m=frames"
  "sigusr1|4|SIGUSR1, passed on.*after frame [0-9]+, before the end; out.partial.y4m holds|out.y4m=old out.partial.y4m=frames"
  "program-killed|143|ended without a word of its own \(by SIGTERM\); out.partial.y4m holds frames 1 to [0-9]+, and out.y4m was left as it was|out.y4m=old out.partial.y4m=frames"
  "wine-run-killed|137|it was killed\), passed on.*after frame [0-9]+, before the end; out.partial.y4m holds|out.y4m=old out.partial.y4m=frames"
  "sigint-pipe|4|after frame [0-9]+, before the end; frames? (1 to )?[0-9]+ w[aer]+ sent whole to standard output \(a pipe: a program reading it that was stopped too may have kept fewer\)|"
  "sigint-stdout-file|4|after frame [0-9]+, before the end; frames? (1 to )?[0-9]+ w[aer]+ written whole to standard output|out.y4m=any"
  "time-limit|124|stopped by Ctrl-C .*before the end; out.partial.y4m holds.*reached the time limit of [0-9]+ s|out.y4m=old out.partial.y4m=frames"
  "picture|4|before the end; x.partial.png holds frame [0-9]+, corrected, and x.png was left as it was; b.png holds the input of frame|x.png=old x.partial.png=png b.png=png"
  "cube|4|stopped by Ctrl-C \(interrupt\) before the cube was complete; g.cube was left as it was|g.cube=old"
  "report|4|stopped by Ctrl-C \(interrupt\) before the report was complete|rep=folder rep/precision.md=old"
  "cut|2|frame 3: the stream ends inside the frame.*out.partial.y4m holds frames 1 to 2, and out.y4m was left as it was|out.y4m=old out.partial.y4m=frames"
  "no-frames|2|the stream holds no frames.*no frame was written; out.y4m was left as it was|out.y4m=old"
  "full-disk|1|cannot write out.y4m: No space left on device.*out.partial.y4m holds frames 1 to|out.y4m=old out.partial.y4m=frames"
  "broken-picture|2|frame 3: .*x.partial.png holds frame 2, corrected, and x.png was left as it was|x.png=old x.partial.png=png"
  "two-writers|1|cannot write ./same.y4m: another run is writing it.*stopped by Ctrl-C .* same.y4m holds frames 1 to|same.y4m=frames"
  "pipe-reader-quits|1|cannot write p.y4m: the program reading it has closed the pipe.*frames 1 to [0-9]+ were sent whole to p.y4m|p.y4m=fifo"
  "pipe-no-reader|1|no program opened the named pipe for reading within 10 s|p.y4m=fifo"
  "same-outputs|2|--output X.png and --before ./X.png are one file|"
  "folder|2|--output out.y4m: this is a folder, not a file|out.y4m=folder"
  "dev-null|2|output /dev/null: to discard the result leave out --output|"
  "no-output|0|wrote: +nothing \(no --output given\)|"
  "stdin-closed|0|wrote: +out.y4m \(2 frames\)|out.y4m=size"
  "table-on-terminal|0|through a pipe: [^ ]+; on a terminal: +0 [^ ]+ \(default 0\)|"
  "big-raw|0|wrote: +two.y4m \(2 frames\)|big.yc=any two.y4m=size"
  "nul|2|NUL is a Windows device name.*leave out --output|nul.y4m=old"
  "nul-in-folder|2|NUL is a Windows device name, in any folder|sub=folder"
  "aux|2|AUX is a Windows device name.*a serial port|aux.y4m=old"
  "com1|2|COM1 is a Windows device name.*a serial port|"
  "con|2|CON is a Windows device name.*for standard output give -|"
  "prn|2|PRN is a Windows device name.*a printer port|"
  "lpt1|2|LPT1 is a Windows device name|lpt1.yc=old"
  "aux-input|2|input aux.y4m: AUX is a Windows device name.*rename the file|aux.y4m=old"
  "nul-input|2|input nul.y4m: NUL is a Windows device name|nul.y4m=old"
  "other-case|0|wrote: +out.y4m \(2 frames\).*--output OUT.y4m is the file out.y4m|out.y4m=size"
  "other-case-cut|2|out.partial.y4m holds frames 1 to 2, and out.y4m was left as it was|out.y4m=old out.partial.y4m=frames"
  "killed|0|wrote: +OUT.Y4M \(2 frames\)|OUT.Y4M=size"
  "partials-taken|2|out.y4m.filterhost.part holds frames 1 to 2, and out.y4m was left as it was \(out.partial.y4m to out.partial-99.y4m are all taken|out.y4m=old out.y4m.filterhost.part=frames $taken"
  "link|2|--output link.y4m: this is a symbolic link|target.y4m=old link.y4m=link"
  "linked-folder|2|--output dl/x.png and --before real/X.png are one file|real=folder dl=link"
  "terminal|2|--output -: standard output is a terminal|"
  "stdout-closed|2|--output -: standard output is closed|"
  "read-only|2|--output ro/x.y4m: no file can be made in ro: it lies on a file system mounted read-only|ro=folder"
  "raw-pipe|0|wrote: +two.y4m \(2 frames\)|in.yc=fifo two.y4m=size"
  "paused-input|4|stopped by Ctrl-C \(interrupt\) after frame 3, before the end; out.y4m holds frames 1 to 3|in.y4m=fifo out.y4m=frames"
  "paused-header|4|in.y4m: stopped by Ctrl-C \(interrupt\) while waiting for the header|in.y4m=fifo"
  "folder-renamed|4|frames 1 to [0-9]+ of d/out.y4m are in out.y4m.filterhost.part, in the folder that held it|d2=folder d2/out.y4m.filterhost.part=any"
  "folder-deleted|4|frames 1 to [0-9]+ of d/out.y4m went with its deleted folder|"
)

check_files() {  # EXPECTATIONS...
  local entry file kind n expected=()
  for entry in "$@"; do
    file=${entry%%=*}
    kind=${entry#*=}
    expected+=("$file")
    case $kind in
      old) [ "$(cat "$file" 2>/dev/null)" = "older $file" ] || fail "$name: $file was changed" ;;
      frames)
        n=$(grep -oE "$file holds frames? (1 to )?[0-9]+" "$messages" | grep -oE '[0-9]+$' | head -n 1)
        [ -n "$n" ] && cmp -s "$file" <(expected_stream "$n") ||
          fail "$name: $file is not the header and frames 1 to ${n:-?} whole"
        ;;
      png) [ "$(head -c 4 "$file" | tail -c 3)" = PNG ] || fail "$name: $file is no PNG" ;;
      size) [ "$(stat -c %s "$file")" = $((header + 2 * frame)) ] || fail "$name: $file" ;;
      any) [ -e "$file" ] || fail "$name: $file is gone" ;;
      fifo) [ -p "$file" ] || fail "$name: $file is no longer a named pipe" ;;
      link) [ -L "$file" ] || fail "$name: $file is no longer a symbolic link" ;;
      folder) [ -d "$file" ] || fail "$name: $file is no longer a folder" ;;
    esac
  done
  local held wanted
  held=$(find . -mindepth 1 | sed 's|^\./||' | sort)
  wanted=$(printf '%s\n' "${expected[@]}" | sed '/^$/d' | sort)
  [ "$held" = "$wanted" ] || fail "$name: the folder holds [$(echo $held)], not [$(echo $wanted)]"
}

for row in "${cases[@]}"; do
  IFS='|' read -r name status message files <<<"$row"
  [ "$only" = "  " ] || [[ "$only" == *" $name "* ]] || continue
  mkdir "$name"
  if [ "$name" = full-disk ]; then
    rmdir "$name"
    mkdir disk
    if ! mount -t tmpfs -o size=256k tmpfs disk 2>/dev/null; then
      echo "SKIPPED $name: no tmpfs can be mounted here (needs root)"
      continue
    fi
    ln -s disk "$name"
  fi
  if [ "$name" = read-only ]; then
    mkdir "$name/ro"
    if ! mount -t tmpfs -o ro,size=64k tmpfs "$name/ro" 2>/dev/null; then
      echo "SKIPPED $name: no file system can be mounted here (needs root)"
      continue
    fi
  fi
  if [ "$name" = terminal ] && ! command -v script >/dev/null; then
    echo "SKIPPED $name: no script(1) to give it a terminal"
    continue
  fi
  cd "$name"
  messages=$work/$name.said
  for entry in $files; do
    [ "${entry#*=}" = old ] && mkdir -p "$(dirname "${entry%%=*}")" && echo "older ${entry%%=*}" >"${entry%%=*}"
  done
  got=0
  run_case "$name" || got=$?
  # What it said on both outputs, on one line, the report first.
  cat "$messages.err" >>"$messages"
  tr '\n' ' ' <"$messages" >"$messages.line" && mv "$messages.line" "$messages"
  if [ "$got" != "$status" ]; then
    fail "$name: exit status $got, not $status: $(cat "$messages")"
  elif ! grep -qE -- "$message" "$messages"; then
    fail "$name: it does not say /$message/: $(cat "$messages")"
  else
    echo "$name: status $got; $(grep -oE -- "$message" "$messages" | cut -c 1-160)"
  fi
  check_files $files
  cd "$work"
done
[ "$failures" -eq 0 ] && echo "endings: ok"
exit $((failures > 0))

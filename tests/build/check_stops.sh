#!/usr/bin/env bash
# A stop at every step of the first run: scripts/run on a new machine,
# through the package installation, both configurations and builds, the
# virtual display's start, the Wine prefix's creation and the program,
# with Ctrl-C to its process group, SIGTERM and SIGHUP to it. Every one
# must end the run with a word naming the signal and a status that is not
# 0, and leave no process, no temporary file and no half-made prefix.
#
# Stand-ins on the PATH take the place of apt, cmake, Xvfb and Wine: each
# says when it is reached and then waits to be stopped, so each step is
# met for certain and at once. The scripts run from a copy of scripts/,
# with their own build/ folder.
set -u
source_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'pkill -KILL -f "$work/" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/root" "$work/bin" "$work/tmp"
cp -r "$source_root/scripts" "$work/root/"
reached=$work/reached
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# A stand-in: notes its call; at the step under test (its call begins with
# WAIT_AT) it waits for the stop, elsewhere it does its part at once.
standin() {  # NAME PASSING
  printf '#!/usr/bin/env bash\n%s\n%s\n' 'line="$(basename "$0") $*"; echo "$line" >>"$REACHED"
if [[ $line == "$WAIT_AT"* ]]; then trap "exit 130" INT; while :; do sleep 0.2; done; fi' \
    "$2" >"$work/bin/$1"
  chmod +x "$work/bin/$1"
}
standin dpkg 'case $1 in --print-foreign-architectures) echo i386;; esac; exit 0'
standin dpkg-query '[[ $WAIT_AT == apt-get* ]] && [ "$3" = ffmpeg ] && exit 1
echo "install ok installed"'
standin apt-get 'exit 0'
standin cmake 'exit 0'
standin Xvfb 'echo 99 >&4; exec sleep 600'
standin wineboot 'mkdir -p "$WINEPREFIX"'
standin wineserver 'exit 0'
standin wine 'case $1 in --version) echo wine-8.0; exit 0;; reg) exit 0;; esac
trap "echo heard >>\"$KELVO_RUN_LEDGER\"; echo \"program: stopped by Ctrl-C\" >&2; exit 4" INT
echo listening >>"$KELVO_RUN_LEDGER"
echo program >>"$REACHED"
while :; do sleep 0.2; done'

# The steps in order, each by the call that begins it.
steps=(
  "apt-get -o DPkg::Lock::Timeout=900 install"
  "cmake --preset native"
  "cmake --build --preset native"
  "cmake --preset win32"
  "cmake --build --preset win32"
  "Xvfb"
  "wineboot"
  "program"
)

for mark in "${steps[@]}"; do
  for signal in INT TERM HUP; do
    rm -rf "$work/root/build" "$work/tmp"/* "$reached"
    mkdir -p "$work/root/build"
    # A tree is configured once its configuration is past (the stand-in
    # cmake makes none), and the prefix made once the program is reached.
    case $mark in
      "cmake --build --preset native"|"cmake --preset win32") configured=native ;;
      "cmake --preset"*|apt*) configured="" ;;
      *) configured="native win32" ;;
    esac
    for tree in $configured; do
      mkdir -p "$work/root/build/$tree" && touch "$work/root/build/$tree/build.ninja"
    done
    [ "$mark" = "program" ] && mkdir -p "$work/root/build/wineprefix" &&
      touch "$work/root/build/wineprefix/.kelvo-ready"
    PATH="$work/bin:$PATH" TMPDIR="$work/tmp" REACHED="$reached" WAIT_AT="$mark" DISPLAY="" \
      KELVO_WINE_TIMEOUT=600 WINEPREFIX="$work/root/build/wineprefix" \
      setsid "$work/root/scripts/run" program.exe >"$work/out" 2>"$work/said" </dev/null &
    run=$!
    for _ in $(seq 600); do
      grep -q "^$mark" "$reached" 2>/dev/null && break
      kill -0 "$run" 2>/dev/null || break
      sleep 0.1
    done
    what="$signal during '$mark'"
    if ! grep -q "^$mark" "$reached" 2>/dev/null; then
      fail "$what: the step was never reached: $(tail -3 "$work/said")"
      kill -KILL -- -"$run" 2>/dev/null
      wait "$run"
      continue
    fi
    if [ "$signal" = INT ]; then kill -INT -- -"$run"; else kill -"$signal" "$run"; fi
    for _ in $(seq 1800); do kill -0 "$run" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$run" 2>/dev/null && { fail "$what: still running after 3 minutes"; kill -KILL -- -"$run"; }
    wait "$run"
    status=$?
    if [ "$status" = 0 ]; then fail "$what: status 0"; fi
    if ! grep -q "stopped by SIG$signal\|SIG$signal, passed on\|stopped by Ctrl-C" "$work/said"; then
      fail "$what: no word on the stop: $(tail -2 "$work/said")"
    fi
    # Everything the run started carries its environment. What was ended
    # may take a moment to go on a busy machine; what was left stays.
    for _ in $(seq 200); do
      left=$(grep -lsF "REACHED=$reached" /proc/[0-9]*/environ | cut -d/ -f3 |
        xargs -r ps -o pid=,args= -p)
      [ -n "$left" ] || break
      sleep 0.1
    done
    [ -z "$left" ] || { fail "$what: left running: $left"; pkill -KILL -f "$work/"; }
    [ -z "$(ls -A "$work/tmp")" ] || fail "$what: left in TMPDIR: $(ls -A "$work/tmp")"
    if [ "$mark" = wineboot ] && [ -e "$work/root/build/wineprefix" ]; then
      fail "$what: left a half-made prefix"
    fi
  done
done

[ "$failures" = 0 ] || { echo "$failures failures"; exit 1; }
echo "stops at every step of the first run: ok (${#steps[@]} steps, 3 signals)"

#!/usr/bin/env bash
# scripts/apt-lock-wait, as scripts/setup uses it, against a lock held the
# way apt holds its own (an fcntl lock): it waits while the lock is held,
# goes on once it is released, and gives up with a message at its limit.
set -u
wait_script=$(realpath "$(dirname "$0")/../../scripts/apt-lock-wait")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Holds an fcntl lock on $1 for $2 seconds; the lock is held once $1.held exists.
hold() {
  python3 -c 'import fcntl, sys, time
f = open(sys.argv[1], "w"); fcntl.lockf(f, fcntl.LOCK_EX)
open(sys.argv[1] + ".held", "w").close(); time.sleep(float(sys.argv[2]))' "$1" "$2" &
  holder=$!
  while [ ! -e "$1.held" ]; do sleep 0.1; done
}

hold "$work/released" 3
started=$(date +%s)
KELVO_APT_LOCK_WAIT=30 "$wait_script" "$work/missing" "$work/released" 2>"$work/out1" ||
  fail "gave up on a lock that was released after 3 s: $(cat "$work/out1")"
[ $(($(date +%s) - started)) -ge 2 ] || fail "did not wait for the held lock"
grep -q "another package installation is running" "$work/out1" || fail "did not say why it waits"

hold "$work/kept" 20
KELVO_APT_LOCK_WAIT=2 "$wait_script" "$work/kept" 2>"$work/out2" && fail "did not give up at its limit"
grep -q "still held by process" "$work/out2" || fail "no message at the limit: $(cat "$work/out2")"
kill "$holder" 2>/dev/null

[ "$failures" -eq 0 ] && echo "apt lock wait: ok"
exit $((failures > 0))

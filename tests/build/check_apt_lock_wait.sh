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

# Holds an fcntl lock on $1 until the holder is ended; the lock is held once
# $1.held exists.
hold() {
  python3 -c 'import fcntl, sys, time
f = open(sys.argv[1], "w"); fcntl.lockf(f, fcntl.LOCK_EX)
open(sys.argv[1] + ".held", "w").close(); time.sleep(600)' "$1" &
  holder=$!
  while [ ! -e "$1.held" ]; do sleep 0.1; done
}

# Released while the wait says why it waits: the wait goes on.
hold "$work/released"
KELVO_APT_LOCK_WAIT=600 "$wait_script" "$work/missing" "$work/released" 2>"$work/out1" &
waiter=$!
for _ in $(seq 6000); do
  grep -q "another package installation is running" "$work/out1" && break
  kill -0 "$waiter" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$waiter" 2>/dev/null || fail "did not wait for the held lock: $(cat "$work/out1")"
kill "$holder"
wait "$waiter" || fail "gave up on a lock that was released: $(cat "$work/out1")"
grep -q "another package installation is running" "$work/out1" || fail "did not say why it waits"

# Kept past the wait's limit: it gives up and says who holds the lock.
hold "$work/kept"
KELVO_APT_LOCK_WAIT=2 "$wait_script" "$work/kept" 2>"$work/out2" && fail "did not give up at its limit"
grep -q "still held by process" "$work/out2" || fail "no message at the limit: $(cat "$work/out2")"
kill "$holder" 2>/dev/null

[ "$failures" -eq 0 ] && echo "apt lock wait: ok"
exit $((failures > 0))

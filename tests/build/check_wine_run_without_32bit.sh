#!/usr/bin/env bash
# scripts/wine-run on a kernel that does not run 32-bit programs (a stand-in
# wine fails as Wine's 32-bit loader does there): it says what is missing,
# exits 126 at once and makes no Wine prefix.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#!/bin/sh\necho "/usr/bin/wine: 40: exec: /usr/lib/wine/wine: Exec format error" >&2\nexit 126\n' \
  >"$work/wine"
chmod +x "$work/wine"
PATH="$work:$PATH" WINEPREFIX="$work/prefix" \
  "$(dirname "$0")/../../scripts/wine-run" program.exe 2>"$work/said"
status=$?
[ "$status" -eq 126 ] || { echo "FAIL: exit status $status, not 126"; exit 1; }
grep -q "cannot run 32-bit programs" "$work/said" || { echo "FAIL: said $(cat "$work/said")"; exit 1; }
[ ! -e "$work/prefix" ] || { echo "FAIL: made a Wine prefix"; exit 1; }
echo "wine-run without 32-bit programs: ok"

#!/usr/bin/env bash
# Checks the release archive as a user receives it: one top folder named
# after the archive, holding exactly kelvo.auf (byte for byte the one built),
# the licence, the third-party notices and the guide with the pictures its
# page shows; the guide's page filled in completely, naming every slider and
# quoting every message the plug-in can show.
# usage: check_package.sh ARCHIVE.zip BUILT_KELVO_AUF SOURCE_ROOT
set -u
archive=$(realpath "$1")
built=$(realpath "$2")
source_root=$(realpath "$3")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -f "$archive" ] || { echo "FAIL: no archive $archive"; exit 1; }
top=$(basename "$archive" .zip)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$archive") || { echo "FAIL: cannot unpack $archive"; exit 1; }

# Every file, relative to the top folder; nothing may lie outside it.
files=$(cd "$work" && find . -type f | sed 's|^\./||' | sort)
outside=$(grep -v "^$top/" <<<"$files")
[ -z "$outside" ] || fail "files outside $top/: $outside"
files=$(sed -n "s|^$top/||p" <<<"$files")

page=$work/$top/guide/guide.html
shown=""
if [ -f "$page" ]; then
  shown=$(grep -o 'src="pictures/[^"]*"' "$page" | sed 's/^src="//; s/"$//; s|^|guide/|' | sort -u)
  [ -n "$shown" ] || fail "the guide shows no pictures"
fi
expected=$(printf '%s\n' kelvo.auf LICENSE.txt THIRD-PARTY-NOTICES.txt guide/guide.html $shown | sort)
if [ "$files" != "$expected" ]; then
  fail "contents differ from what is expected:"
  diff <(echo "$expected") <(echo "$files") | sed -n 's/^< /  missing: /p; s/^> /  unexpected: /p'
fi

if [ -f "$work/$top/kelvo.auf" ]; then
  cmp -s "$work/$top/kelvo.auf" "$built" || fail "kelvo.auf in the archive is not $built"
fi

if [ -f "$page" ]; then
  grep -q '<!-- ' "$page" && fail "the guide has unfilled markers: $(grep -o '<!-- [^>]*-->' "$page" | tr '\n' ' ')"
  # Every Japanese text of the plug-in's sources (its error messages) and
  # every slider caption of its table, quoted exactly.
  while IFS= read -r message; do
    grep -qF -- "$message" "$page" || fail "the guide does not quote the message $message"
  done < <(grep -ohP 'L"\K[^"]*[^\x00-\x7F][^"]*(?=")' "$source_root"/engine/*.cpp "$source_root"/plugin/*.cpp | sort -u)
  captions=$(sed -n '/trackNames\[trackCount\] = {/,/};/p' "$source_root/plugin/filter_table.cpp" \
             | grep -o '"[^"]*"' | tr -d '"')
  [ "$(wc -w <<<"$captions")" -eq 16 ] || fail "could not read the 16 slider captions"
  for caption in $captions; do
    grep -qF -- "<code>$caption</code>" "$page" || fail "the guide does not describe the slider $caption"
  done
  # The check box caption is kept as its Shift-JIS bytes.
  check=$(sed -n '/checkNames\[1\] = {/,/};/p' "$source_root/plugin/filter_table.cpp" \
          | grep -o '"[^"]*"' | tr -d '"')
  check=$(printf '%b' "$check" | iconv -f CP932 -t UTF-8) || fail "cannot read the check box caption"
  [ -n "$check" ] && grep -qF -- "$check" "$page" || fail "the guide does not name the check box $check"
fi

echo "archive: $(basename "$archive"), $(wc -l <<<"$files") files"
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"

#!/usr/bin/env bash
# Checks the release archive as a user receives it: one top folder named
# after the archive, holding exactly kelvo.auf (byte for byte the one built,
# without debug information, which stays beside the build in
# kelvo.auf.debug), a README.txt that says what to do (Japanese first; in
# both languages the sections a user looks for and the filter's names as the
# sources spell them), the licence, the
# third-party notices and the guide in English and Japanese with the
# pictures their pages show; each page filled in completely, linking to the
# other, naming every slider and quoting every message the plug-in can show;
# every text file UTF-8 with a byte-order mark and CR LF line ends, as
# Notepad on any Windows shows it right.
# usage: check_package.sh ARCHIVE.zip BUILT_KELVO_AUF SOURCE_ROOT [OBJDUMP]
set -u
archive=$(realpath "$1")
built=$(realpath "$2")
source_root=$(realpath "$3")
objdump=${4:-i686-w64-mingw32-objdump}
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

pages="guide/guide.html guide/guide.ja.html"
shown=""
for page in $pages; do
  [ -f "$work/$top/$page" ] || continue
  pictures=$(grep -o 'src="pictures/[^"]*"' "$work/$top/$page" | sed 's/^src="//; s/"$//; s|^|guide/|')
  [ -n "$pictures" ] || fail "$page shows no pictures"
  shown=$(printf '%s\n' $shown $pictures | sort -u)
done
expected=$(printf '%s\n' kelvo.auf README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt $pages $shown | sort)
if [ "$files" != "$expected" ]; then
  fail "contents differ from what is expected:"
  diff <(echo "$expected") <(echo "$files") | sed -n 's/^< /  missing: /p; s/^> /  unexpected: /p'
fi

if [ -f "$work/$top/kelvo.auf" ]; then
  cmp -s "$work/$top/kelvo.auf" "$built" || fail "kelvo.auf in the archive is not $built"
  debug=$("$objdump" -h "$work/$top/kelvo.auf" | grep -o '\.debug_[a-z_]*' | tr '\n' ' ')
  [ -z "$debug" ] || fail "kelvo.auf in the archive carries debug information: $debug"
fi
"$objdump" -h "$built.debug" 2>/dev/null | grep -q '\.debug_info' ||
  fail "no debug information in $built.debug beside the build"

for text in README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt; do
  file=$work/$top/$text
  [ -f "$file" ] || continue
  [ "$(od -An -tx1 -N3 "$file" | tr -d " \n")" = efbbbf ] || fail "$text has no UTF-8 byte-order mark"
  iconv -f UTF-8 -t UTF-8 "$file" >/dev/null 2>&1 || fail "$text is not UTF-8"
  lines=$(wc -l <"$file")
  [ "$(grep -c $'\r$' "$file")" = "$lines" ] || fail "$text has line ends other than CR LF"
done
readme=$work/$top/README.txt
if [ -f "$readme" ]; then
  for mention in kelvo.auf d3dx9_40.dll 'Direct3D 9' 'guide\guide.ja.html' 'guide\guide.html' \
                 '■ インストールしたあとに表示されるもの' '* What you see after installing' \
                 '■ フィルターをオンにする' '* Switching the filter on' \
                 '■ アンインストール' '* Uninstalling' \
                 '■ 新しい版に入れ替える' '* Upgrading to a new version' \
                 '■ 問題を報告するときは' '* Reporting a problem'; do
    grep -qF -- "$mention" "$readme" || fail "README.txt does not mention $mention"
  done
  # The names a user meets, as the build and the sources spell them, in
  # each language: the file, the filter's name and information text in the
  # editor, the message boxes' title, the debug window's title ("Tarnel"
  # alone, not as part of "Tarnel(Prof)").
  version=${top#kelvo-}
  table=$(sed -n '/FilterDescription correctionFilter = {/,/};/p' "$source_root/plugin/correction_filter.cpp")
  names=("$(basename "$built")"
         "$(grep -oP '^\s*"\K[^"]+(?=",)' <<<"$table" | head -n 1)"
         "$(grep -oP '"\K[^"]+(?=" KELVO_SHORT_VERSION)' <<<"$table")$(cut -d. -f1,2 <<<"${version%-win32}")"
         "$(grep -oP 'MessageBoxW\(.*L"\K[^"]+' "$source_root/engine/show_error.cpp")"
         "$(grep -oP 'KELVO_DEBUG_WINDOW_TITLE "\K[^"]+' "$source_root/host_interface/debug_window.h")")
  japanese=$(sed -n '1,/^\[English\]/p' "$readme")
  english=$(sed -n '/^\[English\]/,$p' "$readme")
  for name in "${names[@]}"; do
    [ -n "$name" ] || { fail "cannot read the filter's names from the sources"; continue; }
    grep -qP -- "\Q$name\E(?![\w(])" <<<"$japanese" || fail "README.txt's Japanese part does not name $name"
    grep -qP -- "\Q$name\E(?![\w(])" <<<"$english" || fail "README.txt's English part does not name $name"
  done
  # The message of a missing DirectX runtime, the one a user meets before
  # opening the guide, word for word: each piece of its source on a line.
  pieces=$(sed -n '/{errorD3dxMissing,/,/},/p' "$source_root/engine/show_error.cpp" | grep -oP 'L"\K[^"]+')
  [ -n "$pieces" ] || fail "cannot read the missing-D3DX message in engine/show_error.cpp"
  while IFS= read -r piece; do
    grep -qF -- "$piece" "$readme" || fail "README.txt does not quote the message $piece"
  done <<<"$pieces"
  # Japanese first: the first line with Japanese comes before "[English]".
  first_ja=$(grep -nP '[\x{3040}-\x{30FF}\x{4E00}-\x{9FFF}]' "$readme" | head -n 1 | cut -d: -f1)
  english=$(grep -n '^\[English\]' "$readme" | head -n 1 | cut -d: -f1)
  [ -n "$first_ja" ] && [ -n "$english" ] && [ "$first_ja" -lt "$english" ] ||
    fail "README.txt does not begin in Japanese"
fi

for page_name in $pages; do
  page=$work/$top/$page_name
  [ -f "$page" ] || { fail "no $page_name"; continue; }
  other=$(basename "$(grep -v "^$page_name\$" <<<"$(printf '%s\n' $pages)")")
  grep -q "href=\"$other\"" "$page" || fail "$page_name does not link to $other"
  grep -q '<!-- ' "$page" && fail "$page_name has unfilled markers: $(grep -o '<!-- [^>]*-->' "$page" | tr '\n' ' ')"
  # Every Japanese text of the plug-in's sources (its error messages) and
  # every slider caption of its table, quoted exactly.
  while IFS= read -r message; do
    grep -qF -- "$message" "$page" || fail "$page_name does not quote the message $message"
  done < <(grep -ohP 'L"\K[^"]*[^\x00-\x7F][^"]*(?=")' "$source_root"/core/*.cpp "$source_root"/engine/*.cpp "$source_root"/plugin/*.cpp | sort -u)
  captions=$(sed -n '/correctionTracks\[\] = {/,/};/p' "$source_root/core/correction_tracks.h" \
             | grep -o '"[^"]*"' | tr -d '"')
  [ "$(wc -w <<<"$captions")" -eq 16 ] || fail "could not read the 16 slider captions"
  for caption in $captions; do
    grep -qF -- "<code>$caption</code>" "$page" || fail "$page_name does not describe the slider $caption"
  done
  # The check box caption is kept as its Shift-JIS bytes.
  check=$(sed -n '/checkNames\[\] = {/,/};/p' "$source_root/plugin/correction_filter.cpp" \
          | grep -o '"[^"]*"' | tr -d '"')
  check=$(printf '%b' "$check" | iconv -f CP932 -t UTF-8) || fail "cannot read the check box caption"
  [ -n "$check" ] && grep -qF -- "$check" "$page" || fail "$page_name does not name the check box $check"
done

echo "archive: $(basename "$archive"), $(wc -l <<<"$files") files"
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"

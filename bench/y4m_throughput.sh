#!/usr/bin/env bash
# What filterhost adds to the plug-in's frame time on a YUV4MPEG2 stream,
# measured side by side in the same runs. filterhost times every frame and
# prints medians in its summary line: its own work on the host's thread
# (waiting for the next frame, encoding, handing it to the writer), the
# reading and decoding and the writing that run on threads of their own
# while the plug-in works, the onProcess call, and the period from one
# frame's start to the next.
#
# Three ways, in alternation: the stream from a file to a file, from a file
# through a pipe to cat (as to an encoder: writing into a pipe costs what the
# reader takes to drain it), and the same frames held in memory with no
# output, which is the plug-in alone. The last lines compare each stream's
# frame period with the plug-in alone, which counts the threads' work too
# where it slows the plug-in down.
#
# The stream is a testsrc2 clip from ffmpeg, 1920x1080 unless SIZE says
# otherwise, yuv444p16le unless PIX_FMT does (yuv444p, yuv444p10le,
# yuv444p12le), limited range unless RANGE=full. REPEATS (default 5) runs of
# FRAMES (default 10) frames each way. Further arguments go to filterhost
# (tracks, say). FILTERHOST=path/to/filterhost.exe runs another build (its
# plug-in beside it).
#
#   bench/y4m_throughput.sh [REPEATS] [FRAMES] [FILTERHOST OPTIONS...]
#
# Runs in WINEPREFIX when set (scripts/wine-run's default otherwise).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
repeats=${1:-5}
frames=${2:-10}
shift $(($# < 2 ? $# : 2))
size=${SIZE:-1920x1080}
pix_fmt=${PIX_FMT:-yuv444p16le}
case ${RANGE:-limited} in
  limited) color_range=tv ;;
  full) color_range=pc ;;
  *) echo "RANGE must be limited or full" >&2; exit 2 ;;
esac
filterhost=("$root/scripts/wine-run" "${FILTERHOST:-$root/build/win32/bin/filterhost.exe}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v "$frames" \
  -pix_fmt "$pix_fmt" -color_range "$color_range" -strict -1 -f yuv4mpegpipe "$work/clip.y4m"
(cd "$work" && "${filterhost[@]}" --input clip.y4m --output clip.raw --no-timing >/dev/null 2>&1)

median() { sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
figure() { sed -nE "s/.*$1.*/\\1/p" <<<"$2" | grep . || echo 0; }

echo "stream: $size $pix_fmt, ${RANGE:-limited} range; $frames frames a run"
echo "machine: $(uptime)"
echo
echo "| way | run | own work ms | reading ms | writing ms | plug-in ms | frame period ms |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for ((r = 1; r <= repeats; ++r)); do
  for way in file pipe memory; do
    (cd "$work" && case $way in
       file) "${filterhost[@]}" --input clip.y4m --output out.y4m --no-timing "$@" >/dev/null 2>err ;;
       pipe) "${filterhost[@]}" --input clip.y4m --output - --no-timing "$@" 2>err | cat >/dev/null ;;
       memory) "${filterhost[@]}" --raw --input clip.raw --size "$size" --progress --no-timing "$@" \
                 >/dev/null 2>err ;;
     esac)
    line=$(grep '^filterhost: .* own work' "$work/err") || { cat "$work/err" >&2; exit 1; }
    own=$(figure 'own work ([0-9.]+) ms' "$line")
    reading=$(figure ' ([0-9.]+) ms reading' "$line")
    writing=$(figure ' ([0-9.]+) ms writing' "$line")
    plugin=$(figure "plug-in's ([0-9.]+) ms" "$line")
    period=$(figure 'a frame every ([0-9.]+) ms' "$line")
    echo "$way $own $reading $writing $plugin $period" >>"$work/runs"
    printf '| %s | %d | %.1f | %.1f | %.1f | %.1f | %.1f |\n' \
      "$way" "$r" "$own" "$reading" "$writing" "$plugin" "$period"
  done
done
column() { awk -v w="$1" -v c="$2" '$1 == w {print $c}' "$work/runs" | median; }
for way in file pipe memory; do
  printf '| %s | median | %.1f | %.1f | %.1f | %.1f | %.1f |\n' "$way" \
    "$(column "$way" 2)" "$(column "$way" 3)" "$(column "$way" 4)" "$(column "$way" 5)" \
    "$(column "$way" 6)"
done
echo
alone=$(column memory 5)
for way in file pipe; do
  awk -v w="$way" -v own="$(column "$way" 2)" -v plugin="$(column "$way" 5)" \
      -v period="$(column "$way" 6)" -v alone="$alone" 'BEGIN {
    printf "%s: own work %.1f %% of the plug-in'"'"'s frame; a frame every %.1f ms, %+.1f %% against the plug-in alone (%.1f ms)\n",
      w, 100 * own / plugin, period, 100 * (period / alone - 1), alone }'
done
echo
echo "machine: $(uptime)"

#!/usr/bin/env bash
# filterhost's own work on a YUV4MPEG2 stream (reading and parsing, the
# conversion to and from the host's pixels, writing) against the plug-in's
# frame time, side by side in the same runs: filterhost times both for every
# frame and prints their medians in its summary line. The stream is a
# 1920x1080 testsrc2 clip from ffmpeg, C444p16 unless PIX_FMT says otherwise,
# in a file (so that reading does not wait for a producer). The output goes,
# in alternate runs, to a file and through a pipe to cat, as it would to an
# encoder: writing 12 MB into a pipe costs what the reader takes to drain it.
# REPEATS (default 5) runs of FRAMES (default 10) frames each way; the table
# shows every run and the medians over the runs.
# Further arguments go to filterhost (tracks, say); SIZE overrides the size,
# PIX_FMT the depth (yuv444p, yuv444p10le, yuv444p12le; default yuv444p16le)
# RANGE=full makes a full-range stream (XCOLORRANGE=FULL), and FILTERHOST
# runs another build of filterhost.exe (one kept from before a change).
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
filterhost=$(realpath "${FILTERHOST:-$root/build/win32/bin/filterhost.exe}")
pix_fmt=${PIX_FMT:-yuv444p16le}
case ${RANGE:-limited} in
  limited) color_range=tv ;;
  full) color_range=pc ;;
  *) echo "RANGE must be limited or full" >&2; exit 2 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v "$frames" \
  -pix_fmt "$pix_fmt" -color_range "$color_range" -strict -1 -f yuv4mpegpipe "$work/clip.y4m"

median() { sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

echo "stream: $size $pix_fmt, ${RANGE:-limited} range; $filterhost"
echo "machine: $(uptime)"
echo
percent() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.1f", 100 * a / b}'; }
echo "| output | run | own work ms | plug-in ms | own / plug-in |"
echo "|---|---:|---:|---:|---:|"
for ((r = 1; r <= repeats; ++r)); do
  for way in file pipe; do
    (cd "$work" && if [ "$way" = file ]; then
       "$root/scripts/wine-run" "$filterhost" --input clip.y4m \
         --output out.y4m --no-timing "$@" >/dev/null 2>err
     else
       "$root/scripts/wine-run" "$filterhost" --input clip.y4m \
         --output - --no-timing "$@" 2>err | cat >/dev/null
     fi)
    line=$(grep '^filterhost: .* own work' "$work/err") || { cat "$work/err" >&2; exit 1; }
    own=$(sed -E 's/.*own work ([0-9.]+) ms.*/\1/' <<<"$line")
    plugin=$(sed -E "s/.*plug-in's ([0-9.]+) ms.*/\1/" <<<"$line")
    echo "$way $own $plugin" >>"$work/runs"
    printf '| %s | %d | %.1f | %.1f | %s %% |\n' "$way" "$r" "$own" "$plugin" "$(percent "$own" "$plugin")"
  done
done
for way in file pipe; do
  own=$(awk -v w="$way" '$1 == w {print $2}' "$work/runs" | median)
  plugin=$(awk -v w="$way" '$1 == w {print $3}' "$work/runs" | median)
  printf '| %s | median | %.1f | %.1f | %s %% |\n' "$way" "$own" "$plugin" "$(percent "$own" "$plugin")"
done
echo
echo "machine: $(uptime)"

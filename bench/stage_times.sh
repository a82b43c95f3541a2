#!/usr/bin/env bash
# Stage times of the plug-in per texture format and frame size, measured
# through filterhost under Wine on its built-in test picture. Every
# combination runs REPEATS times (default 3), each run FRAMES frames; the
# table shows, per stage, the median over the runs of each run's median.
# Further arguments go to filterhost (tracks, say); SIZES overrides the
# frame sizes (default "1920x1080 3840x2160").
#
#   bench/stage_times.sh [REPEATS] [FRAMES] [FILTERHOST OPTIONS...]
#
# Runs in WINEPREFIX when set (scripts/wine-run's default otherwise).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
repeats=${1:-3}
frames=${2:-10}
shift $(($# < 2 ? $# : 2))
read -r -a sizes <<<"${SIZES:-1920x1080 3840x2160}"
names=(F32 F16 U16 S16 U10)

median() { sort -g | awk '{v[NR] = $1} END {if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

results=$(mktemp)
trap 'rm -f "$results"' EXIT
for ((r = 0; r < repeats; ++r)); do
  for size in "${sizes[@]}"; do
    for kind in 0 1 2 3 4; do
      "$root/scripts/wine-run" "$root/build/win32/bin/filterhost.exe" --size "$size" \
          --frames "$frames" "$@" --track "15=$kind" 2>/dev/null |
        awk -v size="$size" -v kind="$kind" \
          '$1 ~ /^(Put|Proc|Get|Total)$/ && NF == 5 {print size, kind, $1, $3}' >>"$results"
    done
  done
done

echo "| size | format | Put ms | Proc ms | Get ms | whole frame (host) ms |"
echo "|---|---|---:|---:|---:|---:|"
for size in "${sizes[@]}"; do
  for kind in 0 1 2 3 4; do
    row="| ${size/x/×} | ${names[$kind]} |"
    for stage in Put Proc Get Total; do
      value=$(awk -v size="$size" -v kind="$kind" -v stage="$stage" \
                '$1 == size && $2 == kind && $3 == stage {print $4}' "$results" | median)
      row+=" $(printf '%.1f' "${value:-0}") |"
    done
    echo "$row"
  done
done

#!/usr/bin/env bash
# filterhost against ffmpeg, software nobody here wrote (small sizes, a few
# frames, so that it stays quick):
#
#   video  testsrc2 clips from ffmpeg through filterhost (under Wine) and back
#          into ffmpeg, with Linux pipes on both sides, at 8, 10 and 16 bits,
#          limited and full range, with every track at 0 and with strong
#          settings; ffmpeg's decoding of the result must hold every frame at
#          its size, and every pixel where the reference model puts it
#          (video_check stream). Then a stream cut short and a reader that
#          closes the pipe early: filterhost must say which frame, exit
#          non-zero, and ffmpeg must get every frame before it whole.
#   lut    a picture graded by ffmpeg's lut3d with cubes exported by
#          filterhost --cube (17 and 33 points per side) against the same
#          picture graded by the plug-in (video_check lut).
#
#   ffmpeg_check.sh video|lut FILTERHOST.exe VIDEO_CHECK
set -euo pipefail
part=$1
filterhost=$2
video_check=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fh() { KELVO_WINE_TIMEOUT=120 "$root/scripts/wine-run" "$filterhost" "$@"; }
ff() { ffmpeg -nostdin -hide_banner -v error "$@"; }
fail() { echo "FAILED: $*" >&2; exit 1; }
# Strong settings: Cb and Cr gain 1.25 and gamma on R, G and B (the demo's);
# Y gain, R gamma and a B offset.
colourful=(3=64 5=64 8=-96 11=-96 14=-96)
brighter=(1=40 8=-90 12=30)
tracks() { for t in "$@"; do printf -- '--track %s ' "$t"; done; }
frames=4

# NAME PIX_FMT RANGE(tv|pc) CHECKED_RANGE ALLOWED_MOVE TRACKS...
through_filterhost() {
  local name=$1 pix_fmt=$2 range=$3 checked=$4 move=$5
  shift 5
  ff -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v "$frames" -pix_fmt "$pix_fmt" \
     -color_range "$range" -strict -1 -f yuv4mpegpipe - |
    tee "$name.in.y4m" |
    fh --input - --output - --no-timing $(tracks "$@") 2>"$name.err" |
    ff -f yuv4mpegpipe -i - -c:v ffv1 "$name.mkv" ||
    fail "$name: the pipeline failed: $(cat "$name.err")"
  ff -i "$name.mkv" -strict -1 -f yuv4mpegpipe "$name.out.y4m"
  echo "$name ($pix_fmt, $range):"
  "$video_check" stream "$name.in.y4m" "$name.out.y4m" "$frames" "$checked" "$move" "$@" ||
    fail "$name"
}

if [ "$part" = video ]; then
  # With every track at 0, 8 bits come back unchanged and 16 bits within
  # half a host unit (7 codes limited, 8 full).
  through_filterhost identity8 yuv444p tv limited 0
  through_filterhost identity16 yuv444p16le tv limited 7
  through_filterhost identity16full yuv444p16le pc full 8
  through_filterhost colourful10 yuv444p10le tv limited -1 "${colourful[@]}"
  through_filterhost brighter16full yuv444p16le pc full -1 "${brighter[@]}"
  grep -q "XCOLORRANGE=FULL" identity16full.in.y4m || fail "ffmpeg did not mark full range"

  # 96x64 at 16 bits: 36864 bytes a frame. Cut inside frame 2.
  head -c $((100 + 2 * 36870 + 5000)) identity16.in.y4m |
    { status=0; fh --input - --output - --no-timing 2>cut.err || status=$?; echo $status >cut.status; } |
    ff -f yuv4mpegpipe -i - -c:v ffv1 cut.mkv || fail "ffmpeg could not read the frames before the cut"
  [ "$(cat cut.status)" = 2 ] || fail "a cut stream must exit with 2, not $(cat cut.status)"
  grep -q "frame 2: the stream ends inside the frame" cut.err || fail "cut: $(cat cut.err)"
  got=$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 cut.mkv)
  [ "$got" = 2 ] || fail "ffmpeg read $got frames before the cut, not 2"
  echo "cut stream: exit 2, ffmpeg read $got whole frames; $(grep -o 'frame 2: .*' cut.err)"

  # A reader that stops after 100 kB of a long stream.
  ff -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 60 -pix_fmt yuv444p16le -strict -1 \
     -f yuv4mpegpipe long.y4m
  { status=0; fh --input long.y4m --output - --no-timing 2>closed.err || status=$?; echo $status >closed.status; } |
    head -c 100000 >/dev/null
  [ "$(cat closed.status)" = 1 ] || fail "a closed pipe must exit with 1, not $(cat closed.status)"
  grep -q "cannot write standard output: the program reading it has closed the pipe" closed.err ||
    fail "closed pipe: $(cat closed.err)"
  echo "closed pipe: exit 1; $(grep -o 'frame [0-9]*: cannot write.*' closed.err)"
elif [ "$part" = lut ]; then
  ff -f lavfi -i testsrc2=size=160x120 -frames:v 1 picture.png
  fh --input picture.png --output plugin.png --no-timing $(tracks "${colourful[@]}") >/dev/null
  args=()
  for size in 17 33; do
    fh --cube "lut$size.cube" --cube-size "$size" $(tracks "${colourful[@]}") >/dev/null
    ff -i picture.png -vf "lut3d=file=lut$size.cube" -pix_fmt rgb24 "graded$size.png"
    args+=("lut$size.cube" "graded$size.png")
  done
  "$video_check" lut plugin.png "${args[@]}" || fail "the LUTs do not grade as the plug-in does"
else
  echo "usage: ffmpeg_check.sh video|lut FILTERHOST.exe VIDEO_CHECK" >&2
  exit 2
fi

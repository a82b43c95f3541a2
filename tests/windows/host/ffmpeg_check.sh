#!/usr/bin/env bash
# filterhost against ffmpeg, software nobody here wrote (small sizes, a few
# frames, so that it stays quick):
#
#   video  testsrc2 clips from ffmpeg through filterhost (under Wine) and back
#          into ffmpeg, with Linux pipes on both sides, at 8, 10 and 16 bits,
#          limited and full range, with every track at 0 and with strong
#          settings; ffmpeg's decoding of the result must hold every frame at
#          its size, and every pixel where the reference model puts it
#          (video_check stream). An HD clip in BT.709 against ffmpeg's own
#          BT.709 conversion both ways. Then a stream cut short and a reader that
#          closes the pipe early: filterhost must say which frame, exit
#          non-zero, and ffmpeg must get every frame before it whole.
#   lut    a picture graded by ffmpeg's lut3d with cubes exported by
#          filterhost --cube (17 and 33 points per side) against the same
#          picture graded by the plug-in (video_check lut).
#   files  the user's files: an output that is the input (the same name,
#          another spelling, a symbolic or a hard link, a redirection) is
#          refused and the input left as it was; on a full file system (a
#          small tmpfs, where it can be mounted) a stream to a file or to
#          standard output redirected to a file holds whole frames only, and
#          a LUT or picture leaves nothing behind and an older file of its
#          name untouched, each with the system's reason and exit status 1.
#
#   ffmpeg_check.sh video|lut|files FILTERHOST.exe VIDEO_CHECK
set -euo pipefail
part=$1
filterhost=$2
video_check=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

patience=$("$root/scripts/patience")
fh() { KELVO_WINE_TIMEOUT=$((120 * patience)) "$root/scripts/wine-run" "$filterhost" "$@"; }
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

  # A video file as input is answered with commands that grade it: pasted
  # in another folder they must work as they are (scripts/run by its full
  # path, stood in for by wine-run here so that no build starts), write
  # the output that was asked for, with the sound, and know the length.
  ff -f lavfi -i testsrc2=size=96x64:rate=25 -f lavfi -i sine -frames:v "$frames" -t 0.16 \
     -c:v libx264 -c:a aac "source clip.mp4"
  status=0
  fh --input "source clip.mp4" --output "graded clip.mkv" --track 'Y(gain)=40' 2>advice.err ||
    status=$?
  [ "$status" = 2 ] || fail "a video file as input: exit $status, not 2: $(cat advice.err)"
  grep -qF "    $root/scripts/run --input - --output - --frames-expected" advice.err ||
    fail "the advice does not start filterhost by the full path of scripts/run: $(cat advice.err)"
  sed '1,/^filterhost: /d' advice.err |
    sed "s|$root/scripts/run|$root/scripts/wine-run $filterhost --progress|" >advice.sh
  mkdir elsewhere
  (cd elsewhere && KELVO_WINE_TIMEOUT=$((120 * patience)) bash -o pipefail ../advice.sh 2>../advised.err) ||
    fail "the advised commands failed: $(cat advised.err)"
  got=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "graded clip.mkv" | sort | tr '\n' ' ')
  [ "$got" = "audio video " ] || fail "graded clip.mkv holds [$got], not the video and its sound"
  grep -q "frame $frames of $frames (100 %)" advised.err ||
    fail "the advised run's progress does not know the length: $(cat advised.err)"
  echo "video file: the advised commands, run elsewhere, wrote graded clip.mkv; $(grep -o "frame $frames of.*" advised.err | tail -n 1)"

  # HD footage is BT.709: a 1280x720 clip that ffmpeg made in BT.709, read
  # by filterhost's automatic choice. Its pictures must be ffmpeg's own
  # BT.709 decoding of the same frames within a code (rounding both ways
  # from 10 bits to 8 flips a pixel or two); BT.601 puts them tens of codes
  # off. With every track at 0 the codes come back exactly. Graded,
  # ffmpeg's BT.709 decoding of the output is filterhost's own picture of
  # the grade within 2 codes (the output's 10-bit codes round once more on
  # the way, and a step of Cr moves red by 1.6 of it).
  sws=accurate_rnd+full_chroma_int
  ff -f lavfi -i testsrc2=size=1280x720:rate=25 -frames:v 2 \
     -vf "scale=out_color_matrix=bt709:out_range=tv:flags=$sws" -pix_fmt yuv444p10le -strict -1 \
     -f yuv4mpegpipe hd.y4m
  ff -i hd.y4m -vf "scale=in_color_matrix=bt709:in_range=tv:flags=$sws" -pix_fmt rgb24 -update 1 \
     hd.ffmpeg.png
  fh --input hd.y4m --output hd.png --no-timing 2>hd.err >/dev/null || fail "hd: $(cat hd.err)"
  grep -q "BT.709 (by frame size)" hd.err || fail "hd: not taken as BT.709: $(cat hd.err)"
  "$video_check" pictures hd.ffmpeg.png hd.png 1 ||
    fail "hd: filterhost does not read BT.709 as ffmpeg does"
  fh --input hd.y4m --matrix 601 --output hd601.png --no-timing 2>/dev/null >/dev/null
  ! "$video_check" pictures hd.ffmpeg.png hd601.png 4 || fail "hd: BT.601 cannot read as BT.709"
  fh --input hd.y4m --output hd.out.y4m --no-timing 2>/dev/null >/dev/null
  cmp <(tail -n +2 hd.y4m) <(tail -n +2 hd.out.y4m) || fail "hd: the identity changed codes"
  echo "hd: with every track at 0, every code of 2 frames came back unchanged"
  fh --input hd.y4m --output hd.graded.y4m --no-timing $(tracks "${colourful[@]}") >/dev/null 2>&1
  fh --input hd.y4m --output hd.graded.png --no-timing $(tracks "${colourful[@]}") >/dev/null 2>&1
  ff -i hd.graded.y4m -vf "scale=in_color_matrix=bt709:in_range=tv:flags=$sws" -pix_fmt rgb24 -update 1 \
     hd.graded.ffmpeg.png
  "$video_check" pictures hd.graded.ffmpeg.png hd.graded.png 2 ||
    fail "hd: ffmpeg does not read filterhost's BT.709 output as filterhost means it"

  # 96x64 at 16 bits: 36864 bytes a frame. Cut inside frame 3.
  head -c $((100 + 2 * 36870 + 5000)) identity16.in.y4m |
    { status=0; fh --input - --output - --no-timing 2>cut.err || status=$?; echo $status >cut.status; } |
    ff -f yuv4mpegpipe -i - -c:v ffv1 cut.mkv || fail "ffmpeg could not read the frames before the cut"
  [ "$(cat cut.status)" = 2 ] || fail "a cut stream must exit with 2, not $(cat cut.status)"
  grep -q "frame 3: the stream ends inside the frame" cut.err || fail "cut: $(cat cut.err)"
  got=$(ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 cut.mkv)
  [ "$got" = 2 ] || fail "ffmpeg read $got frames before the cut, not 2"
  echo "cut stream: exit 2, ffmpeg read $got whole frames; $(grep -o "frame 3: .*" cut.err)"

  # A reader that stops after 100 kB of a long stream.
  ff -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 60 -pix_fmt yuv444p16le -strict -1 \
     -f yuv4mpegpipe long.y4m
  { status=0; fh --input long.y4m --output - --no-timing 2>closed.err || status=$?; echo $status >closed.status; } |
    head -c 100000 >/dev/null
  [ "$(cat closed.status)" = 1 ] || fail "a closed pipe must exit with 1, not $(cat closed.status)"
  grep -q "cannot write standard output: the program reading it has closed the pipe" closed.err ||
    fail "closed pipe: $(cat closed.err)"
  grep -q "^frames: .* written (the output failed)$" closed.err ||
    fail "closed pipe: the report must count the frames corrected and those written: $(cat closed.err)"
  echo "closed pipe: exit 1; $(grep -o 'frame [0-9]*: cannot write.*' closed.err); $(grep "^frames:" closed.err)"
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
elif [ "$part" = files ]; then
  ff -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 30 -pix_fmt yuv444p16le -strict -1 \
     -f yuv4mpegpipe clip.y4m
  original=$(md5sum <clip.y4m)
  ln -s clip.y4m soft.y4m
  ln clip.y4m hard.y4m
  refused() {  # DESCRIPTION, then the command's own exit status and stderr in same.*
    [ "$(cat same.status)" = 2 ] || fail "$1: exit $(cat same.status), not 2: $(cat same.err)"
    grep -q "is the input file" same.err || fail "$1: $(cat same.err)"
    [ "$(md5sum <clip.y4m)" = "$original" ] || fail "$1: the input was changed"
    echo "same file refused ($1)"
  }
  for pair in "clip.y4m clip.y4m" "clip.y4m ./clip.y4m" "clip.y4m soft.y4m" "soft.y4m clip.y4m" \
              "hard.y4m clip.y4m"; do
    set -- $pair
    { fh --input "$1" --output "$2" --no-timing >/dev/null 2>same.err; echo $? >same.status; } || true
    refused "--input $1 --output $2"
  done
  { fh --input - --output clip.y4m --no-timing <soft.y4m >/dev/null 2>same.err; echo $? >same.status; } || true
  refused "--input - from a link, --output the file"
  { fh --input clip.y4m --output - --no-timing >>hard.y4m 2>same.err; echo $? >same.status; } || true
  refused "--output - appended to a link"

  mkdir full
  if mount -t tmpfs -o size=256k tmpfs full 2>/dev/null; then
    trap 'umount "$work/full"; rm -rf "$work"' EXIT
    frame=$((96 * 64 * 3 * 2 + 6))
    whole_frames() {  # NAME FILE
      local size header
      size=$(stat -c %s "$2")
      header=$(head -n 1 "$2" | wc -c)
      [ "$size" -gt "$header" ] && [ $(( (size - header) % frame )) = 0 ] ||
        fail "$1: $size bytes are not the header and whole frames"
      ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$2" \
        >/dev/null || fail "$1: ffmpeg cannot read what is left"
      echo "full disk, $1: exit 1, $(( (size - header) / frame )) whole frames left; $(grep -o 'frame [0-9]*: .*' full.err)"
    }
    for target in file stdout; do
      status=0
      if [ $target = file ]; then
        fh --input clip.y4m --output full/out.y4m --no-timing >/dev/null 2>full.err || status=$?
      else
        fh --input clip.y4m --output - --no-timing >full/out.y4m 2>full.err || status=$?
      fi
      [ $status = 1 ] || fail "full disk, $target: exit $status, not 1"
      grep -q "No space left on device" full.err || fail "full disk, $target: $(cat full.err)"
      whole_frames "$target" full/out.y4m
      rm full/out.y4m
    done
    head -c 250000 /dev/zero >full/filler
    echo "an older grade" >full/grade.cube
    for run in "--cube full/grade.cube" "--size 640x360 --output full/picture.png"; do
      status=0
      fh $run --no-timing >/dev/null 2>full.err || status=$?
      [ $status = 1 ] || fail "full disk, $run: exit $status, not 1"
      grep -q "cannot write full/.*: No space left on device" full.err ||
        fail "full disk, $run: $(cat full.err)"
      echo "full disk, $run: exit 1; $(cat full.err)"
    done
    [ "$(ls full)" = "$(printf 'filler\ngrade.cube')" ] || fail "left behind: $(ls full)"
    [ "$(cat full/grade.cube)" = "an older grade" ] || fail "the older grade.cube was changed"
  else
    echo "SKIPPED the full-disk checks: no tmpfs can be mounted here (needs root)"
  fi
else
  echo "usage: ffmpeg_check.sh video|lut|files FILTERHOST.exe VIDEO_CHECK" >&2
  exit 2
fi

#!/bin/sh
# qxrtool play and frames end to end on a series written by qxrtool mux.
# Usage: qxrtool_play.sh QXRTOOL WORKDIR
set -eu
tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work/out" "$work/frames"
cd "$work"
XDG_STATE_HOME="$work/state"
QXR_AUDIO_OUTPUT=null
export XDG_STATE_HOME QXR_AUDIO_OUTPUT
fail() { echo "FAIL: $*" >&2; exit 1; }

if ! command -v ffmpeg >/dev/null 2>&1; then
    echo "ffmpeg is not installed; skipped"
    exit 0
fi
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=176x144:rate=25 -t 2 -c:v mpeg4 -g 10 -f m4v in.m4v
ffmpeg -nostdin -loglevel error -f lavfi -i sine=frequency=440:sample_rate=8000 -t 2 -c:a pcm_mulaw -f mulaw in.ul
"$tool" mux -o out/REC00.m4f --files 2 --rate 25 --audio in.ul --start "2026/03/01 12:00:00.000" in.m4v > /dev/null 2>&1

"$tool" play out/REC00.m4f > play.txt
cat play.txt
grep -q "state 57 (at rest at the start)" play.txt || fail "no rest at the start"
grep -q "state 62 (playing)" play.txt || fail "never played"
grep -q "^50 pictures in" play.txt || fail "not every picture shown"
grep -q "camera time 2026/03/01 12:00:01.960" play.txt || fail "last camera time"

"$tool" frames out/REC01.m4f frames --format bmp --count 5 > frames.txt
grep -q "^5 pictures written" frames.txt || fail "frames count"
[ "$(ls frames | wc -l)" -eq 5 ] || fail "five files"
# The second file starts at unit 25 (a P-VOP); the first picture shown is the next I-VOP's, unit 30.
[ -f frames/20260301_120001_200.bmp ] || fail "file named from the camera time"
if command -v ffprobe >/dev/null 2>&1; then
    ffprobe -v error -show_entries stream=width,height -of csv=p=0 frames/20260301_120001_200.bmp | grep -q "^176,144$" ||
        fail "bitmap not readable"
fi
if "$tool" play out/nothing00.m4f > bad.txt 2>&1; then fail "a missing file plays"; fi

# export: both streams, each as long as the recording's (within one frame, 0.04 s).
mkdir -p jpg
for i in 0 1 2 3 4 5 6 7 8 9; do
    ffmpeg -nostdin -loglevel error -f lavfi -i "color=c=0x${i}0${i}0${i}0:size=160x120" -frames:v 1 jpg/p$i.jpg
done
"$tool" mux -o out/CAM00.jpf --rate 5 --audio in.ul jpg/p*.jpg > /dev/null 2>&1
near() { awk -v a="$1" -v b="$2" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= 0.04) }'; }
check() {  # FILE VIDEO-CODEC VIDEO-SECONDS AUDIO-SECONDS
    ffprobe -v error -count_packets -show_entries stream=codec_name,duration,nb_read_packets,sample_rate \
        -of csv=p=0 "$1" > probe.txt
    cat probe.txt
    video=$(grep "^$2," probe.txt) || fail "$1: no $2 stream"
    audio=$(grep "^pcm_s16le," probe.txt) || fail "$1: no PCM stream"
    ffmpeg -nostdin -v error -i "$1" -f null - || fail "$1: FFmpeg cannot play it"
    # AVI leaves a PCM stream's duration to its size: 16-bit mono samples at 8000 Hz.
    vd=$(ffprobe -v error -select_streams v -show_entries format=duration:stream=duration -of csv=p=0 "$1" | grep -v N/A | head -1)
    near "$vd" "$3" || fail "$1: video lasts $vd s, not $3"
    ad=$(ffprobe -v error -select_streams a -show_entries stream=duration -of csv=p=0 "$1")
    if [ "$ad" = "N/A" ]; then
        ad=$(ffprobe -v error -select_streams a -show_entries packet=size -of csv=p=0 "$1" | awk '{ n += $1 } END { print n / 16000 }')
    fi
    near "$ad" "$4" || fail "$1: audio lasts $ad s, not $4"
}
"$tool" export out/REC01.m4f whole.mov > /dev/null
check whole.mov mpeg4 2.0 2.0
"$tool" export out/REC00.m4f whole.avi > /dev/null
check whole.avi mpeg4 2.0 2.0
"$tool" export out/CAM00.jpf cam.avi > /dev/null
check cam.avi mjpeg 2.0 2.0
if "$tool" export out/CAM00.jpf cam.mp4 > bad.txt 2>&1; then fail "Motion JPEG in MP4"; fi
echo PASS

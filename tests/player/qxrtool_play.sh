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
echo PASS

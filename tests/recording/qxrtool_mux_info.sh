#!/bin/sh
# qxrtool mux writes a series that qxrtool info reads back; damaged variants show as skipped files and
# index failures. Usage: qxrtool_mux_info.sh QXRTOOL WORKDIR
set -eu
tool=$1
work=$2
rm -rf "$work"
mkdir -p "$work/out" "$work/bad"
cd "$work"
# Reeldeck's report log goes to the state directory; keep it in the work folder.
XDG_STATE_HOME="$work/state"
export XDG_STATE_HOME
fail() { echo "FAIL: $*" >&2; exit 1; }

if ! command -v ffmpeg >/dev/null 2>&1; then
    echo "ffmpeg is not installed; skipped"
    exit 0
fi
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=176x144:rate=5 -t 2 -c:v mpeg4 -f m4v in.m4v
ffmpeg -nostdin -loglevel error -f lavfi -i sine=frequency=440:sample_rate=8000 -t 2 -c:a pcm_mulaw -f mulaw in.ul

"$tool" mux -o out/REC04.m4f --files 3 --audio in.ul --trigger sens --serial SN42 \
    --start "2026/03/01 12:00:00.000" in.m4v > mux.txt
[ "$(wc -l < mux.txt)" -eq 3 ] || fail "mux should list three files"
"$tool" info out/REC05.m4f > info.txt
cat info.txt
grep -q "^Series: 3 files, 10 units; this file starts at unit 3$" info.txt || fail "series line"
grep -q "Record trigger: Sensor input (sens)" info.txt || fail "trigger"
grep -q "Serial number:  SN42" info.txt || fail "serial"
grep -q "Stream #0: Video: MPEG4 (mpeg), 176x144, 5 fps, 10 chunks" info.txt || fail "video stream"
grep -q "Stream #1: Audio: G.711 ( 64 kbps ) (g711/64kb), 10 chunks, 16000 bytes" info.txt || fail "audio stream"

"$tool" mux -o bad/REC00.m4f --files 3 --damage bad-main-header:1 in.m4v > /dev/null
"$tool" info bad/REC02.m4f > bad.txt
grep -q "REC01.m4f .*skipped: bad header or index" bad.txt || fail "skipped file"

"$tool" mux -o bad/REC00.m4f --files 2 --damage truncated-index:1 in.m4v > /dev/null
if "$tool" info bad/REC00.m4f > trunc.txt 2>&1; then fail "a truncated index opens"; fi
grep -q "Cannot read index data." trunc.txt || fail "message 54"
grep -q "Cannot get data." trunc.txt || fail "message 62"
grep -q "^> qxr_file_manager.cpp([0-9]*) : Cannot read index data.$" state/reeldeck/report.txt || fail "report log"
echo PASS

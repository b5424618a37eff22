#!/bin/sh
# qxrtool m4v-decode on made streams: the raw output holds every picture and the summary names them; a
# refused stream exits non-zero with the decoder's message.
#   check_qxrtool.sh QXRTOOL STREAMDIR WORKDIR
set -eu
tool=$1
streams=$2
work=$3
mkdir -p "$work"
summary=$("$tool" m4v-decode "$streams/odd_width.m4v" "$work/odd_width.yuv")
[ "$summary" = "200x120, 8 pictures" ] || { echo "unexpected summary: $summary"; exit 1; }
size=$(wc -c < "$work/odd_width.yuv")
[ "$size" -eq $((8 * (200 * 120 + 2 * 100 * 60))) ] || { echo "unexpected size: $size"; exit 1; }
summary=$("$tool" m4v-decode "$streams/qcif_bframes.m4v" "$work/bframes.yuv")
[ "$summary" = "176x144, 5 pictures (4 B-VOPs and 0 S-VOPs passed over)" ] || { echo "unexpected: $summary"; exit 1; }
if "$tool" m4v-decode "$streams/interlaced.m4v" "$work/interlaced.yuv" 2> "$work/err.txt"; then
    echo "an interlaced stream was accepted"
    exit 1
fi
grep -q "Error: interlaced vol is not supported. (status -4)" "$work/err.txt" || { cat "$work/err.txt"; exit 1; }
echo ok

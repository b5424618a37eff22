#!/bin/sh
# Makes the MPEG-4 test streams with FFmpeg's mpeg4 encoder and with Xvid (both in Debian's ffmpeg):
# raw elementary streams (.m4v), small and short so that the whole test runs in seconds.
#   make_streams.sh OUTDIR
set -eu
out=$1
mkdir -p "$out"
ff() {
    name=$1
    shift
    ffmpeg -nostdin -hide_banner -loglevel error -y "$@" -f m4v "$out/$name.m4v.tmp"
    mv "$out/$name.m4v.tmp" "$out/$name.m4v"
}
ff263() {
    ffmpeg -nostdin -hide_banner -loglevel error -y "$@"
}
src() { echo "testsrc2=size=$1:rate=25"; }

# I- and P-VOPs, one 30-picture GOP, H.263 quantisation.
ff qcif_gop -f lavfi -i "$(src 176x144)" -frames:v 30 -c:v mpeg4 -g 30 -qscale:v 4
# Four vectors per macroblock and fast motion (24 samples a picture: f_code 2 and more).
ff cif_mv4_fast -f lavfi -i "testsrc2=size=1280x288:rate=25,crop=352:288:x='min(n*24\,900)':y=0" \
    -frames:v 12 -c:v mpeg4 -g 30 -flags +mv4 -qscale:v 5
# MPEG quantisation with the default matrices, and with our own.
ff qcif_mpegq -f lavfi -i "$(src 176x144)" -frames:v 12 -c:v mpeg4 -g 30 -mpeg_quant 1 -qscale:v 3
matrix=8,12,14,16,18,20,22,24,12,14,16,18,20,22,24,26,14,16,18,20,22,24,26,28,16,18,20,22,24,26,28,30
matrix=$matrix,18,20,22,24,26,28,30,32,20,22,24,26,28,30,32,34,22,24,26,28,30,32,34,36,24,26,28,30,32,34,36,38
inter=16,16,17,17,18,18,19,19,16,17,17,18,18,19,19,20,17,17,18,18,19,19,20,20,17,18,18,19,19,20,20,21
inter=$inter,18,18,19,19,20,20,21,21,18,19,19,20,20,21,21,22,19,19,20,20,21,21,22,22,19,20,20,21,21,22,22,23
ff qcif_matrix -f lavfi -i "$(src 176x144)" -frames:v 12 -c:v mpeg4 -g 30 -mpeg_quant 1 -qscale:v 4 \
    -intra_matrix "$matrix" -inter_matrix "$inter"
# Video packets with resync markers in I- and P-VOPs.
ff cif_packets -f lavfi -i "$(src 352x288)" -frames:v 8 -c:v mpeg4 -g 30 -ps 300 -qscale:v 4
# The quantiser range, and adaptive quantisation (DQUANT) under rate control.
ff qcif_q2 -f lavfi -i "$(src 176x144)" -frames:v 8 -c:v mpeg4 -g 30 -qscale:v 2
ff qcif_q31 -f lavfi -i "$(src 176x144)" -frames:v 8 -c:v mpeg4 -g 30 -qscale:v 31
ff qcif_aq -f lavfi -i "$(src 176x144)" -frames:v 12 -c:v mpeg4 -g 30 -b:v 150k -lumi_mask 0.5 \
    -dark_mask 0.5 -p_mask 0.5
# Not-coded macroblocks: a still picture with one moving box.
ff qcif_still -f lavfi \
    -i "smptebars=size=176x144:rate=25[a];color=c=white:size=16x16:rate=25[b];[a][b]overlay=x='mod(n*4\,150)':y=60" \
    -frames:v 10 -c:v mpeg4 -g 30 -qscale:v 4
# Short GOPs: the headers (VOS, VO, VOL) come again before every I-VOP.
ff qcif_gop4 -f lavfi -i "$(src 176x144)" -frames:v 8 -c:v mpeg4 -g 4 -qscale:v 31
# Sizes: VGA, and a width that is not a multiple of 16.
ff vga -f lavfi -i "$(src 640x480)" -frames:v 6 -c:v mpeg4 -g 30 -qscale:v 6 -flags +mv4
ff odd_width -f lavfi -i "$(src 200x120)" -frames:v 8 -c:v mpeg4 -g 30 -qscale:v 4
ff odd_size -f lavfi -i "testsrc2=size=640x360:rate=25,crop=320:180:x='n*6':y='n*3',scale=203:117" -frames:v 8 -c:v mpeg4 \
    -g 30 -qscale:v 3 -pix_fmt yuv420p
# Xvid: its own GOP of I- and P-VOPs, and its MPEG quantisation.
ff xvid_gop -f lavfi -i "$(src 176x144)" -frames:v 30 -c:v libxvid -g 30 -bf 0 -qscale:v 4
ff xvid_mpegq -f lavfi -i "$(src 352x288)" -frames:v 8 -c:v libxvid -g 30 -bf 0 -mpeg_quant 1 -qscale:v 3
# B-VOPs (a simple-profile visual object so that the header is accepted).
ff qcif_bframes -f lavfi -i "$(src 176x144)" -frames:v 9 -c:v mpeg4 -g 30 -bf 1 -profile:v 0 -qscale:v 4
# Tools that are refused.
ff interlaced -f lavfi -i "$(src 176x144)" -frames:v 2 -c:v mpeg4 -flags +ildct
ff qpel -f lavfi -i "$(src 176x144)" -frames:v 2 -c:v mpeg4 -flags +qpel -profile:v 0
# Without a profile FFmpeg writes visual_object_verid 5 for B-VOPs and quarter samples.
ff qcif_bframes_v5 -f lavfi -i "$(src 176x144)" -frames:v 9 -c:v mpeg4 -g 30 -bf 1 -qscale:v 4
ff qpel_v5 -f lavfi -i "$(src 176x144)" -frames:v 2 -c:v mpeg4 -flags +qpel
ff gmc -f lavfi -i "$(src 176x144)" -frames:v 2 -c:v libxvid -gmc 1
ff partitioned -f lavfi -i "$(src 176x144)" -frames:v 2 -c:v mpeg4 -data_partitioning 1
ff263 -f lavfi -i "$(src 176x144)" -frames:v 2 -c:v h263 -f h263 "$out/short_header.m4v"

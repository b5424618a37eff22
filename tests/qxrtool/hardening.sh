#!/bin/sh
# Every case runs under a time and memory bound, must end with the expected exit status and a message
# naming the cause, and must leave no output (and no temporary file) behind when it fails.
#   hardening.sh QXRTOOL STREAMDIR WORKDIR   (STREAMDIR: the MPEG-4 test streams; cases needing them
#   are skipped when it is missing)
set -eu
tool=$1
streams=$2
work=$3
rm -rf "$work"
mkdir -p "$work/dir" "$work/out"
cd "$work"
failures=0

# A small picture, a JPEG of it, raw audio, a FIFO and a 3 GiB file that takes no disk space.
{ printf 'P6\n16 8\n255\n'; head -c 384 /dev/urandom; } > in.ppm
"$tool" jpeg-encode in.ppm in.jpg
head -c 2000 /dev/urandom > in.ul
mkfifo fifo
truncate -s 3G huge.jpg
printf 'previous' > out/keep.yuv

# check STATUS MESSAGE-PART COMMAND...: runs COMMAND for at most 20 s; under AddressSanitizer (whose
# shadow memory rules out ulimit -v) its resident memory is held to 1 GiB.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:hard_rss_limit_mb=1024"
check() {
    want=$1
    text=$2
    shift 2
    set +e
    timeout 20 "$@" > stdout.txt 2> stderr.txt
    got=$?
    set -e
    if [ "$got" -ne "$want" ] || ! grep -qF -- "$text" stdout.txt stderr.txt; then
        echo "FAILED: $* -> status $got (want $want), output:"
        cat stdout.txt stderr.txt
        failures=$((failures + 1))
    fi
    leftovers=$(find out -name '.*' -o -name '*.ppm' -o -name '*.wav' -o -name '*.jpg' -o -name 'x.yuv')
    if [ -n "$leftovers" ]; then
        echo "FAILED: $* left $leftovers"
        failures=$((failures + 1))
        rm -f $leftovers
    fi
}

# Inputs that are no regular file, or too large: refused before anything is read.
check 1 "dir: is a directory" "$tool" audio-decode --codec g711 dir out/o.wav
check 1 "dir: is a directory" "$tool" jpeg-decode dir out/o.ppm
check 1 "dir: is a directory" "$tool" jpeg-encode dir out/o.jpg
check 1 "dir: is a directory" "$tool" mux -o out/REC00.m4f dir
check 1 "dir: is a directory" "$tool" mux -o out/REC00.jpf --audio dir in.jpg
check 1 "dir: is a directory" "$tool" m4v-decode dir out/x.yuv
check 1 "/dev/zero: is a character device" "$tool" jpeg-decode /dev/zero out/o.ppm
check 1 "/dev/zero: is a character device" "$tool" jpeg-encode /dev/zero out/o.jpg
check 1 "/dev/zero: is a character device" "$tool" audio-decode --codec g726-32 /dev/zero out/o.wav
check 1 "/dev/zero: is a character device" "$tool" mux -o out/REC00.m4f /dev/zero
check 1 "/dev/zero: is a character device" "$tool" m4v-decode /dev/zero out/x.yuv
check 1 "fifo: is a FIFO" "$tool" jpeg-decode fifo out/o.ppm
check 1 "huge.jpg: 3221225472 bytes, more than" "$tool" jpeg-decode huge.jpg out/o.ppm
check 1 "huge.jpg: 3221225472 bytes, more than" "$tool" mux -o out/REC00.jpf huge.jpg
check 1 "missing.jpg: No such file or directory" "$tool" jpeg-decode missing.jpg out/o.ppm
check 1 "/nonexistent/REC00.m4f: No such file or directory" "$tool" info /nonexistent/REC00.m4f
check 1 "/nonexistent/REC00.m4f: No such file or directory" "$tool" play /nonexistent/REC00.m4f

# Outputs that cannot be written: a failure, never a success, and nothing left behind.
check 1 "/dev/full: cannot write: No space left on device" "$tool" audio-decode --codec g711 in.ul /dev/full
ln -s /dev/full full.ppm  # jpeg-decode takes its format from the name
check 1 "full.ppm: cannot write: No space left on device" "$tool" jpeg-decode in.jpg full.ppm
check 1 "/dev/full: cannot write: No space left on device" "$tool" jpeg-encode in.ppm /dev/full
check 1 "out/none/o.wav: cannot create a file in out/none" "$tool" audio-decode --codec g711 in.ul out/none/o.wav
check 1 "dir: is a directory" "$tool" audio-decode --codec g711 in.ul dir
check 1 "in.ul: is the input in.ul" "$tool" audio-decode --codec g711 in.ul in.ul
check 1 "in.ppm: is the input in.ppm" "$tool" jpeg-encode in.ppm in.ppm
ln in.ppm alias.ppm
check 1 "alias.ppm: is the input in.ppm" "$tool" jpeg-encode in.ppm alias.ppm
check 0 "" "$tool" audio-decode --codec g711 in.ul /dev/null

if [ -d "$streams" ]; then
    cp "$streams/qcif_gop.m4v" x.m4v
    cp x.m4v x.orig
    check 1 "x.m4v: is the input x.m4v" "$tool" m4v-decode x.m4v x.m4v
    cmp -s x.m4v x.orig || { echo "FAILED: m4v-decode overwrote its input"; failures=$((failures + 1)); }
    # A stream that fails halfway (the picture size changes) leaves no output, and the previous file stays.
    cat "$streams/qcif_gop.m4v" "$streams/odd_width.m4v" > changing.m4v
    check 1 "Screen Size Changed" "$tool" m4v-decode changing.m4v out/x.yuv
    check 1 "Screen Size Changed" "$tool" m4v-decode changing.m4v out/keep.yuv
    [ "$(cat out/keep.yuv)" = previous ] || { echo "FAILED: a failed run replaced out/keep.yuv"; failures=$((failures + 1)); }
    # A series whose second file cannot be written leaves no first file either.
    mkdir -p series/REC01.m4f
    check 1 "series/REC01.m4f: is a directory" "$tool" mux --files 2 -o series/REC00.m4f x.m4v
    [ ! -e series/REC00.m4f ] || { echo "FAILED: a failed mux left series/REC00.m4f"; failures=$((failures + 1)); }
    # A cut inside the last VOP's header is a damaged last VOP, as a cut inside its data is.
    for bytes in 4 5 8 40; do
        python3 -c "import sys; d=open('x.m4v','rb').read(); sys.stdout.buffer.write(d[:d.rfind(b'\x00\x00\x01\xb6') + $bytes])" > cut.m4v
        check 0 "176x144, " "$tool" m4v-decode cut.m4v out/cut.yuv
        grep -qF ", 1 damaged" stdout.txt || { echo "FAILED: cut at $bytes: $(cat stdout.txt)"; failures=$((failures + 1)); }
    done
else
    echo "no MPEG-4 test streams in $streams: the stream cases are skipped"
fi

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo ok

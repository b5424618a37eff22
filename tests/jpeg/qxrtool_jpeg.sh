#!/bin/sh
# qxrtool jpeg-encode and jpeg-decode on the corpus: defaults, options, every output format, and a refusal
# that names its JpegStatus. Arguments: the qxrtool program and the corpus folder.
set -eu
tool=$1
corpus=$2
work=$corpus/qxrtool
mkdir -p "$work"

"$tool" jpeg-encode "$corpus/photo_642x482.ppm" "$work/default.jpg"
djpeg -outfile "$work/default.ppm" "$work/default.jpg"
head -c 20 "$work/default.ppm" | grep -q "642 482"
"$tool" jpeg-decode "$work/default.jpg" "$work/default.bmp"
"$tool" jpeg-decode "$work/default.jpg" "$work/ours.ppm"
head -c 20 "$work/ours.ppm" | grep -q "642 482"

"$tool" jpeg-encode "$work/default.bmp" "$work/options.jpg" --quality 90 --sampling 444 --restart 3
djpeg -outfile /dev/null "$work/options.jpg"
"$tool" jpeg-encode "$corpus/camera.pgm" "$work/grey.jpg"
"$tool" jpeg-decode "$work/grey.jpg" "$work/grey.ppm"
"$tool" jpeg-decode "$corpus/ycck_adobe_imagemagick.jpg" "$work/cmyk.pam"
grep -q "TUPLTYPE CMYK" "$work/cmyk.pam"

# A refused file: non-zero exit and a one-line reason naming the status and its cause.
if "$tool" jpeg-decode "$corpus/refused_arithmetic.jpg" "$work/refused.ppm" 2> "$work/refused.err"; then
    echo "an arithmetic-coded file was accepted" >&2
    exit 1
fi
grep -q "JpegStatus -1 (arithmetic coding is not supported)" "$work/refused.err"
test "$(wc -l < "$work/refused.err")" -eq 1
# A file cut short inside its scan: the picture is still written, with a one-line warning.
head -c 20000 "$corpus/base_420.jpg" > "$work/cut.jpg"
"$tool" jpeg-decode "$work/cut.jpg" "$work/cut.ppm" 2> "$work/cut.err"
head -c 20 "$work/cut.ppm" | grep -q "451 300"
grep -q "JpegStatus -11 (corrupt entropy-coded data); the picture is written" "$work/cut.err"
test "$(wc -l < "$work/cut.err")" -eq 1
if "$tool" jpeg-encode "$corpus/photo_17x9.ppm" "$work/bad.jpg" --sampling 411 2> /dev/null; then
    echo "a bad --sampling was accepted" >&2
    exit 1
fi
echo "qxrtool jpeg: ok"

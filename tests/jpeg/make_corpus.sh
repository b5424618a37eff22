#!/bin/sh
# Builds the JPEG peer corpus into $1 from the photographs python3-skimage ships: cjpeg, jpegtran and
# ImageMagick write the files in the layouts, processes and sizes the decoder must handle. Run by CTest
# before the corpus tests; everything stays small so that the whole corpus decodes in seconds.
set -eu
out=$1
data=${SKIMAGE_DATA:-/usr/lib/python3/dist-packages/skimage/data}
mkdir -p "$out"
cd "$out"
rm -f ./*.jpg ./*.ppm ./*.pgm

convert "$data/chelsea.png" chelsea.ppm      # 451 x 300, odd width
convert "$data/coffee.png" coffee.ppm        # 600 x 400
convert "$data/astronaut.png" -resize 256x256 astronaut.ppm
convert "$data/camera.png" -resize 256x256 camera.pgm
convert "$data/coffee.png" -resize '642x482!' photo_642x482.ppm
convert "$data/coffee.png" -resize '17x9!' photo_17x9.ppm
convert "$data/coffee.png" -resize '1x1!' photo_1x1.ppm
convert "$data/coffee.png" -resize '2000x1!' photo_2000x1.ppm

# Baseline sequential, the three sampling layouts and greyscale.
cjpeg -quality 85 -sample 1x1 chelsea.ppm > base_444.jpg
cjpeg -quality 85 -sample 2x1 chelsea.ppm > base_422.jpg
cjpeg -quality 75 -sample 2x2 chelsea.ppm > base_420.jpg
cjpeg -quality 95 -sample 2x2 -optimize coffee.ppm > base_420_optimised.jpg
cjpeg -quality 75 camera.pgm > grey.jpg
cjpeg -quality 75 -grayscale astronaut.ppm > grey_from_colour.jpg

# Restart intervals of one MCU and of several, and of one MCU row.
cjpeg -quality 75 -restart 1B chelsea.ppm > restart_1.jpg
cjpeg -quality 75 -sample 1x1 -restart 7B astronaut.ppm > restart_7_444.jpg
cjpeg -quality 75 -restart 1 coffee.ppm > restart_row.jpg

# Progressive, with and without restart markers.
cjpeg -quality 75 -progressive chelsea.ppm > progressive_420.jpg
cjpeg -quality 90 -progressive -sample 1x1 astronaut.ppm > progressive_444.jpg
cjpeg -quality 75 -progressive -sample 2x1 coffee.ppm > progressive_422.jpg
cjpeg -quality 75 -progressive -restart 1B chelsea.ppm > progressive_restart_1.jpg
cjpeg -quality 75 -progressive -restart 5B camera.pgm > progressive_grey_restart_5.jpg
jpegtran -progressive -restart 2 base_444.jpg > progressive_jpegtran_restart.jpg

# Odd sizes, sequential and progressive.
cjpeg -quality 75 photo_1x1.ppm > size_1x1.jpg
cjpeg -quality 75 photo_17x9.ppm > size_17x9.jpg
cjpeg -quality 75 -progressive photo_17x9.ppm > size_17x9_progressive.jpg
cjpeg -quality 75 photo_642x482.ppm > size_642x482.jpg
cjpeg -quality 75 photo_2000x1.ppm > size_2000x1.jpg
cjpeg -quality 75 -sample 2x1 -progressive photo_2000x1.ppm > size_2000x1_progressive_422.jpg

# ImageMagick's own files: a JFIF YCbCr one and, from CMYK pixels, a YCCK one (Adobe transform 2).
convert chelsea.ppm -quality 80 imagemagick_420.jpg
convert astronaut.ppm -colorspace CMYK -quality 85 ycck_adobe_imagemagick.jpg

# Refused processes: arithmetic coding (12-bit precision is made by the test from a baseline file).
cjpeg -quality 75 -arithmetic chelsea.ppm > refused_arithmetic.jpg

echo "corpus: $(ls ./*.jpg | wc -l) JPEG files in $out"

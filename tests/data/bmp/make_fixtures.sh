#!/usr/bin/env bash
# Remakes the BMP fixtures with 12-, 108- and 124-byte information headers and
# their expected pixels. The pictures come from ImageMagick (/usr/bin/convert):
#   core*.bmp      "BMP2:" gives the 12-byte header (3-byte palette entries)
#   info108_24.bmp "BMP:" of a picture in linear RGB gives the 108-byte header
#   info124_*.bmp  "BMP:" gives the 124-byte header; the 32-bit one is a
#                  bit-field picture whose masks sit inside the header
# The expected pixels (raw RGB, RGBA for the 32-bit one) are ImageMagick's own
# decode; netpbm's decode of every file must give the same colours, or the
# script stops.
set -euo pipefail
cd "$(dirname "$0")"
C=/usr/bin/convert

$C -seed 7 -size 13x7 plasma:fractal src.png
$C src.png -type bilevel BMP2:core1.bmp
$C src.png -colors 9 BMP2:core4.bmp
$C src.png -colors 60 -type palette BMP2:core8.bmp
$C src.png -type truecolor BMP2:core24.bmp
$C src.png -type truecolor -colorspace RGB BMP:info108_24.bmp
$C src.png -colors 9 BMP:info124_4.bmp
$C src.png -colors 60 -type palette -compress None BMP:info124_8.bmp
$C src.png -alpha set -channel A -fx 'i/w' +channel BMP:info124_32.bmp
rm src.png

for f in *.bmp; do
  size=$(od -An -tu4 -j14 -N4 "$f" | tr -d ' ')
  case "$f" in
    core*) want=12 ;;
    info108*) want=108 ;;
    *) want=124 ;;
  esac
  [ "$size" = "$want" ] || { echo "$f: header of $size bytes, not $want" >&2; exit 1; }
  stem=${f%.bmp}
  $C "$f" -depth 8 rgb:"$stem.rgb"
  bmptopnm "$f" 2>/dev/null | $C ppm:- -depth 8 rgb:- | cmp -s - "$stem.rgb" ||
    { echo "$f: the two decoders disagree" >&2; exit 1; }
done
$C info124_32.bmp -depth 8 rgba:info124_32.rgba
rm info124_32.rgb

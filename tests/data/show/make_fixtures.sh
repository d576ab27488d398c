#!/usr/bin/env bash
# Makes the image holder's JPEG and PNG fixtures with ImageMagick (Debian's
# /usr/bin/convert, 6.9.11). Each picture X comes with X.rgb: ImageMagick's own
# decode as 8-bit RGB. The holder's TGA, PSD and PhotoCD cases use the readers'
# fixtures in ../tga, ../psd and ../pcd.
set -euo pipefail
cd "$(dirname "$0")"
im=/usr/bin/convert
$im -size 16x8 gradient:white-black -colorspace Gray -quality 95 grey.jpg
$im -size 16x8 gradient:red-blue -quality 95 -sampling-factor 1x1 colour.jpg
cp colour.jpg jpeg_named.png
$im -size 12x5 pattern:gray50 -monochrome -define png:bit-depth=1 -define png:color-type=0 mono.png
$im -size 10x6 xc:red -fill blue -draw 'rectangle 0,0 4,5' -define png:color-type=3 pal.png
for f in grey.jpg colour.jpg mono.png pal.png; do
  $im "$f[0]" -depth 8 "rgb:$f.rgb"
done

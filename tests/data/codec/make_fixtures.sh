#!/usr/bin/env bash
# Remakes the reader fixtures in this folder and their expected pixels.
# Pictures come from ImageMagick (/usr/bin/convert) and netpbm; the expected
# pixels are ImageMagick's own decode of each fixture (raw RGB, or RGBA for the
# 32-bit one), so the tests compare against an outside decoder even where
# neither tool is installed.
#
# Two fixtures are byte edits of ImageMagick output, done by the small Python
# steps below and decoded by ImageMagick like every other fixture:
#   bmp24_topdown.bmp, bmp8_topdown.bmp  rows reversed and the height negated
#                                        (ImageMagick writes bottom-up only)
#   bmp16_565.bmp  ImageMagick's 16-bit RGB565 file with its 124-byte header
#                  size field set to 40: the masks sit at offset 54 as in a
#                  40-byte bit-field header, and the data offset skips the rest
#                  (ImageMagick's own 40-byte 16-bit files carry no masks).
#                  ImageMagick widens 5 and 6-bit channels by repeating their
#                  top bits; the reader does not, so only the stored bits compare.
set -euo pipefail
cd "$(dirname "$0")"
C=/usr/bin/convert

$C -seed 7 -size 29x11 plasma:fractal src.png
$C src.png -type bilevel BMP3:bmp1.bmp
$C src.png -colors 11 BMP3:bmp4.bmp
$C src.png -colors 200 -type palette -compress None BMP3:bmp8.bmp
$C src.png -colors 200 -type palette -compress RLE BMP3:bmp8_rle.bmp
$C src.png -type truecolor BMP3:bmp24.bmp
$C src.png -alpha set -channel A -fx 'i/w' +channel -define bmp3:alpha=true BMP3:bmp32.bmp
$C src.png -define bmp:subtype=RGB565 BMP:bmp16_v5.bmp

python3 - <<'PY'
import struct

def topdown(src, dst):
    data = bytearray(open(src, 'rb').read())
    offset, = struct.unpack_from('<I', data, 10)
    width, height = struct.unpack_from('<ii', data, 18)
    bits, = struct.unpack_from('<H', data, 28)
    stride = ((width * bits + 31) // 32) * 4
    rows = [data[offset + i * stride: offset + (i + 1) * stride] for i in range(height)]
    data[offset:offset + stride * height] = b''.join(reversed(rows))
    struct.pack_into('<i', data, 22, -height)
    open(dst, 'wb').write(data)

topdown('bmp24.bmp', 'bmp24_topdown.bmp')
topdown('bmp8.bmp', 'bmp8_topdown.bmp')
data = bytearray(open('bmp16_v5.bmp', 'rb').read())
struct.pack_into('<I', data, 14, 40)
open('bmp16_565.bmp', 'wb').write(data)
PY
rm bmp16_v5.bmp

$C src.png PCX:pcx24.pcx
$C src.png -colors 200 -type palette PCX:pcx8.pcx
$C src.png -type bilevel PCX:pcx1.pcx
$C src.png ppm:- | ppmtopcx -24bit > pcx24_netpbm.pcx 2>/dev/null
$C src.png -colors 16 ppm:- | ppmtopcx > pcx4planes_netpbm.pcx 2>/dev/null
$C src.png -type bilevel ppm:- | ppmtopcx > pcx1_netpbm.pcx 2>/dev/null
$C src.png -colors 4 ppm:- | ppmtopcx -packed > pcx2packed_netpbm.pcx 2>/dev/null
$C src.png -type bilevel WBMP:wbmp.wbmp
$C src.png -type bilevel pbm:- | pbmtowbmp > wbmp_netpbm.wbmp

# ImageMagick shows a one-plane 1-bit PCX inverted against its own palette: netpbm decodes that one.
for f in *.bmp *.pcx *.wbmp; do
  case "$f" in
    bmp32.bmp) $C "$f" -depth 8 rgba:"${f%.*}.rgba" ;;
    pcx1_netpbm.pcx) pcxtoppm "$f" 2>/dev/null | $C ppm:- -depth 8 rgb:"${f%.*}.rgb" ;;
    *) $C "$f" -depth 8 rgb:"${f%.*}.rgb" ;;
  esac
done
rm src.png

#!/usr/bin/env bash
# Renders big pictures as 24-bit slides with quadrivue-cli and decodes the same
# files with the format's own command-line decoder, as processes taking turns,
# and reports each one's median wall time and peak memory and the time ratio.
#   tools/measure-slide.sh [CLI] [RUNS]
# CLI defaults to a release build in build/release (configured and built once);
# RUNS (default 11) runs of each command. The pictures are made once into
# ${QV_SLIDE_PICTURES:-/tmp/quadrivue-slide-pictures} with ImageMagick, cjpeg,
# pamcut and pnmtopng (a noisy plasma, like a photograph):
#   6000 x 4000 JPEG (quality 90, 4:2:0) onto 1920 x 1080, fit 1, against djpeg
#   4032 x 3024 JPEG (the same) onto 3840 x 2160, fit 1, against djpeg
#   6000 x 4000 PNG onto 1920 x 1080, fit 1, against pngtopnm
# and the same 6000 x 4000 picture as BMP (ImageMagick's BMP3), TGA raw and
# run-length (pamtotga), PSD with PackBits rows (ImageMagick) and PCX
# (ppmtopcx -24bit) onto 1920 x 1080, fit 1, against the BMP's render by
# QV_BASELINE_CLI (a build from before these formats were streamed; by
# default the same CLI).
# Exits 1 when the first render takes more than 1.5 times the decoder's median
# or 32 MB or more, or a BMP, TGA, PSD or PCX render more than 1.5 times the
# baseline or 32 MB or more.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cli="${1:-}"
runs="${2:-11}"
if [ -z "$cli" ]; then
  release="$root/build/release"
  [ -f "$release/CMakeCache.txt" ] || cmake -S "$root" -B "$release" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$release" --target quadrivue-cli -j "${QV_JOBS:-2}" >/dev/null
  cli="$release/bin/quadrivue-cli"
fi
[ -x "$cli" ] || { echo "measure-slide: no executable $cli" >&2; exit 2; }
for tool in /usr/bin/time /usr/bin/convert cjpeg djpeg pamcut pnmtopng pngtopnm pamtotga ppmtopcx; do
  command -v "$tool" >/dev/null || {
    echo "measure-slide: $tool is missing: apt-get install time imagemagick libjpeg-turbo-progs netpbm" >&2
    exit 2
  }
done

pictures="${QV_SLIDE_PICTURES:-/tmp/quadrivue-slide-pictures}"
mkdir -p "$pictures"
if [ ! -s "$pictures/6000x4000.png" ]; then
  echo "measure-slide: making the pictures in $pictures (about half a minute, once)"
  /usr/bin/convert -size 6000x4000 -seed 7 plasma:fractal -attenuate 0.3 +noise Gaussian -depth 8 \
    "$pictures/6000x4000.ppm"
  pamcut -width 4032 -height 3024 "$pictures/6000x4000.ppm" >"$pictures/4032x3024.ppm"
  for size in 6000x4000 4032x3024; do
    cjpeg -quality 90 -sample 2x2 "$pictures/$size.ppm" >"$pictures/$size.jpg"
  done
  pnmtopng "$pictures/6000x4000.ppm" >"$pictures/6000x4000.png.part"
  mv "$pictures/6000x4000.png.part" "$pictures/6000x4000.png"
fi
if [ ! -s "$pictures/6000x4000.pcx" ]; then
  [ -s "$pictures/6000x4000.ppm" ] || pngtopnm "$pictures/6000x4000.png" >"$pictures/6000x4000.ppm"
  /usr/bin/convert "$pictures/6000x4000.ppm" BMP3:"$pictures/6000x4000.bmp"
  pamtotga -rgb -norle "$pictures/6000x4000.ppm" >"$pictures/6000x4000.tga"
  pamtotga -rgb "$pictures/6000x4000.ppm" >"$pictures/6000x4000-rle.tga"
  /usr/bin/convert "$pictures/6000x4000.ppm" -depth 8 -compress RLE PSD:"$pictures/6000x4000.psd"
  ppmtopcx -24bit "$pictures/6000x4000.ppm" >"$pictures/6000x4000.pcx.part"
  mv "$pictures/6000x4000.pcx.part" "$pictures/6000x4000.pcx"
fi
rm -f "$pictures"/*.ppm

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Appends "seconds kilobytes" of one run of the command to the file $1.
measure() {
  local into=$1
  shift
  local start=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o "$work/kb" "$@" >/dev/null 2>&1
  local end=$EPOCHREALTIME
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') $(tail -n 1 "$work/kb")" >>"$into"
}

# The median seconds and the largest peak in MB of a file of runs.
summary() {
  sort -n "$1" | awk '{ t[NR] = $1; if ($2 > kb) kb = $2 }
    END { printf "%.3f %.1f\n", (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2, kb / 1024 }'
}

printf '%-12s %-10s %10s %8s %10s %8s %7s\n' picture window 'render s' 'MB' 'decode s' 'MB' ratio
failed=0
line=0
for measured in "6000x4000.jpg 1920x1080 djpeg" "4032x3024.jpg 3840x2160 djpeg" "6000x4000.png 1920x1080 pngtopnm"; do
  read -r file window decoder <<<"$measured"
  line=$((line + 1))
  : >"$work/render" && : >"$work/decode"
  for ((i = 0; i < runs; i++)); do
    measure "$work/render" "$cli" render "$pictures/$file" --size "$window" --fit 1 "$work/out.bmp"
    if [ "$decoder" = djpeg ]; then
      measure "$work/decode" djpeg -ppm -outfile /dev/null "$pictures/$file"
    else
      measure "$work/decode" pngtopnm "$pictures/$file"
    fi
  done
  read -r rs rmb < <(summary "$work/render")
  read -r ds dmb < <(summary "$work/decode")
  ratio=$(awk -v r="$rs" -v d="$ds" 'BEGIN { printf "%.2f", r / d }')
  printf '%-12s %-10s %10s %8s %10s %8s %7s\n' "$file" "$window" "$rs" "$rmb" "$ds" "$dmb" "$ratio"
  if [ "$line" = 1 ] && awk -v q="$ratio" -v m="$rmb" 'BEGIN { exit !(q > 1.5 || m >= 32) }'; then failed=1; fi
done
if [ "$failed" = 1 ]; then
  echo "measure-slide: the 6000 x 4000 JPEG slide is over 1.5 times the decoder's time or 32 MB"
  exit 1
fi
echo "measure-slide: the 6000 x 4000 JPEG slide is within 1.5 times the decoder's time and under 32 MB"

baseline="${QV_BASELINE_CLI:-$cli}"
echo
printf '%-20s %-10s %10s %8s %12s %7s
' picture window 'render s' 'MB' 'baseline s' ratio
: >"$work/base"
for ((i = 0; i < runs; i++)); do
  measure "$work/base" "$baseline" render "$pictures/6000x4000.bmp" --size 1920x1080 --fit 1 "$work/out.bmp"
done
read -r bs bmb < <(summary "$work/base")
for file in 6000x4000.bmp 6000x4000.tga 6000x4000-rle.tga 6000x4000.psd 6000x4000.pcx; do
  : >"$work/render"
  for ((i = 0; i < runs; i++)); do
    measure "$work/render" "$cli" render "$pictures/$file" --size 1920x1080 --fit 1 "$work/out.bmp"
  done
  read -r rs rmb < <(summary "$work/render")
  ratio=$(awk -v r="$rs" -v b="$bs" 'BEGIN { printf "%.2f", r / b }')
  printf '%-20s %-10s %10s %8s %12s %7s
' "$file" 1920x1080 "$rs" "$rmb" "$bs" "$ratio"
  if awk -v q="$ratio" -v m="$rmb" 'BEGIN { exit !(q > 1.5 || m >= 32) }'; then failed=1; fi
done
echo "(baseline: the BMP's render by $baseline, $bs s and $bmb MB)"
if [ "$failed" = 1 ]; then
  echo "measure-slide: a BMP, TGA, PSD or PCX slide is over 1.5 times the baseline's BMP render or 32 MB"
  exit 1
fi
echo "measure-slide: the BMP, TGA, PSD and PCX slides are within 1.5 times the baseline's BMP render and under 32 MB"

#!/usr/bin/env bash
# Runs every call of cases.txt with the given command (for example
# "tools/wine-run.sh build/windows/bin/quadrivue-cli.exe") and compares
# the output with expected.txt. With --update it rewrites expected.txt.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
update=0
if [ "${1:-}" = "--update" ]; then update=1; shift; fi
[ $# -ge 1 ] || { echo "usage: $0 [--update] CLI-COMMAND..." >&2; exit 2; }
cli=()
for word in "$@"; do
  [ -e "$word" ] && word=$(cd "$(dirname "$word")" && pwd)/$(basename "$word")
  cli+=("$word")
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
out="$work/actual.txt"

# Little-endian 32-bit and 16-bit values as bytes.
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)); }
le16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)); }
# uniform_bmp FILE WIDTH HEIGHT: a bottom-up 24-bit BMP whose every byte is 0x64
# (WIDTH * 3 must be a multiple of 4).
uniform_bmp() {
  local size=$(($2 * $3 * 3))
  printf "BM$(le32 $((54 + size)))$(le32 0)$(le32 54)$(le32 40)$(le32 "$2")$(le32 "$3")$(le16 1)$(le16 24)$(le32 0)$(le32 $size)$(le32 2835)$(le32 2835)$(le32 0)$(le32 0)" >"$1"
  head -c "$size" /dev/zero | tr '\0' '\144' >>"$1"
}
# bmp FILE HEADER-SIZE WIDTH HEIGHT BITS COMPRESSION COLOURS PALETTE PIXELS [MASKS]: a BMP with an
# information header of 12, 40, 108 or 124 bytes. PALETTE, PIXELS and MASKS are printf escapes;
# palette entries take 3 bytes after a 12-byte header, else 4; MASKS (red, green, blue) sit inside
# a 108- or 124-byte header, whose colour-space and profile bytes are filled with A5.
bmp() {
  local file=$1 hs=$2 w=$3 h=$4 bits=$5 comp=$6 colours=$7 pal=$8 pix=$9 masks=${10:-} header i
  local palBytes pixBytes
  palBytes=$(printf "$pal" | wc -c)
  pixBytes=$(printf "$pix" | wc -c)
  local off=$((14 + hs + palBytes))
  if [ "$hs" = 12 ]; then
    header="$(le32 12)$(le16 "$w")$(le16 "$h")$(le16 1)$(le16 "$bits")"
  else
    header="$(le32 "$hs")$(le32 "$w")$(le32 "$h")$(le16 1)$(le16 "$bits")$(le32 "$comp")$(le32 "$pixBytes")"
    header+="$(le32 2835)$(le32 2835)$(le32 "$colours")$(le32 0)"
    if [ "$hs" -gt 40 ]; then
      header+="${masks:-$(le32 0)$(le32 0)$(le32 0)}$(le32 0)"
      for ((i = 56; i < hs; i++)); do header+='\xa5'; done
    fi
  fi
  printf "BM$(le32 $((off + pixBytes)))$(le32 0)$(le32 $off)$header$pal$pix" >"$file"
}
(
  cd "$work" || exit 1
  uniform_bmp p1600x1200.bmp 1600 1200
  uniform_bmp p1600x900.bmp 1600 900
  uniform_bmp p900x1600.bmp 900 1600
  uniform_bmp p296x100.bmp 296 100
  printf 'not a picture' >junk.bmp
  # One 4 x 2 picture with a 12- and a 124-byte header; bit fields inside a 108-byte header; a
  # 16-colour picture with a 12-byte header (3-byte palette entries); pictures whose pixels use
  # indices past the colours their file lists (2 of 256, 1 of 2).
  rgb4x2='\x00\x0b\x16\x21\x2c\x37\x42\x4d\x58\x63\x6e\x79\x84\x8f\x9a\xa5\xb0\xbb\xc6\xd1\xdc\xe7\xf2\xfd'
  bmp core24.bmp 12 4 2 24 0 0 '' "$rgb4x2"
  bmp info124_24.bmp 124 4 2 24 0 0 '' "$rgb4x2"
  bmp info108_16.bmp 108 2 2 16 3 0 '' '\xff\xff\x1f\x00\xe0\x07\x00\xf8' "$(le32 0xf800)$(le32 0x07e0)$(le32 0x1f)"
  pal16=''
  for i in $(seq 0 15); do pal16+=$(printf '\\x%02x\\x%02x\\x%02x' $((i * 16)) $((255 - i * 16)) $((i * 8))); done
  bmp core4.bmp 12 4 2 4 0 0 "$pal16" '\x01\x23\x00\x00\x45\x6f\x00\x00'
  bmp few8.bmp 40 4 2 8 0 2 '\x10\x20\xc0\x00\x30\x90\x50\x00' '\x00\x01\x05\xc8\x01\x00\xff\x02'
  bmp few1.bmp 40 8 1 1 0 1 '\x10\x20\xc0\x00' '\xa5\x00\x00\x00'
  # A 5 x 3 binary PPM whose bytes climb by 5.
  { printf 'P6\n5 3\n255\n'; for i in $(seq 0 44); do printf "\\x$(printf %02x $((i * 5)))"; done; } >p5x3.ppm
  # Pictures to scan, and lists of pictures never to show. Each path is listed with either
  # separator, so that the same pictures are left out on every platform.
  mkdir -p pics/sub
  for f in pics/a.bmp pics/b.bmp pics/sub/c.bmp; do cp p296x100.bmp "$f"; done
  printf 'not listed' >pics/d.txt
  printf '# edit me\r\npics/a.bmp\r\npics\\a.bmp\r\n\npics/sub/c.bmp\npics\\sub\\c.bmp\npics/gone.bmp\n' >excluded.txt
  printf '# nothing here\npics/gone.bmp\npics\\gone.bmp\n' >nothing.txt
  while IFS= read -r line; do
    case "$line" in ''|'#'*) continue ;; esac
    echo "\$ $line"
    read -r -a words <<<"$line"
    "${cli[@]}" "${words[@]}" 2>/dev/null | tr -d '\r'
    echo "exit ${PIPESTATUS[0]}"
  done <"$here/cases.txt"
  echo "\$ bytes of s.idx after the last set"
  od -An -tx1 s.idx | tr -s ' \n' ' '
  echo
  echo "\$ pictures that must be equal"
  while read -r a b; do
    if cmp -s "$a" "$b"; then echo "same $a $b"; else echo "differ $a $b"; fi
  done <<'PAIRS'
d_core24.ppm l_core24.ppm
l_core24.ppm l_info124_24.ppm
d_core4.ppm l_core4.ppm
d_few8.ppm l_few8.ppm
d_few1.ppm l_few1.ppm
all.idx none.idx
all.idx missing.idx
PAIRS
  for f in l_core24.ppm l_info108_16.ppm l_few8.ppm; do
    echo "\$ bytes of $f"
    od -An -tx1 "$f" | tr -s ' \n' ' '
    echo
  done
) >"$out"
if [ $update -eq 1 ]; then cp "$out" "$here/expected.txt"; echo "updated"; exit 0; fi
if diff -u "$here/expected.txt" "$out"; then
  echo "1 passed, 0 failed: quadrivue-cli output matches expected.txt"
else
  echo "0 passed, 1 failed: quadrivue-cli output differs from expected.txt"
  exit 1
fi

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
(
  cd "$work" || exit 1
  uniform_bmp p1600x1200.bmp 1600 1200
  uniform_bmp p1600x900.bmp 1600 900
  uniform_bmp p900x1600.bmp 900 1600
  uniform_bmp p296x100.bmp 296 100
  printf 'not a picture' >junk.bmp
  # A 5 x 3 binary PPM whose bytes climb by 5.
  { printf 'P6\n5 3\n255\n'; for i in $(seq 0 44); do printf "\\x$(printf %02x $((i * 5)))"; done; } >p5x3.ppm
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
) >"$out"
if [ $update -eq 1 ]; then cp "$out" "$here/expected.txt"; echo "updated"; exit 0; fi
if diff -u "$here/expected.txt" "$out"; then
  echo "1 passed, 0 failed: quadrivue-cli output matches expected.txt"
else
  echo "0 passed, 1 failed: quadrivue-cli output differs from expected.txt"
  exit 1
fi

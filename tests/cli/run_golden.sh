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
(
  cd "$work" || exit 1
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

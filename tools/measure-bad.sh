#!/usr/bin/env bash
# Renders every damaged picture of tests/data/bad as the show would (a 1920 x 1080
# slide) and measures each run's wall time and peak memory.
#   tools/measure-bad.sh [CLI]
# CLI defaults to build/native/bin/quadrivue-cli; without that build, a release
# build in build/release is configured (once) and its quadrivue-cli built
# (QV_JOBS parallel jobs, default 2). Each run is stopped after 60 s.
# Exits 1 when a file takes 2 s or more, 256 MB or more, or ends the tool by a
# signal or the time limit.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
data="$root/tests/data/bad"
max_seconds=2
max_mb=256

cli="${1:-}"
if [ -z "$cli" ]; then
  cli="$root/build/native/bin/quadrivue-cli"
  if [ ! -x "$cli" ]; then
    release="$root/build/release"
    [ -f "$release/CMakeCache.txt" ] || cmake -S "$root" -B "$release" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$release" --target quadrivue-cli -j "${QV_JOBS:-2}" >/dev/null
    cli="$release/bin/quadrivue-cli"
  fi
fi
[ -x "$cli" ] || { echo "measure-bad: no executable $cli" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "measure-bad: /usr/bin/time is missing: apt-get install time" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-44s %8s %8s %5s\n' file seconds 'peak MB' exit
failed=0
worst_s=0 worst_s_name=- worst_mb=0 worst_mb_name=-
for f in "$data"/*; do
  name=$(basename "$f")
  case "$name" in *.py | *.txt) continue ;; esac
  rc=0
  /usr/bin/time -f '%e %M' -o "$work/time" timeout 60 "$cli" render "$f" --size 1920x1080 "$work/out.bmp" \
    >/dev/null 2>&1 || rc=$?
  # time writes a line about a failed command before its own.
  seconds=0 kb=0
  read -r seconds kb < <(tail -n 1 "$work/time" 2>/dev/null) || true
  mb=$(((kb + 1023) / 1024))
  flag=""
  if [ "$rc" -ge 124 ]; then
    flag="  <-- stopped (time limit or signal)"
  elif awk -v s="$seconds" -v m="$max_seconds" 'BEGIN { exit !(s >= m) }' || [ "$mb" -ge "$max_mb" ]; then
    flag="  <-- over the limit"
  fi
  [ -n "$flag" ] && failed=$((failed + 1))
  printf '%-44s %8s %8d %5d%s\n' "$name" "$seconds" "$mb" "$rc" "$flag"
  if awk -v s="$seconds" -v w="$worst_s" 'BEGIN { exit !(s > w) }'; then worst_s=$seconds worst_s_name=$name; fi
  if [ "$mb" -gt "$worst_mb" ]; then worst_mb=$mb worst_mb_name=$name; fi
done
echo "worst time:   $worst_s s ($worst_s_name)"
echo "worst memory: $worst_mb MB ($worst_mb_name)"
if [ "$failed" -gt 0 ]; then
  echo "measure-bad: $failed files at or over $max_seconds s / $max_mb MB, or stopped"
  exit 1
fi
echo "measure-bad: every file under $max_seconds s and $max_mb MB"

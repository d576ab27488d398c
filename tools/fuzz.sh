#!/usr/bin/env bash
# Runs the libFuzzer targets of build/fuzz.
#   tools/fuzz.sh --seeds-only      each target once over its seed corpus (CI)
#   tools/fuzz.sh --seconds N [T]   each target (or only fuzz_T) for N seconds
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin="$root/build/fuzz/bin"
mode="${1:---seeds-only}"
seconds="${2:-60}"
only="${3:-}"
[ "$mode" = "--seeds-only" ] || [ "$mode" = "--seconds" ] || { echo "usage: $0 --seeds-only | --seconds N [TARGET]" >&2; exit 2; }
shopt -s nullglob
targets=("$bin"/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then echo "fuzz: no targets built"; exit 1; fi
ran=0
for t in "${targets[@]}"; do
  name=$(basename "$t"); name=${name#fuzz_}
  [ -n "$only" ] && [ "$only" != "$name" ] && continue
  seeds="$root/fuzz/corpus/$name"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  if [ "$mode" = "--seeds-only" ]; then
    "$t" -runs=0 -rss_limit_mb=2048 -timeout=10 "$work" >"$work.log" 2>&1 || { cat "$work.log"; exit 1; }
  else
    "$t" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$work" >"$work.log" 2>&1 || { tail -50 "$work.log"; exit 1; }
  fi
  echo "fuzz_$name: $(grep -E '^#[0-9]+.*(DONE|INITED)' "$work.log" | tail -1)"
  rm -rf "$work" "$work.log"
  ran=$((ran + 1))
done
echo "fuzz: $ran targets ran clean"

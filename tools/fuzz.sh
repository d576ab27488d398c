#!/usr/bin/env bash
# Runs the libFuzzer targets of build/fuzz (cmake --preset fuzz && cmake --build --preset fuzz).
#
#   tools/fuzz.sh --seeds-only [TARGET]          each target (or only fuzz_TARGET) once over its
#                                                seed corpus fuzz/corpus/<name>/ (CI)
#   tools/fuzz.sh --seconds N [--keep] [TARGET]  each target (or only fuzz_TARGET) for N seconds,
#                                                starting from its seeds in a scratch folder
#
# --keep: after a clean timed run, the seeds and everything the run added are merged, minimised
# (libFuzzer -merge=1 into a fresh folder), and that set replaces fuzz/corpus/<name>/: the old
# files go and the kept ones arrive under content-hash names, so record it with
# `git add -A fuzz/corpus/<name>` (a plain `git commit -a` would take only the removals).
# A long run whose corpus is worth keeping:
#   tools/fuzz.sh --seconds 3600 --keep holder
#
# Every run gets -rss_limit_mb=512 -timeout=5. A reader may ask for one zero-filled frame of up to
# 2 GB, which costs nothing until its pages are touched, so the single-allocation limit is raised
# to 2048 MB: memory a run really uses is still held to 512 MB.
# AddressSanitizer keeps at most 64 MB of freed blocks aside (256 MB by default, which alone takes
# a long run close to the limit), and UndefinedBehaviorSanitizer reports stop the run; a caller's
# own ASAN_OPTIONS / UBSAN_OPTIONS replace these.
#
# Crashes, leaks, timeouts and out-of-memory inputs are written to build/fuzz/findings/<name>/,
# and the script fails. Runs of different targets may go side by side (each run has its own
# scratch folder, and each target process its own temporary file); two --keep runs of the same
# target would overwrite each other's corpus.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin="$root/build/fuzz/bin"
usage() {
  echo "usage: $0 --seeds-only [TARGET] | --seconds N [--keep] [TARGET]" >&2
  exit 2
}

mode="${1:---seeds-only}"
[ $# -gt 0 ] && shift
seconds=0
keep=0
case "$mode" in
  --seeds-only) ;;
  --seconds)
    [ $# -gt 0 ] || usage
    seconds="$1"
    shift
    [[ "$seconds" =~ ^[1-9][0-9]*$ ]] || usage
    if [ "${1:-}" = "--keep" ]; then
      keep=1
      shift
    fi
    ;;
  *) usage ;;
esac
only="${1:-}"
[ $# -le 1 ] || usage
[[ "$only" != -* ]] || usage

export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
limits=(-rss_limit_mb=512 -malloc_limit_mb=2048 -timeout=5)

shopt -s nullglob
targets=("$bin"/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets built" >&2
  exit 1
fi
if [ -n "$only" ] && [ ! -x "$bin/fuzz_$only" ]; then
  echo "fuzz: no target fuzz_$only in $bin" >&2
  exit 2
fi

ran=0
for t in "${targets[@]}"; do
  name=$(basename "$t")
  name=${name#fuzz_}
  [ -n "$only" ] && [ "$only" != "$name" ] && continue
  seeds="$root/fuzz/corpus/$name"
  findings="$root/build/fuzz/findings/$name"
  mkdir -p "$findings"
  work=$(mktemp -d "${TMPDIR:-/tmp}/qv-fuzz-$name.XXXXXX")
  log="$work.log"
  mkdir "$work/corpus" "$work/merged"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work/corpus"/
  if [ "$seconds" -eq 0 ]; then
    run=(-runs=0)
  else
    run=(-max_total_time="$seconds" -print_final_stats=1)
  fi
  if ! "$t" "${run[@]}" "${limits[@]}" -artifact_prefix="$findings/" "$work/corpus" >"$log" 2>&1; then
    if [ "$seconds" -eq 0 ]; then cat "$log"; else tail -n 60 "$log"; fi
    echo "fuzz_$name: failed; its input is in $findings/, the log in $log" >&2
    exit 1
  fi
  echo "fuzz_$name: $(grep -E '^#[0-9]+.*(DONE|INITED)' "$log" | tail -n 1)"
  if [ "$keep" -eq 1 ]; then
    "$t" -merge=1 "${limits[@]}" -artifact_prefix="$findings/" "$work/merged" "$work/corpus" >"$log" 2>&1 \
      || { tail -n 30 "$log"; echo "fuzz_$name: merge failed; the log is in $log" >&2; exit 1; }
    [ -n "$(ls -A "$work/merged")" ] || { echo "fuzz_$name: the merge kept nothing; fuzz/corpus/$name is left as it was" >&2; exit 1; }
    rm -rf "$seeds"
    mkdir -p "$seeds"
    cp "$work/merged"/* "$seeds"/
    echo "fuzz_$name: corpus kept, $(ls "$seeds" | wc -l) files in fuzz/corpus/$name ($(grep -E 'MERGE-OUTER: [0-9]+ new files' "$log" | tail -n 1 | sed 's/.*MERGE-OUTER: //'))"
    echo "fuzz_$name: the set replaces the old files; record both with: git add -A fuzz/corpus/$name"
  fi
  rm -rf "$work" "$log"
  ran=$((ran + 1))
done
echo "fuzz: $ran targets ran clean"

#!/usr/bin/env bash
# Builds and tests everything on a Debian 12 machine: installs what is missing,
# then the native build and tests, the sanitizer build and tests, the threaded
# parts under ThreadSanitizer, the fuzz targets over their seed corpora, and the
# Windows build with its tests under Wine (windowed ones on an Xvfb display) and
# the release package with its installer.
# Usage: tools/test.sh [native|asan|tsan|fuzz|windows]...   (default: all of them)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(native asan tsan fuzz windows)

tools/setup.sh all

results=()
run_native_like() {
  local preset=$1
  echo "== $preset: configure, build, test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
  results+=("$preset: passed")
}

# ThreadSanitizer cannot start where the kernel randomises mmap addresses with
# more bits than it knows ("unexpected memory mapping"): the tsan stage then
# builds (the build lists each binary's tests) and tests with address
# randomisation off.
run_tsan() {
  echo "== tsan: configure, build, test the threaded parts"
  cmake --preset tsan >/dev/null
  local probe=build/tsan/tsan-probe wrap=()
  echo 'int main() { return 0; }' | "${CXX:-c++}" -fsanitize=thread -x c++ - -o "$probe"
  if ! "$probe" >/dev/null 2>&1; then
    wrap=(setarch "$(uname -m)" -R)
    "${wrap[@]}" "$probe" >/dev/null || { echo "tsan: ThreadSanitizer cannot start here" >&2; return 1; }
    echo "tsan: address randomisation off for this stage"
  fi
  "${wrap[@]}" cmake --build --preset tsan
  "${wrap[@]}" ctest --preset tsan
  results+=("tsan: passed")
}

run_fuzz() {
  echo "== fuzz: build the targets with clang and run each over its seed corpus"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
  tools/fuzz.sh --seeds-only
  results+=("fuzz: passed")
}

run_windows() {
  echo "== windows: libraries, cross build, tests under Wine"
  tools/win-deps.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  local xv disp
  xv=$(tools/xvfb.sh)
  disp=${xv% *}
  # Global: the exit trap runs after this function's locals are gone.
  windows_xvfb_pid=${xv#* }
  export QV_WINEPREFIX="$root/build/windows/wineprefix"
  cleanup_windows() {
    WINEPREFIX="$QV_WINEPREFIX" wineserver -k 2>/dev/null || true
    kill "${windows_xvfb_pid:-}" 2>/dev/null || true
  }
  trap cleanup_windows EXIT
  # Wine binds a prefix's server to the display it started on.
  WINEPREFIX="$QV_WINEPREFIX" wineserver -k 2>/dev/null || true
  DISPLAY=$disp tools/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
  DISPLAY=$disp ctest --preset windows
  cleanup_windows
  trap - EXIT
  # The release: package.sh signing with a throw-away certificate, the manifests, and the
  # installer on a Wine prefix and Xvfb of its own.
  tests/package/run_package_test.py --bin-dir build/windows/bin --probe build/windows/bin/qv_e2e_probe.exe
  results+=("windows: passed")
}

for s in "${stages[@]}"; do
  case "$s" in
    native|asan) run_native_like "$s" ;;
    tsan) run_tsan ;;
    fuzz) run_fuzz ;;
    windows) run_windows ;;
    *) echo "usage: $0 [native|asan|tsan|fuzz|windows]..." >&2; exit 2 ;;
  esac
done
echo "== summary"
printf '%s\n' "${results[@]}"

#!/usr/bin/env bash
# Makes the release package build/windows/Quadrivue-<version>-win64.zip: Quadrivue.exe and
# help.png at the top of the zip. Installs what is missing and builds both first, and refuses
# an executable that needs any DLL beyond the ones every Windows has.
#
#   tools/package.sh [--no-build] [--check]
#
#   --no-build   package what is built
#   --check      then unpack the zip into an empty folder and start Quadrivue from there under
#                Wine (fresh prefix, two-monitor Xvfb): with no settings it must show its help
#                picture centred on the second monitor; the screenshot goes to
#                build/windows/package-check.png
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=1
check=0
for arg in "$@"; do
  case "$arg" in
    --no-build) build=0 ;;
    --check) check=1 ;;
    *) echo "usage: tools/package.sh [--no-build] [--check]" >&2; exit 2 ;;
  esac
done

if [ "$build" -eq 1 ]; then
  tools/setup.sh all
  tools/win-deps.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target Quadrivue qv_help_png
fi
out="$root/build/windows"
exe="$out/bin/Quadrivue.exe"
help="$out/bin/help.png"
for f in "$exe" "$help"; do
  if [ ! -f "$f" ]; then
    echo "package: $f is missing; build the windows preset first" >&2
    exit 1
  fi
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/CMakeCache.txt")
if [ -z "$version" ]; then
  echo "package: no project version in $out/CMakeCache.txt" >&2
  exit 1
fi

# Only DLLs that come with Windows: the runtimes and the picture libraries are linked in.
system_dll() {
  case "${1,,}" in
    kernel32.dll | user32.dll | gdi32.dll | shell32.dll | advapi32.dll | comctl32.dll | comdlg32.dll | \
      ole32.dll | oleaut32.dll | shlwapi.dll | version.dll | winmm.dll | uxtheme.dll | msimg32.dll | \
      msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) return 0 ;;
  esac
  return 1
}
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
if [ -z "$dlls" ]; then
  echo "package: cannot read the imports of $exe" >&2
  exit 1
fi
foreign=()
while IFS= read -r dll; do
  system_dll "$dll" || foreign+=("$dll")
done <<<"$dlls"
if [ ${#foreign[@]} -gt 0 ]; then
  echo "package: Quadrivue.exe needs DLLs that Windows does not have: ${foreign[*]}" >&2
  echo "package: link them statically (see cmake/QuadrivueHelpers.cmake)" >&2
  exit 1
fi
echo "package: Quadrivue.exe imports only system DLLs: ${dlls//$'\n'/ }"

zip="$out/Quadrivue-$version-win64.zip"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/Quadrivue.exe"
cp "$help" "$stage/help.png"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip Quadrivue.exe help.png)
listed=$(cd "$stage" && cmake -E tar tf "$zip" | sort | tr '\n' ' ')
if [ "$listed" != "Quadrivue.exe help.png " ]; then
  echo "package: unexpected zip contents: $listed" >&2
  exit 1
fi
echo "package: $zip ($(du -k "$zip" | cut -f1) KiB: Quadrivue.exe, help.png)"
[ "$check" -eq 1 ] || exit 0

# --- Start check ----------------------------------------------------------------------------
for tool in wine wineserver Xvfb /usr/bin/import /usr/bin/compare; do
  if ! command -v "$tool" >/dev/null; then
    echo "package: $tool is missing; tools/setup.sh all installs it" >&2
    exit 1
  fi
done
mkdir "$stage/app"
(cd "$stage/app" && cmake -E tar xf "$zip")
export QV_WINEPREFIX="$stage/prefix" WINEPREFIX="$stage/prefix"
xv=$(setsid tools/xvfb.sh)
export DISPLAY=${xv% *}
xvfb_pid=${xv#* }
app_pid=""
stop() {
  wineserver -k 2>/dev/null || true
  timeout 20 wineserver -w 2>/dev/null || true
  [ -n "$app_pid" ] && wait "$app_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$stage"
}
trap stop EXIT
echo "package: starting the unpacked Quadrivue.exe on Xvfb $DISPLAY (a fresh Wine prefix takes a minute)"
(cd "$stage/app" && exec setsid "$root/tools/wine-run.sh" "$stage/app/Quadrivue.exe") >/dev/null 2>&1 &
app_pid=$!

# The show runs on the second monitor, (0,0)-(800,600); the help picture is painted at its own
# size in the middle. Wine's own tray window may cover a few of its pixels at the top left.
read -r hw hh <<<"$(/usr/bin/identify -format '%w %h' "$stage/app/help.png")"
x=$(((800 - hw) / 2))
y=$(((600 - hh) / 2))
shot="$out/package-check.png"
allowed=$((hw * hh / 50))
shown=0
for _ in $(seq 1 90); do
  kill -0 "$app_pid" 2>/dev/null || break
  if /usr/bin/import -silent -display "$DISPLAY" -window root "png:$shot" 2>/dev/null; then
    diff=$(/usr/bin/compare -metric AE -fuzz 3% \( "$shot" -crop "${hw}x${hh}+$x+$y" +repage \) \
      "$stage/app/help.png" null: 2>&1 || true)
    if [[ "$diff" =~ ^[0-9]+$ ]] && [ "$diff" -le "$allowed" ]; then
      shown=1
      break
    fi
  fi
  sleep 2
done
if [ "$shown" -ne 1 ]; then
  echo "package: the help picture did not appear centred on the second monitor (screenshot: $shot)" >&2
  exit 1
fi
for _ in $(seq 1 10); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.5
done
if ! kill -0 "$app_pid" 2>/dev/null; then
  echo "package: Quadrivue.exe ended on its own after showing the help picture" >&2
  exit 1
fi
echo "package: check passed: the unpacked Quadrivue.exe runs and shows help.png centred on the second monitor ($diff of $((hw * hh)) pixels differ; screenshot: $shot)"

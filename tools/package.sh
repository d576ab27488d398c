#!/usr/bin/env bash
# Makes a release in build/windows (or --out DIR): the zip Quadrivue-<version>-win64.zip
# (Quadrivue.exe, help.png and the user guide guide.html at its top), the per-user installer
# Quadrivue-<version>-setup.exe, quadrivue-cli-<version>.exe, and the winget and Scoop manifests
# (manifests/) filled with the version and the files' SHA-256. Installs what is missing and builds
# first, and refuses an executable that needs any DLL beyond the ones every Windows has.
#
#   tools/package.sh [--no-build] [--check] [--out DIR]
#
#   --no-build   package what is built
#   --check      then unpack the zip into an empty folder and start Quadrivue from there under
#                Wine (fresh prefix, two-monitor Xvfb): with no settings it must show its help
#                picture centred on the second monitor; the screenshot goes to
#                build/windows/package-check.png
#   --out DIR    write the release there instead of build/windows
#
# With QV_SIGN_PFX (a PKCS#12 file; QV_SIGN_PASSWORD, QV_SIGN_TIMESTAMP: see tools/sign.sh) the
# programs are signed before they go into the zip and the installer, and so is the installer
# (and the uninstaller inside it). The built files in build/windows/bin stay as they are.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=1
check=0
dest=""
usage() { echo "usage: tools/package.sh [--no-build] [--check] [--out DIR]" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build=0 ;;
    --check) check=1 ;;
    --out) [ $# -ge 2 ] || usage; dest=$2; shift ;;
    *) usage ;;
  esac
  shift
done

if [ "$build" -eq 1 ]; then
  tools/setup.sh all
  tools/win-deps.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target Quadrivue quadrivue-cli qv_help_png
fi
out="$root/build/windows"
dest=$(mkdir -p "${dest:-$out}" && cd "${dest:-$out}" && pwd)
exe="$out/bin/Quadrivue.exe"
cli="$out/bin/quadrivue-cli.exe"
help="$out/bin/help.png"
# The modules the set-up installs (markdown) belong to the system's own interpreter.
py=python3
[ -x /usr/bin/python3 ] && py=/usr/bin/python3
for tool in makensis osslsigncode; do
  if ! command -v "$tool" >/dev/null; then
    echo "package: $tool is missing; tools/setup.sh windows installs it" >&2
    exit 1
  fi
done
for f in "$exe" "$cli" "$help"; do
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
      ole32.dll | oleaut32.dll | shlwapi.dll | version.dll | winmm.dll | uxtheme.dll | msimg32.dll | wtsapi32.dll | \
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

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/files"
cp "$exe" "$help" "$stage/files/"
cp "$cli" "$stage/quadrivue-cli.exe"
"$py" tools/release-files.py guide docs/guide.md "$stage/files/guide.html"

signcmd=()
if [ -n "${QV_SIGN_PFX:-}" ]; then
  tools/sign.sh "$stage/files/Quadrivue.exe" "$stage/quadrivue-cli.exe"
  signcmd=("-DSIGNCMD=$root/tools/sign.sh")
  signed="signed with $(basename "$QV_SIGN_PFX")"
else
  signed="unsigned (no QV_SIGN_PFX)"
fi

zip="$dest/Quadrivue-$version-win64.zip"
rm -f "$zip"
(cd "$stage/files" && cmake -E tar cf "$zip" --format=zip Quadrivue.exe help.png guide.html)
listed=$(cd "$stage" && cmake -E tar tf "$zip" | sort | tr '\n' ' ')
if [ "$listed" != "Quadrivue.exe guide.html help.png " ]; then
  echo "package: unexpected zip contents: $listed" >&2
  exit 1
fi
setup="$dest/Quadrivue-$version-setup.exe"
rm -f "$setup"
if ! makensis -V2 -DVERSION="$version" -DSTAGE="$stage/files" -DOUTFILE="$setup" "${signcmd[@]}" \
  packaging/installer.nsi >"$stage/makensis.log" 2>&1; then
  cat "$stage/makensis.log" >&2
  echo "package: makensis failed" >&2
  exit 1
fi
[ -n "${QV_SIGN_PFX:-}" ] && tools/sign.sh "$setup"
cp "$stage/quadrivue-cli.exe" "$dest/quadrivue-cli-$version.exe"
rm -rf "$dest/manifests"
manifests=$("$py" tools/release-files.py manifests --version "$version" --setup "$setup" --zip "$zip" \
  --out "$dest/manifests")

echo "package: made, $signed (SHA-256, size, file):"
while IFS= read -r f; do
  printf '  %s %9s bytes  %s\n' "$(sha256sum "$f" | cut -d' ' -f1)" "$(stat -c %s "$f")" "${f#"$root"/}"
done < <(printf '%s\n' "$zip" "$setup" "$dest/quadrivue-cli-$version.exe" "$manifests")
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

#!/usr/bin/env bash
# Makes the README's pictures of Quadrivue's dialogs: starts Quadrivue.exe on a fresh two-screen
# Xvfb and Wine prefix with two picture folders, at 96 and then at 144 DPI, opens the settings
# dialog, the folder chooser (a path typed into its edit box) and the about box, holds the mouse
# button on the show for its path overlay, and saves each one, cropped to its window:
#
#   OUT_DIR/settings-dialog.png  OUT_DIR/folder-chooser.png  OUT_DIR/about-box.png
#   OUT_DIR/path-overlay.png     (and each of the four again as NAME-144dpi.png)
#   OUT_DIR/two-shows.png        (both monitors chosen; halved with ImageMagick when it is installed)
#
#   tools/screenshots.sh [--no-build] [OUT_DIR]     (OUT_DIR defaults to docs/)
#
# Wine draws the window frames (no window manager runs on the Xvfb). The work is done by the
# end-to-end script's --screenshots mode, which stops every Xvfb and wineserver it starts.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

usage() {
  echo "usage: tools/screenshots.sh [--no-build] [OUT_DIR]" >&2
  exit 2
}
build=1
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build=0; shift ;;
    -h | --help) usage ;;
    -*) usage ;;
    *) [ -z "$out" ] || usage; out=$1; shift ;;
  esac
done
out=${out:-docs}

if [ "$build" -eq 1 ]; then
  tools/setup.sh all
  tools/win-deps.sh
  cmake --preset windows >/dev/null
  # The probe brings Quadrivue.exe and quadrivue-cli.exe with it.
  cmake --build --preset windows --target qv_e2e_probe
fi

bin="$root/build/windows/bin"
python3 tests/e2e/run_e2e.py --bin-dir "$bin" --probe "$bin/qv_e2e_probe.exe" --screenshots "$out"
if [ -x /usr/bin/convert ] && [ -f "$out/two-shows.png" ]; then
  /usr/bin/convert "$out/two-shows.png" -resize 50% +dither -colors 256 -define png:compression-level=9 \
    "$out/two-shows.png"
fi

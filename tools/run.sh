#!/usr/bin/env bash
# Builds Quadrivue for Windows and runs it under Wine on this machine's display
# (or on a fresh two-monitor Xvfb when there is none). Installs what is missing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
tools/setup.sh all
tools/win-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
app="$root/build/windows/bin/Quadrivue.exe"
if [ ! -f "$app" ]; then
  echo "run: the tray application is not built yet; what exists is the command-line tool:"
  echo "  tools/wine-run.sh build/windows/bin/quadrivue-cli.exe   (native: build/native/bin/quadrivue-cli)"
  tools/wine-run.sh build/windows/bin/quadrivue-cli.exe || true
  exit 0
fi
if [ -z "${DISPLAY:-}" ]; then
  xv=$(tools/xvfb.sh)
  export DISPLAY=${xv% *}
  pid=${xv#* }
  trap 'WINEPREFIX="$root/build/windows/wineprefix" wineserver -k 2>/dev/null || true; kill "$pid" 2>/dev/null || true' EXIT
  echo "run: no display; started Xvfb on $DISPLAY"
fi
exec_rc=0
tools/wine-run.sh "$app" || exec_rc=$?
exit $exec_rc

#!/usr/bin/env bash
# Starts an Xvfb with two screens joined by Xinerama (Wine then reports two
# monitors, the first primary) on a free display.
# Prints "DISPLAY PID"; stop it with: kill PID
#   tools/xvfb.sh [FIRST SECOND]   screen sizes, 1024x768x24 and 800x600x24 unless given
set -euo pipefail
first=${1:-1024x768x24}
second=${2:-800x600x24}
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
    Xvfb ":$n" +xinerama -extension RANDR -screen 0 "$first" -screen 1 "$second" \
      -nolisten tcp >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { echo ":$n $pid"; exit 0; }
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
  fi
done
echo "xvfb: no free display" >&2
exit 1

#!/usr/bin/env bash
# Builds Quadrivue for Windows and runs it under Wine from its own folder, build/windows/run/,
# where its data files (settings.idx, filelist.idx) stay between runs.
#
#   tools/run.sh [--seconds N] [--no-build] [FOLDER]
#
#   FOLDER        show the pictures of this folder (settings.idx then names only this folder;
#                 the other settings are kept) and rebuild the file list for it
#   (no FOLDER)   run with the settings of the last run; on the first run, make a demo folder
#                 of a dozen pictures and show them every 5 seconds
#   --seconds N   stop Quadrivue after N seconds (it is sent the tray menu's Exit)
#   --no-build    skip installing and building; run what is built
#
# With DISPLAY set it runs on that display. Without, it starts a two-monitor Xvfb and writes a
# screenshot of both screens to build/windows/run/screen.png every few seconds (Xinerama puts both
# screens at the origin: the second monitor, where the show runs, is the region (0,0)-(800,600)).
# Ctrl-C sends Quadrivue its Exit too. Every Xvfb and wineserver it starts, it stops.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
im=/usr/bin/convert      # Debian's ImageMagick (the first convert on PATH may be another program)
grab=/usr/bin/import

usage() {
  echo "usage: tools/run.sh [--seconds N] [--no-build] [FOLDER]" >&2
  exit 2
}
seconds=""
build=1
folder=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) [ $# -ge 2 ] || usage; seconds=$2; shift 2 ;;
    --seconds=*) seconds=${1#*=}; shift ;;
    --no-build) build=0; shift ;;
    -h | --help) usage ;;
    -*) usage ;;
    *) [ -z "$folder" ] || usage; folder=$1; shift ;;
  esac
done
if [ -n "$seconds" ] && ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "run: --seconds takes a whole number of seconds above 0" >&2
  exit 2
fi
if [ -n "$folder" ]; then
  if [ ! -d "$folder" ]; then
    echo "run: no such folder: $folder" >&2
    exit 2
  fi
  folder=$(cd "$folder" && pwd -P)
fi

if [ "$build" -eq 1 ]; then
  tools/setup.sh all
  tools/win-deps.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows
fi

bin="$root/build/windows/bin"
app="$bin/Quadrivue.exe"
cli="$bin/quadrivue-cli.exe"
if [ ! -f "$app" ]; then
  echo "run: the tray application is not built yet; what exists is the command-line tool:"
  echo "  tools/wine-run.sh build/windows/bin/quadrivue-cli.exe   (native: build/native/bin/quadrivue-cli)"
  tools/wine-run.sh "$cli" || true
  exit 0
fi
for tool in wine wineserver Xvfb x86_64-w64-mingw32-gcc "$im" "$grab"; do
  if ! command -v "$tool" >/dev/null; then
    echo "run: $tool is missing; tools/setup.sh all installs it" >&2
    exit 1
  fi
done

# The run folder: the executable and help.png fresh from this build, the data files kept.
run="$root/build/windows/run"
mkdir -p "$run"
cp -f "$app" "$run/Quadrivue.exe"
cp -f "$root/res/help.png" "$run/help.png"
export QV_WINEPREFIX="$run/wineprefix"
export WINEPREFIX="$QV_WINEPREFIX"
winpath() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }   # Wine maps Z: to /
# Wine and Xvfb run in sessions of their own, so that Ctrl-C reaches only this script, which
# then ends Quadrivue through its Exit command and stops them.
wcli() { setsid tools/wine-run.sh "$cli" "$@" | tr -d '\r'; }

# --- Display --------------------------------------------------------------------------------
xvfb_pid=""
shots_pid=""
helper_pid=""
app_pid=""
headless=0
cleanup() {
  trap '' INT TERM HUP
  trap - EXIT
  [ -n "$shots_pid" ] && kill "$shots_pid" 2>/dev/null || true
  [ -n "$helper_pid" ] && kill "$helper_pid" 2>/dev/null || true
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then stop_app; fi
  wineserver -k 2>/dev/null || true
  timeout 20 wineserver -w 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
trap 'echo; echo "run: interrupted"; exit 130' INT TERM HUP
if [ -z "${DISPLAY:-}" ]; then
  xv=$(setsid tools/xvfb.sh)
  export DISPLAY=${xv% *}
  xvfb_pid=${xv#* }
  headless=1
  echo "run: no display; started a two-monitor Xvfb on $DISPLAY (1024 x 768 primary, 800 x 600 second)"
fi
# Wine binds a prefix's server to the display it started on.
wineserver -k 2>/dev/null || true
timeout 20 wineserver -w 2>/dev/null || true
[ -f "$WINEPREFIX/system.reg" ] || echo "run: preparing the Wine prefix $WINEPREFIX (once, about a minute)"

# The build's probe program sends Quadrivue its Exit and closes Wine's own tray window.
probe_exe="$root/build/windows/bin/qv_e2e_probe.exe"
probe() { setsid tools/wine-run.sh "$probe_exe" "$@" 2>/dev/null; }

# --- Data files -------------------------------------------------------------------------------
settings="$run/settings.idx"
filelist="$run/filelist.idx"

# Builds filelist.idx for the folders in settings.idx, with its subfolder choice.
rebuild_list() {
  local shown folders=() subs=1 line
  shown=$(wcli settings show "$(winpath "$settings")")
  while IFS= read -r line; do
    case "$line" in
      "folder "*) folders+=("${line#folder }") ;;
      "m_bSubfolders "*) subs=${line#m_bSubfolders } ;;
    esac
  done <<<"$shown"
  local flags=()
  [ "$subs" != 0 ] || flags=(--no-subfolders)
  echo "run: file list: $(wcli scan "${flags[@]}" --index "$(winpath "$filelist")" "${folders[@]}")"
}

# A dozen pictures of several sizes, shapes and formats, one of them too narrow to be shown.
make_demo() {
  local demo=$1 font=() n=0 entry name w h fill colours
  mkdir -p "$demo"
  [ -f /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf ] &&
    font=(-font /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf)
  for entry in \
    "demo-01.jpg 1600 1000 plasma:fractal" \
    "demo-02.png 1280 800 gradient:#FF7E5F-#2B1055" \
    "demo-03.bmp 800 1200 radial-gradient:#FFE259-#D1495B" \
    "demo-04.jpg 1920 1080 plasma:#2E86DE-#10AC84" \
    "demo-05.png 900 1350 pattern:checkerboard #1E3C72,#F7C548" \
    "demo-06.bmp 1280 960 gradient:#11998E-#38EF7D" \
    "demo-07.jpg 1000 1500 plasma:#F7B733-#FC4A1A" \
    "demo-08.png 1600 900 sparse" \
    "demo-09.jpg 1400 1050 radial-gradient:#FFFFFF-#1B2A6B" \
    "demo-10.bmp 1024 768 pattern:hexagons #3A0CA3,#F72585" \
    "demo-11.png 240 600 gradient:#8E2DE2-#4A00E0" \
    "demo-12.jpg 2000 1200 plasma:fractal"; do
    read -r name w h fill colours <<<"$entry"
    n=$((n + 1))
    [ -f "$demo/$name" ] && continue
    local src=(-size "${w}x${h}" "$fill")
    case "$fill" in
      pattern:*) src=(-size "$((w / 8))x$((h / 8))" "$fill" -scale "${w}x${h}!" -auto-level +level-colors "$colours") ;;
      sparse) src=(-size "${w}x${h}" xc: -sparse-color barycentric "0,0 #E63946 $w,0 #F1FA3C $((w / 2)),$h #457B9D") ;;
    esac
    local out=$name
    [ "${name##*.}" = bmp ] && out="BMP3:$name"   # plain 24-bit BMP
    local label="Quadrivue demo $n"
    [ "$w" -lt 300 ] && label="demo $n"
    # The label sits high and centred: the show crops wide pictures at the sides and tall ones
    # towards their top.
    local side=$((w < h ? w : h))
    local top=$((h / 8)) band=$((side / 5))
    (cd "$demo" && "$im" -seed "$n" "${src[@]}" "${font[@]}" \
      -fill '#00000070' -draw "rectangle 0,$top $w,$((top + band))" -gravity north -fill white \
      -pointsize $((side / 14)) -annotate +0+$((top + band / 8)) "$label" \
      -pointsize $((side / 28)) -annotate +0+$((top + band * 5 / 8)) "$w x $h ${name##*.}" \
      -quality 88 "$out")
  done
}

if [ -n "$folder" ]; then
  case "$folder" in
    *[![:print:]]* | *[![:ascii:]]*)
      echo "run: warning: Quadrivue keeps folder names in the Windows ANSI code page; this name may not survive: $folder" ;;
  esac
  wcli settings set "$(winpath "$settings")" folders= "folder+=$(winpath "$folder")"
  echo "run: settings: show $(winpath "$folder")"
  rebuild_list
elif [ ! -f "$settings" ]; then
  demo="$run/demo"
  echo "run: first run: demo pictures in $demo"
  make_demo "$demo"
  wcli settings set "$(winpath "$settings")" folders= "folder+=$(winpath "$demo")" m_nInterval=5 m_bMinutes=0
  echo "run: settings: show $(winpath "$demo") every 5 seconds (the 240 px wide one is skipped as too narrow)"
  rebuild_list
else
  echo "run: using the settings and file list of the last run (tools/run.sh FOLDER shows another folder)"
fi

# --- Run --------------------------------------------------------------------------------------
stop_app() {
  echo "run: sending Quadrivue its Exit"
  local frame
  frame=$(probe find QuadrivueFrame | sed -n 's/^hwnd \(0x[0-9a-f]*\) .*/\1/p')
  if [ -z "$frame" ] || ! probe post "$frame" 0x111 57665 0 >/dev/null; then
    echo "run: no Quadrivue frame window found"
  fi
  for _ in $(seq 1 150); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$app_pid" 2>/dev/null; then
    echo "run: Quadrivue did not exit; stopping its wineserver"
    wineserver -k 2>/dev/null || true
  fi
}
screenshot() {
  "$grab" -silent -display "$DISPLAY" -window root "png:$run/screen.png.new" 2>/dev/null &&
    mv -f "$run/screen.png.new" "$run/screen.png"
}

echo "run: starting $run/Quadrivue.exe"
(cd "$run" && exec setsid "$root/tools/wine-run.sh" "$run/Quadrivue.exe") &
app_pid=$!
if [ "$headless" -eq 1 ]; then
  # Nobody can click Wine's stand-in tray on Xvfb; closed, it no longer covers the picture.
  (for _ in $(seq 1 60); do
    probe close-wine-tray | grep -q '^closed 1' && break
    sleep 1
  done) >/dev/null 2>&1 &
  helper_pid=$!
  (while sleep 3; do screenshot; done) &
  shots_pid=$!
  echo "run: a screenshot of both screens every 3 seconds: $run/screen.png"
fi
if [ -n "$seconds" ]; then
  end=$((SECONDS + seconds))
  while [ "$SECONDS" -lt "$end" ] && kill -0 "$app_pid" 2>/dev/null; do sleep 0.5; done
  if kill -0 "$app_pid" 2>/dev/null; then
    [ "$headless" -eq 0 ] || screenshot
    stop_app
  fi
fi
rc=0
wait "$app_pid" || rc=$?
app_pid=""
echo "run: Quadrivue exited ($rc)"
exit "$rc"

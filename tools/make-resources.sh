#!/usr/bin/env bash
# Regenerates the application's pictures from their sources:
#   res/quadrivue.ico, res/tray.ico, res/tray_busy.ico  from the pixel art in res/icons/*.xpm
#                                                       (16, 20, 24, 32, 40, 48 and 256 pixels each)
#   res/help.png                                        the picture shown while there are no pictures
# The results are committed, so building needs none of this. It needs ImageMagick
# (package imagemagick; Debian's own /usr/bin/convert) and the DejaVu fonts
# (package fonts-dejavu-core): apt-get install imagemagick fonts-dejavu-core
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
res="$root/res"
im=/usr/bin/convert
fonts=/usr/share/fonts/truetype/dejavu
if [ ! -x "$im" ]; then
  echo "make-resources: ImageMagick is missing: apt-get install imagemagick" >&2
  exit 1
fi
for f in DejaVuSans.ttf DejaVuSans-Bold.ttf; do
  if [ ! -f "$fonts/$f" ]; then
    echo "make-resources: font $fonts/$f is missing: apt-get install fonts-dejavu-core" >&2
    exit 1
  fi
done
regular="$fonts/DejaVuSans.ttf"
bold="$fonts/DejaVuSans-Bold.ttf"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# --- Icons ---------------------------------------------------------------------------------
# Windows picks the image of the size it needs (16 at 96 DPI, 20 at 120, 24 at 144, 32 at 192 in
# the notification area; 32, 40, 48 and 256 for windows and folders) and would smooth any other,
# so every size is drawn here. Each is enlarged from the drawing at or below it without smoothing,
# which keeps the pixel art sharp: 20 and 24 from 16, 40 and 48 from 32 (its detail is worth more
# at these sizes than the 16 tripled), 256 from 32 by eight. The 256 image is stored as PNG.
icon() {  # icon NAME OUT.ico
  local src="$res/icons/$1"
  "$im" "$src-16.xpm" \
    \( "$src-16.xpm" -filter point -resize 20x20 \) \
    \( "$src-16.xpm" -filter point -resize 24x24 \) \
    "$src-32.xpm" \
    \( "$src-32.xpm" -filter point -resize 40x40 \) \
    \( "$src-32.xpm" -filter point -resize 48x48 \) \
    \( "$src-32.xpm" -filter point -resize 256x256 \) \
    "$res/$2"
  local sizes
  sizes=$(/usr/bin/identify -format "%w " "$res/$2")
  if [ "$sizes" != "16 20 24 32 40 48 256 " ]; then
    echo "make-resources: res/$2 holds sizes $sizes" >&2
    exit 1
  fi
  echo "make-resources: res/$2 (${sizes% })"
}
icon app quadrivue.ico
icon tray tray.ico
icon busy tray_busy.ico

# --- Help picture --------------------------------------------------------------------------
# Shown centred at its own size on the show monitor while no picture folder is set, so it
# stays well inside 800 x 600: 720 x 520, a rounded card on black.
W=720
H=520
ink='#F4F7FB'    # main text
soft='#A9BCD3'   # secondary text
accent='#4FA3F7' # step numbers, highlight

# Card: a dark blue gradient with rounded corners and a thin rim.
"$im" -size ${W}x${H} gradient:'#23395A-#101A2A' "$tmp/grad.png"
"$im" -size ${W}x${H} xc:black -fill white -draw "roundrectangle 0,0 $((W - 1)),$((H - 1)) 28,28" "$tmp/mask.png"
"$im" -size ${W}x${H} xc:black "$tmp/grad.png" "$tmp/mask.png" -composite \
  -fill none -stroke '#3A5578' -strokewidth 2 -draw "roundrectangle 1,1 $((W - 2)),$((H - 2)) 27,27" \
  "$tmp/card.png"

# The application icon, enlarged without smoothing, beside the title.
"$im" "$res/icons/app-32.xpm" -background none -filter point -resize 300% "$tmp/app.png"
# The tray icon as the notification area shows it, doubled.
"$im" "$res/icons/tray-16.xpm" -background none -filter point -resize 200% "$tmp/tray.png"

# The tray menu as it pops up over the notification area, "Settings..." highlighted.
mw=214
item=28
sep=11
mh=$((6 + 4 * item + 2 * sep + 6))
y_about=6
y_home=$((y_about + item))
y_sep1=$((y_home + item))
y_set=$((y_sep1 + sep))
y_sep2=$((y_set + item))
y_exit=$((y_sep2 + sep))
"$im" -size ${mw}x${mh} xc:'#F3F4F6' \
  -fill none -stroke '#8C939E' -strokewidth 1 -draw "rectangle 0,0 $((mw - 1)),$((mh - 1))" \
  -stroke '#C9CDD3' -draw "line 10,$((y_sep1 + sep / 2)) $((mw - 11)),$((y_sep1 + sep / 2))" \
  -draw "line 10,$((y_sep2 + sep / 2)) $((mw - 11)),$((y_sep2 + sep / 2))" \
  -stroke none -fill "$accent" -draw "rectangle 3,$y_set $((mw - 4)),$((y_set + item - 1))" \
  -font "$regular" -pointsize 15 -fill '#1E2530' \
  -annotate +16+$((y_about + 19)) 'About Quadrivue' \
  -font "$bold" -annotate +16+$((y_home + 19)) 'Visit Home Page...' \
  -font "$regular" -annotate +16+$((y_exit + 19)) 'Exit' \
  -fill white -font "$bold" -annotate +16+$((y_set + 19)) 'Settings...' \
  "$tmp/menu.png"

# A corner of the taskbar under it: the tray icon (ringed: that is the one to right-click)
# and the clock.
tw=250
th=44
"$im" -size ${tw}x${th} xc:'#1B2431' \
  -fill none -stroke '#33445A' -draw "line 0,0 $((tw - 1)),0" \
  -stroke "$accent" -strokewidth 2 -draw "roundrectangle 124,4 164,40 6,6" \
  "$tmp/tray.png" -geometry +128+6 -composite \
  -stroke none -fill "$ink" -font "$regular" -pointsize 15 -annotate +184+28 '12:30' \
  -fill '#5E7190' -draw "rectangle 20,16 32,28" -draw "rectangle 48,16 60,28" -draw "rectangle 76,16 88,28" \
  "$tmp/taskbar.png"

# A mouse pointer.
"$im" -size 24x34 xc:none -fill white -stroke black -strokewidth 1.5 \
  -draw "polygon 2,2 2,26 8,20 13,31 17,29 12,19 20,19" "$tmp/pointer.png"

# Steps: a numbered disc and two lines of text each.
step() {  # step N Y LINE1 LINE2
  local n=$1 y=$2
  "$im" "$tmp/canvas.png" \
    -fill "$accent" -stroke none -draw "circle 62,$((y + 16)) 62,$((y + 16 + 17))" \
    -fill white -font "$bold" -pointsize 20 -annotate +$((62 - 6))+$((y + 23)) "$n" \
    -fill "$ink" -font "$bold" -pointsize 19 -annotate +96+$((y + 14)) "$3" \
    -fill "$soft" -font "$regular" -pointsize 15 -annotate +96+$((y + 38)) "$4" \
    "$tmp/canvas.png"
}

"$im" "$tmp/card.png" \
  "$tmp/app.png" -geometry +40+34 -composite \
  -fill "$ink" -font "$bold" -pointsize 50 -annotate +150+86 'Quadrivue' \
  -fill "$soft" -font "$regular" -pointsize 17 -annotate +152+116 'Your changing picture background' \
  -stroke '#2E4666' -strokewidth 2 -draw "line 40,150 $((W - 40)),150" -stroke none \
  -fill "$ink" -font "$regular" -pointsize 17 \
  -annotate +40+188 'There are no pictures to show yet. Tell Quadrivue where they are:' \
  "$tmp/canvas.png"
step 1 222 'Right-click the Quadrivue icon' 'in the notification area (system tray), by the clock'
step 2 302 'Choose "Settings..."' 'from the menu that pops up'
step 3 382 'Add your picture folders' 'then press OK: the show starts at once'

# The illustration on the right: the menu above the taskbar corner, the pointer on "Settings...".
mx=$((W - 40 - mw))
my=$((H - 40 - th - mh - 6))
"$im" "$tmp/canvas.png" \
  \( "$tmp/menu.png" \( +clone -background black -shadow 60x5+3+4 \) +swap -background none -layers merge +repage \) \
  -geometry +$mx+$my -composite \
  "$tmp/taskbar.png" -geometry +$((W - 40 - tw))+$((H - 40 - th)) -composite \
  "$tmp/pointer.png" -geometry +$((mx + 150))+$((my + y_set + 8)) -composite \
  -fill '#6F86A6' -font "$regular" -pointsize 13 \
  -annotate +40+$((H - 26)) 'Left-click the icon for the next picture at any time.' \
  -background black -flatten -alpha off -strip -define png:exclude-chunks=date,time \
  "$res/help.png"
echo "make-resources: res/help.png ($(/usr/bin/identify -format "%wx%h" "$res/help.png"))"

# --- Donation picture of the settings dialog -----------------------------------------------
# 41 x 19 dialog units of 8-point text: 62 x 31 pixels at 96 dots per inch. A 24-bit BMP
# without colour-space fields, as the resource compiler and every system version take it.
"$im" -size 62x31 xc:'#F0F0F0' \
  -fill '#F2A93B' -stroke '#B86E12' -strokewidth 1 -draw "roundrectangle 3,3 58,27 6,6" \
  -fill white -stroke none -font "$bold" -pointsize 11 -gravity center -annotate +0+0 'Thanks!' \
  -alpha off -type TrueColor -define bmp:format=bmp3 "BMP3:$res/donate.bmp"
echo "make-resources: res/donate.bmp"

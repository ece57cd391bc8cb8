#!/usr/bin/env bash
# Draws the control panel's artwork with ImageMagick: the banner (129), the touch-screen
# pictures for not calibrated (137, transparent magenta) and calibrated (138, transparent
# black), and the program icon (135). The PNG files it writes are kept in the tree; run it
# again after changing a drawing.
set -euo pipefail
cd "$(dirname "$0")"

font=$(fc-match -f '%{file}' 'Liberation Sans:bold')

# A monitor in the top 58 rows of a 72 x 72 picture (the image list keeps 72 x 58): bezel,
# screen, stand. $1 background, $2 screen colour, $3 output, then extra drawing primitives.
monitor() {
    local background=$1 screen=$2 output=$3
    shift 3
    convert -size 72x72 "xc:${background}" +antialias \
        -fill '#5a6270' -stroke '#3c424c' -strokewidth 1 -draw 'roundrectangle 6,4 65,45 4,4' \
        -fill "${screen}" -stroke none -draw 'rectangle 10,8 61,41' \
        -fill '#5a6270' -draw 'rectangle 32,46 39,51' -draw 'roundrectangle 22,51 49,55 2,2' \
        "$@" -depth 8 -type TrueColorAlpha -define png:color-type=6 "${output}"
}

# Not calibrated: a target off the centre with a red cross where the touch landed.
monitor '#FF00FF' '#dfe8f2' bitmap137.png \
    -fill none -stroke '#1f5fa8' -strokewidth 2 -draw 'circle 36,25 36,33' \
    -draw 'line 26,25 46,25' -draw 'line 36,15 36,35' \
    -stroke '#d33a2c' -strokewidth 3 -draw 'line 44,15 52,23' -draw 'line 52,15 44,23'

# Calibrated: the touch on the target, and a green tick.
monitor '#000000' '#dff2e4' bitmap138.png \
    -fill none -stroke '#1f5fa8' -strokewidth 2 -draw 'circle 30,25 30,33' \
    -draw 'line 20,25 40,25' -draw 'line 30,15 30,35' \
    -stroke '#2e9e4f' -strokewidth 4 -draw 'polyline 42,26 47,32 57,16'

# The banner, 162 x 43: a target and the program's name.
convert -size 162x43 gradient:'#2a6fbf'-'#123a6b' \
    -fill none -stroke white -strokewidth 2 -draw 'circle 21,21 21,34' -draw 'circle 21,21 21,28' \
    -draw 'line 4,21 38,21' -draw 'line 21,4 21,38' \
    -stroke none -fill white -font "${font}" -pointsize 17 -annotate +44+20 'TouchScreen' \
    -fill '#cfe0f5' -pointsize 12 -annotate +44+35 'Control Panel' \
    -depth 8 -type TrueColor -define png:color-type=2 bitmap129.png

# The icon, 32 x 32: a small monitor with a target.
convert -size 32x32 xc:none \
    -fill '#5a6270' -stroke '#3c424c' -draw 'roundrectangle 1,2 30,23 3,3' \
    -fill '#dfe8f2' -stroke none -draw 'rectangle 4,5 27,20' \
    -fill '#5a6270' -draw 'rectangle 13,24 18,26' -draw 'roundrectangle 8,26 23,29 1,1' \
    -fill none -stroke '#1f5fa8' -strokewidth 2 -draw 'circle 16,12 16,17' \
    -draw 'line 9,12 23,12' -draw 'line 16,6 16,19' \
    -depth 8 -define png:color-type=6 icon135.png

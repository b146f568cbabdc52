#!/usr/bin/env bash
# Draws the monitor's pictures with ImageMagick. The results are committed;
# run this again only to change a picture.
#   W3_b256.bmp / W3_y256.bmp / W3_r256.bmp  printer picture for the message kinds
#   images/heart.png, trash.png, bad.png      tray icons (ready, stopped, error)
#   oemSetup.ico                               window icon
set -euo pipefail
cd "$(dirname "$0")"

# A front view of the printer: paper in the input slot, the body in the
# kind's colour, the output tray and a status light.
printer() { # colour light file
    convert -size 71x61 xc:'#efefef' \
        -stroke '#606060' -strokewidth 1 \
        -fill white -draw 'rectangle 20,3 50,22' \
        -stroke '#707070' -draw 'line 24,8 46,8' -draw 'line 24,12 46,12' -draw 'line 24,16 40,16' \
        -stroke '#202020' -fill "$1" -draw 'roundrectangle 5,19 65,47 5,5' \
        -fill '#1a1a1a' -stroke none -draw 'rectangle 14,38 56,41' \
        -fill "$2" -stroke '#202020' -draw 'circle 57,26 60,26' \
        -fill '#c8c8c8' -stroke '#606060' -draw 'polygon 12,47 58,47 62,55 8,55' \
        -type Palette -colors 64 -compress None "BMP3:$3"
}
printer '#3a3a3a' '#40d040' W3_b256.bmp
printer '#f2c200' '#40d040' W3_y256.bmp
printer '#d42a2a' '#ffe000' W3_r256.bmp

# Ready: a green heart.
convert -size 32x32 xc:none -fill '#22b14c' -stroke none \
    -draw 'circle 10,11 10,4' -draw 'circle 22,11 22,4' \
    -draw 'polygon 3,13 29,13 16,29' -draw 'rectangle 8,9 24,14' images/heart.png
# Stopped: a grey waste bin.
convert -size 32x32 xc:none -fill '#8a8a8a' -stroke '#404040' -strokewidth 1 \
    -draw 'rectangle 6,7 26,10' -draw 'rectangle 12,4 20,7' \
    -draw 'polygon 8,11 24,11 22,29 10,29' \
    -stroke '#404040' -draw 'line 13,14 13,26' -draw 'line 16,14 16,26' -draw 'line 19,14 19,26' \
    images/trash.png
# Error: a red disc with a white cross.
convert -size 32x32 xc:none -fill '#d81e1e' -stroke '#801010' -strokewidth 1 \
    -draw 'circle 16,16 16,2' \
    -stroke white -strokewidth 4 -draw 'line 10,10 22,22' -draw 'line 22,10 10,22' \
    images/bad.png

# Window icon: the printer picture shrunk to 32 and 16 pixels.
convert W3_b256.bmp -transparent '#efefef' -gravity center -background none \
    -extent 71x71 -define icon:auto-resize=32,16 oemSetup.ico

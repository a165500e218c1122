#!/usr/bin/env bash
# Draws the application icon (a circle morphing into a square over a mesh) with ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/icons"
for size in 256 64 48 32 16; do
  convert -size 256x256 xc:none \
    -fill '#2a4d8f' -draw 'roundrectangle 8,8 247,247 40,40' \
    -fill '#f2b134' -draw 'circle 88,150 88,86' \
    -fill '#e85d75' -draw 'roundrectangle 120,60 220,160 18,18' \
    -stroke '#ffffff' -strokewidth 6 -fill none \
    -draw 'polyline 88,150 170,110 150,210 88,150' \
    -draw 'line 170,110 220,210' -draw 'line 150,210 220,210' \
    -resize ${size}x${size} "quillarend-${size}.png"
done
cp quillarend-32.png icon.png
convert quillarend-16.png quillarend-32.png quillarend-48.png quillarend-256.png quillarend.ico

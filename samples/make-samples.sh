#!/usr/bin/env bash
# Draws the two sample pictures with ImageMagick: a smiling face (source.png)
# and a cat's face (target.png), both 640 × 480. pairs.txt lists their
# corresponding points.
set -euo pipefail
cd "$(dirname "$0")"
out=(-strip -define png:exclude-chunks=date,time -type TrueColor -depth 8)

# Points of the quadratic Bézier curve "x0,y0 x1,y1 x2,y2", as an MVG point list.
curve() {
  awk -v a="$1" 'BEGIN { split(a, p, /[ ,]+/)
    for (i = 0; i <= 24; i++) { t = i / 24; u = 1 - t
      printf "%.1f,%.1f ", u*u*p[1] + 2*u*t*p[3] + t*t*p[5], u*u*p[2] + 2*u*t*p[4] + t*t*p[6] } }'
}
# An open, round-ended stroke along the curve.
open_curve() { echo "stroke-linecap round stroke-linejoin round polyline $(curve "$1")"; }

convert -size 640x480 gradient:'#9fd3ff'-'#eaf7ff' \
  -stroke '#b07a00' -strokewidth 6 -fill '#ffd23f' -draw 'circle 320,250 490,250' \
  -stroke none -fill '#ff9aa2' -draw 'ellipse 220,295 30,17 0,360' -draw 'ellipse 420,295 30,17 0,360' \
  -stroke '#5a3a00' -strokewidth 7 -fill none \
  -draw "$(open_curve '220,150 255,122 290,150')" -draw "$(open_curve '350,150 385,122 420,150')" \
  -stroke '#333333' -strokewidth 3 -fill white \
  -draw 'ellipse 255,200 28,36 0,360' -draw 'ellipse 385,200 28,36 0,360' \
  -stroke none -fill '#2b2b2b' -draw 'circle 255,206 255,222' -draw 'circle 385,206 385,222' \
  -fill white -draw 'circle 249,200 249,205' -draw 'circle 379,200 379,205' \
  -fill '#e8a317' -draw 'ellipse 320,265 12,9 0,360' \
  -stroke '#7a3b00' -strokewidth 9 -fill '#c0392b' \
  -draw "stroke-linejoin round polygon $(curve '245,320 320,345 395,320') $(curve '395,320 320,400 245,320')" \
  "${out[@]}" source.png

convert -size 640x480 gradient:'#d9c8ff'-'#fff0f6' \
  -stroke '#8a4b12' -strokewidth 6 -fill '#f39c4a' \
  -draw 'polygon 135,225 165,75 270,140' -draw 'polygon 505,225 475,75 370,140' \
  -stroke none -fill '#ffb6c1' -draw 'polygon 170,195 172,108 238,145' -draw 'polygon 470,195 468,108 402,145' \
  -stroke '#8a4b12' -strokewidth 6 -fill '#f39c4a' -draw 'ellipse 320,260 200,150 0,360' \
  -stroke none -fill '#d9782d' -draw 'polygon 300,112 320,175 340,112' \
  -draw 'polygon 240,118 265,165 275,116' -draw 'polygon 400,118 375,165 365,116' \
  -fill '#fff3e0' -draw 'ellipse 320,318 78,46 0,360' \
  -stroke '#1f3b1f' -strokewidth 3 -fill '#6bd36b' \
  -draw 'ellipse 240,220 34,24 0,360' -draw 'ellipse 400,220 34,24 0,360' \
  -stroke none -fill '#111111' -draw 'ellipse 240,220 6,21 0,360' -draw 'ellipse 400,220 6,21 0,360' \
  -fill '#ff7fa0' -stroke '#a0405a' -strokewidth 2 -draw 'polygon 306,277 334,277 320,294' \
  -stroke '#5a2a10' -strokewidth 5 -fill none \
  -draw 'line 320,294 320,318' \
  -draw "$(open_curve '272,318 296,346 320,318')" -draw "$(open_curve '320,318 344,346 368,318')" \
  -stroke '#5a2a10' -strokewidth 3 \
  -draw 'line 240,305 120,285' -draw 'line 240,318 115,322' -draw 'line 242,331 125,358' \
  -draw 'line 400,305 520,285' -draw 'line 400,318 525,322' -draw 'line 398,331 515,358' \
  "${out[@]}" target.png

#!/usr/bin/env bash
# Draws the ADD cursor: a 32 × 32 monochrome arrow (white, outlined in black,
# tip at the top left pixel) with the letters ADD below and to the right of it,
# black with a white outline so they show on any picture. Writes cursors/add.png.
set -euo pipefail
cd "$(dirname "$0")/cursors"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# X black, o white, . transparent.
rows() { printf '"%s",\n' "$@"; }
header() { printf '/* XPM */\nstatic char *img[] = {\n"32 32 3 1",\n". c None",\n"X c #000000",\n"o c #FFFFFF",\n'; }

{
  header
  rows \
    "X..............................." \
    "XX.............................." \
    "XoX............................." \
    "XooX............................" \
    "XoooX..........................." \
    "XooooX.........................." \
    "XoooooX........................." \
    "XooooooX........................" \
    "XoooooooX......................." \
    "XooooooooX......................" \
    "XoooooooooX....................." \
    "XooooooXXXXX...................." \
    "XoooXooX........................" \
    "XooXXooX........................" \
    "XoX..XooX......................." \
    "XX...XooX......................." \
    "X.....XooX......................" \
    "......XooX......................" \
    ".......XX......................."
  for _ in $(seq 19 31); do rows "................................"; done
  echo '};'
} >"$tmp/arrow.xpm"

{
  header
  for _ in $(seq 0 21); do rows "................................"; done
  rows \
    "..............XXX..XXXX..XXXX..." \
    ".............X...X.X...X.X...X.." \
    ".............X...X.X...X.X...X.." \
    ".............XXXXX.X...X.X...X.." \
    ".............X...X.X...X.X...X.." \
    ".............X...X.X...X.X...X.." \
    ".............X...X.XXXX..XXXX..."
  for _ in $(seq 29 31); do rows "................................"; done
  echo '};'
} >"$tmp/letters.xpm"

convert "$tmp/letters.xpm" -alpha extract -morphology Dilate Square:1 \
  -background white -alpha shape "$tmp/outline.png"
convert "$tmp/outline.png" "$tmp/letters.xpm" -composite "$tmp/arrow.xpm" -composite \
  -strip -define png:color-type=6 add.png

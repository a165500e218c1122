#!/usr/bin/env bash
# Makes the README's screenshots of the three wizard pages, at 96 DPI
# (pageID.png) and at 150 % (pageID@150.png), from the pictures in samples/:
#   screenshot.sh [OUTDIR]     (default: docs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
BUILD_TARGET=quillarend-screenshots "$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release
for scale in 1 1.5; do
  QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=$scale "$root/build/release/quillarend-screenshots" \
    "$root/samples/source.png" "$root/samples/target.png" "$root/samples/pairs.txt" "$out"
done

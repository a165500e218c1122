#!/usr/bin/env bash
# Configures and builds into a build folder: build.sh DIR [cmake options...]
# BUILD_TARGET=name builds only that target (and what it needs).
set -euo pipefail
dir=$1; shift
root=$(cd "$(dirname "$0")/.." && pwd)
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
# Reuses objects across build folders and checkouts when ccache is there.
command -v ccache >/dev/null 2>&1 && generator+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$dir" "${generator[@]}" "$@"
else
  cmake -S "$root" -B "$dir" "$@" >/dev/null
fi
cmake --build "$dir" --parallel "$(nproc 2>/dev/null || echo 2)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}

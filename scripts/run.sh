#!/usr/bin/env bash
# Sets up, builds (Release) and starts Quillarend.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# Only the program, not the tests.
BUILD_TARGET=quillarend "$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release
exec "$root/build/release/quillarend" "$@"

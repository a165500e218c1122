#!/usr/bin/env bash
# Sets up, builds (Release) and starts Quillarend.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" "$root/build/release" -DCMAKE_BUILD_TYPE=Release
exec "$root/build/release/quillarend" "$@"

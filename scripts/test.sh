#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless.
#   WERROR=1    warnings are errors
#   SANITIZE=1  AddressSanitizer + UndefinedBehaviorSanitizer build
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

dir="$root/build/test"
opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${WERROR:-0}" = 1 ]; then opts+=(-DQUILLAREND_WERROR=ON); else opts+=(-DQUILLAREND_WERROR=OFF); fi
if [ "${SANITIZE:-0}" = 1 ]; then
  dir="$root/build/sanitize"
  opts+=(-DQUILLAREND_SANITIZE=ON)
  export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # Leak reports from the system's font and graphics libraries are not ours.
  export LSAN_OPTIONS=suppressions="$root/tests/lsan.supp"
fi
"$root/scripts/build.sh" "$dir" "${opts[@]}"
export QT_QPA_PLATFORM=offscreen
cd "$dir"
ctest --output-on-failure --parallel 2

#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless.
#   WERROR=1    warnings are errors
#   SANITIZE=1  AddressSanitizer + UndefinedBehaviorSanitizer build
#   TSAN=1      ThreadSanitizer build (every test; the threads are the engine's
#               bands, the sequence encoders, the preview worker, the tool's)
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
if [ "${TSAN:-0}" = 1 ]; then
  if [ "${SANITIZE:-0}" = 1 ]; then echo "TSAN=1 and SANITIZE=1 cannot be combined" >&2; exit 2; fi
  dir="$root/build/tsan"
  opts+=(-DQUILLAREND_TSAN=ON)
  # Qt's own thread pool is not instrumented: see tests/tsan.supp. Tests
  # start the tool (fork) after threads ran and ask for impossible pictures
  # (a null allocation, not a crash); GLib's event loop is not instrumented.
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 allocator_may_return_null=1 suppressions=$root/tests/tsan.supp"
  export QT_NO_GLIB=1
fi
"$root/scripts/build.sh" "$dir" "${opts[@]}"
export QT_QPA_PLATFORM=offscreen
cd "$dir"
ctest --output-on-failure --parallel 2

#!/usr/bin/env bash
# Builds a fuzz harness with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it: fuzz.sh image|pairs [SECONDS [JOBS]].
# The corpus grows in build/fuzz/corpus-NAME, seeded from samples/; crashes
# are written to build/fuzz/crash-NAME-*. Needs clang and libclang-rt-14-dev.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case "${1:-}" in
  image) target=fuzz_image_load; seeds=("$root"/samples/*.png) ;;
  pairs) target=fuzz_pairs_file; seeds=("$root"/samples/pairs.txt) ;;
  *) echo "usage: $0 image|pairs [SECONDS [JOBS]]" >&2; exit 2 ;;
esac
seconds=${2:-600}
dir="$root/build/fuzz"
CXX=clang++ BUILD_TARGET=$target "$root/scripts/build.sh" "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLAREND_FUZZ=ON -DQUILLAREND_SANITIZE=ON
corpus="$dir/corpus-$1"
mkdir -p "$corpus"
cp -n "${seeds[@]}" "$corpus/"
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions="$root/tests/lsan.supp"
export QT_QPA_PLATFORM=offscreen
# The decoders' complaints about broken input would drown the fuzzer's own output.
export QT_LOGGING_RULES="*=false"
# Pictures may take up to a few GiB by the memory rule; more in one piece is a fault.
exec "$dir/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=6144 -malloc_limit_mb=4096 \
  -timeout=30 -artifact_prefix="$dir/crash-$1-" -print_final_stats=1 "$corpus"

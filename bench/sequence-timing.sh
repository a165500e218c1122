#!/usr/bin/env bash
# Times a numbered sequence against as many single-frame runs of the same tool,
# for several variants interleaved round by round, and prints medians:
#   sequence-timing.sh [-n FRAMES] [-r ROUNDS] [-e EXT] SOURCE TARGET PAIRS LABEL=TOOL[:ARG,ARG...] ...
# e.g. before=old/quillarend-render  after=build/release/quillarend-render:--jobs,2
set -euo pipefail
frames=30 rounds=3 ext=png
while getopts n:r:e: opt; do
  case $opt in
    n) frames=$OPTARG ;; r) rounds=$OPTARG ;; e) ext=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
src=$1 dst=$2 pairs=$3; shift 3
out=$(mktemp -d); trap 'rm -rf "$out"' EXIT

now() { date +%s.%N; }
declare -A seq single
for round in $(seq "$rounds"); do
  for variant in "$@"; do
    label=${variant%%=*} def=${variant#*=}
    tool=${def%%:*} args=()
    [ "$tool" != "$def" ] && IFS=, read -r -a args <<< "${def#*:}"
    rm -rf "$out"/*
    t0=$(now)
    "$tool" --source "$src" --target "$dst" --pairs "$pairs" --frames "$frames" --out "$out/s.$ext" "${args[@]}" >/dev/null
    t1=$(now)
    for i in $(seq 0 $((frames - 1))); do
      t=$(awk -v i="$i" -v n="$frames" 'BEGIN { printf "%.9g", i / (n - 1) }')
      "$tool" --source "$src" --target "$dst" --pairs "$pairs" --t "$t" --out "$out/f$i.$ext" "${args[@]}" >/dev/null
    done
    t2=$(now)
    seq[$label]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }') "
    single[$label]+="$(awk -v a="$t1" -v b="$t2" 'BEGIN { print b - a }') "
    bytes=$(du -cb "$out"/s_*."$ext" | tail -1 | cut -f1)
    echo "round $round $label sequence_s=$(echo ${seq[$label]} | awk '{print $NF}') singles_s=$(echo ${single[$label]} | awk '{print $NF}') sequence_bytes=$bytes" >&2
  done
done
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%-14s %12s %12s %8s\n' variant sequence_s singles_s ratio
for variant in "$@"; do
  label=${variant%%=*}
  s=$(echo "${seq[$label]}" | median) m=$(echo "${single[$label]}" | median)
  printf '%-14s %12.2f %12.2f %8.3f\n' "$label" "$s" "$m" "$(awk -v s="$s" -v m="$m" 'BEGIN { print s / m }')"
done

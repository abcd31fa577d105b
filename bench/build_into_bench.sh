#!/usr/bin/env bash
# Building straight into an RVZ (Zstandard level 5, 128 KiB chunks, the
# writer's defaults) against building the plain image and converting it with
# `dolphin-tool convert` to the same settings, as users did before, measured
# in the same run (target: the direct build faster than the pair). Both
# sides build the same tree with trelvik-cli (--output x.rvz against
# --output x.gcm), once maximised, as trelvik-cli builds by default, and
# once not; the direct build's RVZ must hold the plain image byte for byte.
# The machine's load is printed before each round: the ratios mean something
# only with both cores free. Each command runs three times, taking turns,
# after recycled_memory (bench_common.sh), and keeps its best time; every
# timing ends with `sync`. Temporary files (about 2 GiB) go to
# build/bench-tmp (or $BENCH_DIR) and are removed at the end.
#   bench/build_into_bench.sh [path/to/trelvik-cli [path/to/container_tool]]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
trelvik="${1:-$root/build/native/trelvik-cli}"
compare="${2:-$root/build/native/tests/container_tool}"
work="${BENCH_DIR:-$root/build/bench-tmp}"
dolphin_tool="$(command -v dolphin-tool || echo /usr/games/dolphin-tool)"
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
require_programs "$trelvik" "$compare" "$dolphin_tool"
fresh_work_dir "$work"

echo "generating a tree in $work ..."
mixed_tree "$work/tree"
# build OUT [OPTION...]
build() {
  local out="$1"
  shift
  sample_image "$trelvik" BNC "Build bench" "$work/tree" "$out" "$@"
}

# The plain build followed by dolphin-tool's conversion.
build_then_convert() {
  build "$work/plain.gcm" "$@"
  "$dolphin_tool" convert -u "$work/user" -i "$work/plain.gcm" -o "$work/theirs.rvz" -f rvz -c zstd -l 5 -b 131072
}

for mode in maximised unmaximised; do
  extra=()
  [ "$mode" = unmaximised ] && extra=(--no-maximise)
  direct=1e9
  pair=1e9
  for round in 1 2 3; do
    echo "$mode, round $round: load average $(cut -d' ' -f1-3 /proc/loadavg)"
    recycled_memory "$work"
    direct=$(min_time "$direct" "$(timed build "$work/ours.rvz" "${extra[@]}")")
    recycled_memory "$work"
    pair=$(min_time "$pair" "$(timed build_then_convert "${extra[@]}")")
  done
  "$compare" compare "$work/ours.rvz" "$work/plain.gcm" >/dev/null
  awk -v m="$mode" -v d="$direct" -v p="$pair" -v os="$(stat -c %s "$work/ours.rvz")" \
    -v ts="$(stat -c %s "$work/theirs.rvz")" 'BEGIN {
    printf "%s: plain build + dolphin-tool convert %.2f s, build into RVZ %.2f s, ratio %.3f (target < 1)\n", m, p, d, d / p
    printf "%s: RVZ sizes: ours %d bytes, dolphin-tool %d bytes\n", m, os, ts }'
  rm -f "$work/ours.rvz" "$work/theirs.rvz" "$work/plain.gcm"
done

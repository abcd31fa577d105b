#!/usr/bin/env bash
# Container writer benchmark: writing an RVZ (Zstandard level 5, 128 KiB
# chunks, as dolphin-tool suggests) with `ombrel-cli convert` against `dolphin-tool convert` of the same image with the same settings,
# measured in the same run (target: time ratio <= 1.1), and the two files'
# sizes (target: ours at most 1 % larger). Two images: a tree of text files
# and incompressible files as trelvik-cli builds it, and the same image
# grown to 1 GiB with the disc's filler in every gap, as mastered discs
# hold it (ours should shrink it as well as dolphin-tool does).
# The machine's load is printed before each round: the ratios mean something
# only with both cores free. Each command runs three times, taking turns,
# after recycled_memory (bench_common.sh), and keeps its best time; every
# timing ends with `sync`. Temporary files (about 3 GiB) go to
# build/bench-tmp (or $BENCH_DIR) and are removed at the end.
#   bench/writer_bench.sh [path/to/container_tool [path/to/trelvik-cli [path/to/ombrel-cli]]]
# (container_tool makes the filler image and compares the result.)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
tool="${1:-$root/build/native/tests/container_tool}"
trelvik="${2:-$root/build/native/trelvik-cli}"
ombrel="${3:-$root/build/native/ombrel-cli}"
work="${BENCH_DIR:-$root/build/bench-tmp}"
dolphin_tool="$(command -v dolphin-tool || echo /usr/games/dolphin-tool)"
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
require_programs "$tool" "$trelvik" "$ombrel" "$dolphin_tool"
fresh_work_dir "$work"

echo "generating a tree and its images in $work ..."
mixed_tree "$work/tree"
sample_image "$trelvik" BNC "Writer bench" "$work/tree" "$work/mixed.gcm" --no-maximise
rm -rf "$work/tree"
cp "$work/mixed.gcm" "$work/filler.gcm"
"$tool" junk "$work/filler.gcm" $((1 << 30)) >/dev/null

for name in mixed filler; do
  image="$work/$name.gcm"
  ours=1e9
  theirs=1e9
  for round in 1 2 3; do
    echo "$name, round $round: load average $(cut -d' ' -f1-3 /proc/loadavg)"
    recycled_memory "$work"
    ours=$(min_time "$ours" "$(timed "$ombrel" convert --overwrite --compression zstd --level 5 --block-size 131072 \
      "$image" "$work/ours.rvz")")
    recycled_memory "$work"
    theirs=$(min_time "$theirs" "$(timed "$dolphin_tool" convert -u "$work/user" -i "$image" -o "$work/theirs.rvz" \
      -f rvz -c zstd -l 5 -b 131072)")
  done
  "$tool" compare "$work/ours.rvz" "$image" >/dev/null
  awk -v n="$name" -v o="$ours" -v t="$theirs" -v p="$(stat -c %s "$image")" \
    -v os="$(stat -c %s "$work/ours.rvz")" -v ts="$(stat -c %s "$work/theirs.rvz")" 'BEGIN {
    printf "%s (%d bytes): dolphin-tool convert %.2f s, ours %.2f s, time ratio %.3f (target <= 1.1)\n", n, p, t, o, o / t
    printf "%s: dolphin-tool RVZ %d bytes, ours %d bytes, size ratio %.4f (target <= 1.01)\n", n, ts, os, os / ts }'
  rm -f "$work/ours.rvz" "$work/theirs.rvz"
done

#!/usr/bin/env bash
# The modder's round trip on a generated tree of about 2,000 files and 1 GiB,
# measured against cp -r of the same data on the same disk, in one run:
#   1. ombrel-cli unpack of the tree's image against cp -r of the tree;
#   2. trelvik-cli --root of the unpacked disc against cp -r of the tree.
# The three take turns for three rounds and each keeps its best time; every
# timing ends with sync. The image, the tree, its copies and the unpacked
# trees (about 8 GiB) go to build/bench-tmp (or $BENCH_DIR) and are removed
# at the end.
#   bench/round_trip_bench.sh [path/to/ombrel-cli [path/to/trelvik-cli]]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ombrel="${1:-$root/build/native/ombrel-cli}"
trelvik="${2:-$root/build/native/trelvik-cli}"
work="${BENCH_DIR:-$root/build/bench-tmp}/round-trip"
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
require_programs "$ombrel" "$trelvik"
fresh_work_dir "$work"

echo "generating a tree and its image in $work ..."
python3 "$root/bench/make_tree.py" "$work/tree" 2000 1024
sample_image "$trelvik" BRT "Round trip bench" "$work/tree" "$work/image.gcm" --no-maximise
sync
cat "$work/image.gcm" >/dev/null
find "$work/tree" -type f -exec cat {} + >/dev/null


bytes=$(du -sb "$work/tree" | cut -f1)
echo "tree: $(find "$work/tree" -type f | wc -l) files, $bytes bytes"
# The three take turns; copies and unpacked trees stay until the end (see
# settle and recycled_memory in bench_common.sh).
cp_time=1e9
unpack_time=1e9
rebuild_time=1e9
settle
for round in 1 2 3; do
  recycled_memory "$work"
  cp_time=$(min_time "$cp_time" "$(timed cp -r "$work/tree" "$work/copy$round")")
  recycled_memory "$work"
  unpack_time=$(min_time "$unpack_time" "$(timed "$ombrel" unpack "$work/image.gcm" "$work/unpacked$round")")
  recycled_memory "$work"
  rebuild_time=$(min_time "$rebuild_time" "$(timed "$trelvik" --root "$work/unpacked$round" \
    --output "$work/rebuilt.gcm" --no-maximise --quiet)")
  rm -f "$work/rebuilt.gcm"
done

awk -v cp="$cp_time" -v u="$unpack_time" -v b="$rebuild_time" -v bytes="$bytes" 'BEGIN {
  mib = bytes / 1048576
  printf "cp -r of the tree:      %7.3f s  (%6.1f MiB/s)\n", cp, mib / cp
  printf "ombrel-cli unpack:      %7.3f s  (%6.1f MiB/s)  ratio to cp -r %.3f\n", u, mib / u, u / cp
  printf "trelvik-cli --root:     %7.3f s  (%6.1f MiB/s)  ratio to cp -r %.3f\n", b, mib / b, b / cp
}'

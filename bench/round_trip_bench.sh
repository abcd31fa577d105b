#!/usr/bin/env bash
# The modder's round trip on a generated tree of about 2,000 files and 1 GiB,
# measured against cp -r of the same data on the same disk, in one run:
#   1. ombrel-cli unpack of the tree's image against cp -r of the tree;
#   2. trelvik-cli --root of the unpacked disc against cp -r of the tree.
# Each takes the better of two runs; every timing ends with sync. The image,
# the tree and the unpacked copy (about 4 GiB) go to build/bench-tmp (or
# $BENCH_DIR) and are removed at the end.
#   bench/round_trip_bench.sh [path/to/ombrel-cli [path/to/trelvik-cli]]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ombrel="${1:-$root/build/native/ombrel-cli}"
trelvik="${2:-$root/build/native/trelvik-cli}"
work="${BENCH_DIR:-$root/build/bench-tmp}/round-trip"
for tool in "$ombrel" "$trelvik"; do
  if [ ! -x "$tool" ]; then
    echo "round_trip_bench: $tool is missing; build both tools first" >&2
    exit 1
  fi
done
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

echo "generating a tree and its image in $work ..."
python3 "$root/bench/make_tree.py" "$work/tree" 2000 1024
"$trelvik" --game-id BRT --game-name "Round trip bench" --maker-id 01 --region usa \
  --apploader "$root/samples/apploader.img" --main-program "$root/samples/main.dol" \
  --base-dir "$work/tree" --output "$work/image.gcm" --no-maximise --quiet
sync
cat "$work/image.gcm" >/dev/null
find "$work/tree" -type f -exec cat {} + >/dev/null

# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"

best_of_two() {
  local cleanup="$1" t1 t2
  shift
  t1=$(timed "$@"); eval "$cleanup"; sync
  t2=$(timed "$@"); eval "$cleanup"; sync
  awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.3f", (a < b ? a : b) }'
}

bytes=$(du -sb "$work/tree" | cut -f1)
echo "tree: $(find "$work/tree" -type f | wc -l) files, $bytes bytes"
cp_time=$(best_of_two 'rm -rf "$work/copy"' cp -r "$work/tree" "$work/copy")
unpack_time=$(best_of_two 'rm -rf "$work/unpacked"' "$ombrel" unpack "$work/image.gcm" "$work/unpacked")
"$ombrel" unpack "$work/image.gcm" "$work/unpacked"
sync
rebuild_time=$(best_of_two 'rm -f "$work/rebuilt.gcm"' \
  "$trelvik" --root "$work/unpacked" --output "$work/rebuilt.gcm" --no-maximise --quiet)

awk -v cp="$cp_time" -v u="$unpack_time" -v b="$rebuild_time" -v bytes="$bytes" 'BEGIN {
  mib = bytes / 1048576
  printf "cp -r of the tree:      %7.3f s  (%6.1f MiB/s)\n", cp, mib / cp
  printf "ombrel-cli unpack:      %7.3f s  (%6.1f MiB/s)  ratio to cp -r %.3f\n", u, mib / u, u / cp
  printf "trelvik-cli --root:     %7.3f s  (%6.1f MiB/s)  ratio to cp -r %.3f\n", b, mib / b, b / cp
}'

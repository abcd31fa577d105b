#!/usr/bin/env bash
# Build benchmark for trelvik-cli, measured against baselines taken in the
# same run on the same disk:
#   1. building a ~1 GiB tree of ~2,000 files without maximising, against
#      `cp -r` of the same tree (target: the build at least 0.9x cp's speed,
#      i.e. time ratio build/cp <= 1.11);
#   2. maximising a ~100 MiB tree to the full disc size, against the same
#      build without maximising (target: time ratio <= 1.5).
# Each command runs twice and the better time counts; every timing includes
# a final `sync`, so data really reaches the disk. Temporary files go to
# build/bench-tmp (or $BENCH_DIR) and are removed at the end.
#   bench/build_bench.sh [path/to/trelvik-cli]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:-$root/build/native/trelvik-cli}"
work="${BENCH_DIR:-$root/build/bench-tmp}"

# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
require_programs "$cli"
fresh_work_dir "$work"

echo "generating trees in $work ..."
python3 "$root/bench/make_tree.py" "$work/big" 2000 1024
python3 "$root/bench/make_tree.py" "$work/small" 200 100
head -c 8192 /dev/urandom >"$work/apploader.img"
head -c 2097152 /dev/urandom >"$work/main.dol"
sync


# The better of two runs; the cleanup command runs after each.
best_of_two() {
  local cleanup="$1"
  shift
  local t1 t2
  t1=$(timed "$@")
  eval "$cleanup"
  sync
  t2=$(timed "$@")
  eval "$cleanup"
  sync
  awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.3f", (a < b ? a : b) }'
}

build() {
  local tree="$1"
  shift
  "$cli" --game-id BEN --game-name Bench --maker-id 01 --region usa \
    --apploader "$work/apploader.img" --main-program "$work/main.dol" \
    --base-dir "$work/$tree" --output "$work/out.gcm" --quiet "$@"
}

big_bytes=$(du -sb "$work/big" | cut -f1)
echo "tree: $(find "$work/big" -type f | wc -l) files, $big_bytes bytes"

cp_time=$(best_of_two 'rm -rf "$work/copy"' cp -r "$work/big" "$work/copy")
build_time=$(best_of_two 'rm -f "$work/out.gcm"' build big --no-maximise)
plain_time=$(best_of_two 'rm -f "$work/out.gcm"' build small --no-maximise)
max_time=$(best_of_two 'rm -f "$work/out.gcm"' build small)

awk -v cp="$cp_time" -v b="$build_time" -v bytes="$big_bytes" \
    -v plain="$plain_time" -v max="$max_time" 'BEGIN {
  mib = bytes / 1048576
  printf "cp -r:                 %7.3f s  (%6.1f MiB/s)\n", cp, mib / cp
  printf "build, not maximised:  %7.3f s  (%6.1f MiB/s)\n", b, mib / b
  r = b / cp
  printf "build/cp time ratio:   %7.3f   (target <= %.3f: %s)\n", r, 1 / 0.9, (r <= 1 / 0.9 ? "met" : "NOT met")
  printf "small build:           %7.3f s\n", plain
  printf "small build maximised: %7.3f s\n", max
  m = max / plain
  printf "maximise time ratio:   %7.3f   (target <= 1.5: %s)\n", m, (m <= 1.5 ? "met" : "NOT met")
}'

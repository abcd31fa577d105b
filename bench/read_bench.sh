#!/usr/bin/env bash
# Read benchmark for ombrel-cli, measured against baselines taken in the same
# run on the same disk, on an image of a generated tree of about 6,000 entries
# (5,840 files in 160 folders) and 1 GiB built with trelvik-cli:
#   1. mount plus full listing (`ombrel-cli ls -R`) against `wit files` on the
#      same image (target: faster than wit, time ratio < 1); each is run 20
#      times in a row, best of three rounds;
#   2. whole-image extraction (`ombrel-cli extract IMAGE / DEST`) against
#      `cp -r` of the source tree (target: at least 0.9x cp's speed, time ratio
#      <= 1.11) and against `wit extract` (target: faster, ratio < 1); the
#      three take turns for several rounds and each keeps its best time; every
#      timing ends with `sync`, so data really reaches the disk.
# Both the image and the tree are read once before timing, so every reader
# starts from a warm page cache. Temporary files (about 18 GiB) go to
# build/bench-tmp (or $BENCH_DIR) and are removed at the end.
#   bench/read_bench.sh [path/to/ombrel-cli [path/to/trelvik-cli]]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ombrel="${1:-$root/build/native/ombrel-cli}"
trelvik="${2:-$root/build/native/trelvik-cli}"
work="${BENCH_DIR:-$root/build/bench-tmp}"
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
require_programs "$ombrel" "$trelvik"
have_wit=1
command -v wit >/dev/null || have_wit=0

fresh_work_dir "$work"

echo "generating a tree and its image in $work ..."
python3 "$root/bench/make_tree.py" "$work/tree" 5840 1024 f
sample_image "$trelvik" BNR "Read bench" "$work/tree" "$work/image.gcm" --no-maximise
sync
cat "$work/image.gcm" >/dev/null
find "$work/tree" -type f -exec cat {} + >/dev/null

entries=$(find "$work/tree" -mindepth 1 | wc -l)
tree_bytes=$(du -sb "$work/tree" | cut -f1)
listed=$("$ombrel" ls -R "$work/image.gcm" | wc -l)
echo "tree: $entries entries, $tree_bytes bytes; image: $(stat -c %s "$work/image.gcm") bytes"
if [ "$listed" -ne "$entries" ]; then
  echo "read_bench: ombrel-cli lists $listed entries, the tree has $entries" >&2
  exit 1
fi


min() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", (a < b ? a : b) }'; }

repeat20() {
  local i
  for i in $(seq 20); do "$@" >/dev/null; done
}

# Best of three rounds of 20 runs.
best_of_rounds() {
  local best=1e9 t
  for _ in 1 2 3; do
    t=$(timed repeat20 "$@")
    best=$(min "$best" "$t")
  done
  echo "$best"
}

list_time=$(best_of_rounds "$ombrel" ls -R "$work/image.gcm")
wit_list_time=nan
[ "$have_wit" -eq 0 ] || wit_list_time=$(best_of_rounds wit files "$work/image.gcm")

# Writing 1 GiB varies from run to run with the disk's writeback and whatever
# else the machine is doing, so the three copies take turns, in a rotating
# order, for $ROUNDS rounds (default 5), and each keeps its best time. Nothing
# is deleted until all are done: ext4 skips the inodes of files deleted in the
# last 30 s when it allocates new ones, which would slow whoever comes next.
rounds="${ROUNDS:-5}"
declare -A best=([cp]=1e9 [ombrel]=1e9 [wit]=1e9)
run_cp() { cp -r "$work/tree" "$work/copy$1"; }
run_ombrel() { "$ombrel" extract "$work/image.gcm" / "$work/out$1"; }
run_wit() { wit extract -q "$work/image.gcm" "$work/wit$1"; }
contenders=(cp ombrel)
[ "$have_wit" -eq 0 ] || contenders+=(wit)
for ((round = 1; round <= rounds; round++)); do
  n=${#contenders[@]}
  for ((i = 0; i < n; i++)); do
    name=${contenders[$(((i + round) % n))]}
    t=$(timed "run_$name" "$round")
    best[$name]=$(min "${best[$name]}" "$t")
  done
  echo "round $round of $rounds done"
done
cp_time=${best[cp]}
extract_time=${best[ombrel]}
wit_extract_time=nan
[ "$have_wit" -eq 0 ] || wit_extract_time=${best[wit]}

# The extraction is checked once, outside the timings.
diff -rq "$work/tree" "$work/out1" >/dev/null || { echo "read_bench: extraction differs from the tree" >&2; exit 1; }

awk -v list="$list_time" -v wlist="$wit_list_time" -v cp="$cp_time" -v ex="$extract_time" \
    -v wex="$wit_extract_time" -v bytes="$tree_bytes" 'BEGIN {
  mib = bytes / 1048576
  printf "mount + ls -R, 20 runs:      %8.3f s\n", list
  if (wlist != "nan") {
    printf "wit files, 20 runs:          %8.3f s\n", wlist
    r = list / wlist
    printf "listing/wit time ratio:      %8.3f   (target < 1: %s)\n", r, (r < 1 ? "met" : "NOT met")
  } else {
    print "wit files:                   (wit is not installed)"
  }
  printf "cp -r:                       %8.3f s  (%6.1f MiB/s)\n", cp, mib / cp
  printf "extract /:                   %8.3f s  (%6.1f MiB/s)\n", ex, mib / ex
  r = ex / cp
  printf "extract/cp time ratio:       %8.3f   (target <= %.3f: %s)\n", r, 1 / 0.9, (r <= 1 / 0.9 ? "met" : "NOT met")
  if (wex != "nan") {
    printf "wit extract:                 %8.3f s  (%6.1f MiB/s)\n", wex, mib / wex
    r = ex / wex
    printf "extract/wit time ratio:      %8.3f   (target < 1: %s)\n", r, (r < 1 ? "met" : "NOT met")
  } else {
    print "wit extract:                 (wit is not installed)"
  }
}'

#!/usr/bin/env bash
# Editing an image in place against rebuilding it, on a generated tree of
# about 2,000 files and 1 GiB, in one run:
#   1. trelvik-cli edit --replace of one 1 MiB file, against trelvik-cli
#      --root of the unpacked disc with the same file replaced (target: the
#      edit at least 20 times faster);
#   2. trelvik-cli edit --from-folder adding 100 small files, against
#      trelvik-cli --root with the same files added (target: faster).
# The rebuild is timed alone: the unpack before it is not counted. Each
# takes turns for three rounds and keeps its best time. Both commands flush
# what they write to the disk before they end (the edit flushes its data and
# table, then the header; the rebuild its image before it takes the output's
# name), so no sync follows them: on a shared machine a sync adds everyone's
# writes, about 0.05 s here, to both. The edits of each round go to the same image, which grows only
# by the data they add. Files (about 4 GiB) go to build/bench-tmp (or
# $BENCH_DIR) and are removed at the end.
#   bench/edit_bench.sh [path/to/trelvik-cli [path/to/ombrel-cli]]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
trelvik="${1:-$root/build/native/trelvik-cli}"
ombrel="${2:-$root/build/native/ombrel-cli}"
work="${BENCH_DIR:-$root/build/bench-tmp}/edit"
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
require_programs "$ombrel" "$trelvik"
fresh_work_dir "$work"

echo "generating a tree, its image and the unpacked disc in $work ..."
python3 "$root/bench/make_tree.py" "$work/tree" 2000 1024
sample_image "$trelvik" BED "Edit bench" "$work/tree" "$work/image.gcm" --no-maximise
"$ombrel" unpack "$work/image.gcm" "$work/unpacked" >/dev/null
rm -rf "$work/tree"
head -c 1048576 /dev/urandom >"$work/one-mb.bin"
# The file replaced: the first one the image lists.
target="$("$ombrel" ls -R "$work/image.gcm" | awk -F'\t' '$1 == "f" && t == "" { t = $4 } END { print t }')"
mkdir -p "$work/small/added"
for i in $(seq -w 1 100); do head -c $((100 + 37 * 10#$i)) /dev/urandom >"$work/small/added/small$i.bin"; done
sync
echo "image: $(stat -c %s "$work/image.gcm") bytes, $("$ombrel" ls -R "$work/image.gcm" | grep -c '^f') files; replacing $target"

# Seconds taken by a command that flushes its own writes.
timed_flushing() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}

replace_edit=1e9
replace_rebuild=1e9
add_edit=1e9
add_rebuild=1e9
for round in 1 2 3; do
  recycled_memory "$work"
  replace_edit=$(min_time "$replace_edit" "$(timed_flushing "$trelvik" edit "$work/image.gcm" --quiet \
    --replace "$target" "$work/one-mb.bin")")
  cp "$work/one-mb.bin" "$work/unpacked/files$target"
  recycled_memory "$work"
  replace_rebuild=$(min_time "$replace_rebuild" "$(timed_flushing "$trelvik" --root "$work/unpacked" \
    --output "$work/rebuilt.gcm" --no-maximise --quiet)")
  rm -f "$work/rebuilt.gcm"

  # The same 100 files each round: added the first time, replaced after.
  recycled_memory "$work"
  add_edit=$(min_time "$add_edit" "$(timed_flushing "$trelvik" edit "$work/image.gcm" --quiet --from-folder "$work/small")")
  cp -a "$work/small/." "$work/unpacked/files/"
  recycled_memory "$work"
  add_rebuild=$(min_time "$add_rebuild" "$(timed_flushing "$trelvik" --root "$work/unpacked" \
    --output "$work/rebuilt.gcm" --no-maximise --quiet)")
  rm -f "$work/rebuilt.gcm"
done

# The edited image holds what the rebuild holds.
"$trelvik" --root "$work/unpacked" --output "$work/rebuilt.gcm" --no-maximise --quiet
"$ombrel" ls -R "$work/image.gcm" | awk -F'\t' '{ print $1, $2, $4 }' | LC_ALL=C sort >"$work/edited.txt"
"$ombrel" ls -R "$work/rebuilt.gcm" | awk -F'\t' '{ print $1, $2, $4 }' | LC_ALL=C sort >"$work/rebuilt.txt"
cmp -s "$work/edited.txt" "$work/rebuilt.txt" || { echo "the edited image and the rebuild list different files" >&2; exit 1; }

awk -v re="$replace_edit" -v rb="$replace_rebuild" -v ae="$add_edit" -v ab="$add_rebuild" 'BEGIN {
  printf "replace one 1 MiB file:   edit %7.3f s   --root rebuild %7.3f s   rebuild/edit %6.1fx (target 20x)\n", re, rb, rb / re
  printf "add 100 small files:      edit %7.3f s   --root rebuild %7.3f s   rebuild/edit %6.1fx (target >1x)\n", ae, ab, ab / ae
}'
echo "image after the edits: $(stat -c %s "$work/image.gcm") bytes"

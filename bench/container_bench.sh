#!/usr/bin/env bash
# Container read benchmark: out of an RVZ (Zstandard level 5, 128 KiB chunks,
# as dolphin-tool suggests) of a 1 GiB tree, `ombrel-cli extract RVZ / DEST`
# (the whole file system) and `ombrel-cli convert RVZ OUT` (the plain disc),
# each against `dolphin-tool convert -f iso` of the same RVZ, measured in the
# same run on the same disk (target: ratio <= 1, our whole extraction at
# least as fast as Dolphin's conversion). Two images: the read
# benchmark's tree (incompressible contents, so most groups are stored as
# they are) and a tree of text files (about 10:1, every group decompressed).
# Extraction from the plain image is timed too: it shows what creating the
# tree's files and writing them costs without any container.
# The four take turns for five rounds, each after recycled_memory
# (bench_common.sh), and each keeps its best time; every timing ends with
# `sync`. Temporary files (about 17 GiB) go to
# build/bench-tmp (or $BENCH_DIR) and are removed at the end.
#   bench/container_bench.sh [path/to/ombrel-cli [path/to/trelvik-cli]]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ombrel="${1:-$root/build/native/ombrel-cli}"
tool="$root/build/native/tests/container_tool"
trelvik="${2:-$root/build/native/trelvik-cli}"
work="${BENCH_DIR:-$root/build/bench-tmp}"
dolphin_tool="$(command -v dolphin-tool || echo /usr/games/dolphin-tool)"
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
require_programs "$ombrel" "$tool" "$trelvik" "$dolphin_tool"
fresh_work_dir "$work"

make_rvz() {
  local name="$1"
  sample_image "$trelvik" BNC "Container bench" "$work/$name" "$work/$name.gcm" --no-maximise
  rm -rf "${work:?}/$name"
  "$dolphin_tool" convert -u "$work/user" -i "$work/$name.gcm" -o "$work/$name.rvz" \
    -f rvz -c zstd -l 5 -b 131072 >/dev/null
  echo "$name: image $(stat -c %s "$work/$name.gcm") bytes, RVZ $(stat -c %s "$work/$name.rvz") bytes"
  "$tool" compare "$work/$name.rvz" "$work/$name.gcm" >/dev/null
}

echo "generating two trees, their images and RVZ files in $work ..."
python3 "$root/bench/make_tree.py" "$work/random" 2000 1024
python3 - "$work/text" <<'EOF'
import os, sys
root = sys.argv[1]
for i in range(256):
    folder = os.path.join(root, "d%02d" % (i % 16))
    os.makedirs(folder, exist_ok=True)
    lines = ("line %d of file %d: the quick brown fox jumps over the lazy dog %x\n" % (n, i, n * 2654435761 % 65536)
             for n in range(52000))
    with open(os.path.join(folder, "f%03d.txt" % i), "w") as f:
        f.writelines(lines)
EOF
make_rvz random
make_rvz text

# Extractions go to fresh folders that stay until the tree's rounds are over
# (see settle in bench_common.sh).
for name in random text; do
  extract=1e9
  convert=1e9
  theirs=1e9
  settle
  plain=1e9
  for round in 1 2 3 4 5; do
    recycled_memory "$work"
    extract=$(min_time "$extract" "$(timed "$ombrel" extract "$work/$name.rvz" / "$work/out$round")")
    recycled_memory "$work"
    plain=$(min_time "$plain" "$(timed "$ombrel" extract "$work/$name.gcm" / "$work/plain$round")")
    recycled_memory "$work"
    convert=$(min_time "$convert" "$(timed "$ombrel" convert "$work/$name.rvz" "$work/out.iso")")
    rm -f "$work/out.iso"
    recycled_memory "$work"
    theirs=$(min_time "$theirs" "$(timed "$dolphin_tool" convert -u "$work/user" -i "$work/$name.rvz" \
      -o "$work/out.iso" -f iso)")
    rm -f "$work/out.iso"
  done
  rm -rf "$work"/out? "$work"/plain?
  awk -v n="$name" -v e="$extract" -v c="$convert" -v b="$theirs" -v p="$plain" 'BEGIN {
    printf "%s: dolphin-tool convert -f iso %.2f s; ombrel-cli extract / %.2f s, ratio %.3f (target <= 1); ombrel-cli convert %.2f s, ratio %.3f\n",
      n, b, e, e / b, c, c / b
    printf "%s: for comparison, ombrel-cli extract / of the plain image (kernel copy) %.2f s, ratio %.3f\n",
      n, p, p / b }'
done

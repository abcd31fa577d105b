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
# tree's files and writing them costs without any container. So is
# extraction from the CISO and the WDF wit makes of the image (stored data,
# copied like a plain image's), against the plain image's (target: ratio
# about 1). With BASELINE_OMBREL set to another ombrel-cli (an earlier
# build), that one's extractions from the plain image, the CISO and the WDF
# are timed in the same rounds, and the ratios of this build's times to its
# times are printed.
# The commands take turns for five rounds, each after recycled_memory
# (bench_common.sh), and each keeps its best time; every timing ends with
# `sync`. Temporary files (about 16 GiB) go to
# build/bench-tmp (or $BENCH_DIR) and are removed at the end.
#   [BASELINE_OMBREL=path] bench/container_bench.sh [path/to/ombrel-cli [path/to/trelvik-cli]]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ombrel="${1:-$root/build/native/ombrel-cli}"
tool="$root/build/native/tests/container_tool"
trelvik="${2:-$root/build/native/trelvik-cli}"
work="${BENCH_DIR:-$root/build/bench-tmp}"
dolphin_tool="$(command -v dolphin-tool || echo /usr/games/dolphin-tool)"
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
baseline="${BASELINE_OMBREL:-}"
require_programs "$ombrel" "$tool" "$trelvik" "$dolphin_tool" ${baseline:+"$baseline"}
command -v wit >/dev/null || { echo "container_bench: wit is missing; run scripts/setup" >&2; exit 1; }
fresh_work_dir "$work"

make_rvz() {
  local name="$1"
  sample_image "$trelvik" BNC "Container bench" "$work/$name" "$work/$name.gcm" --no-maximise
  rm -rf "${work:?}/$name"
  "$dolphin_tool" convert -u "$work/user" -i "$work/$name.gcm" -o "$work/$name.rvz" \
    -f rvz -c zstd -l 5 -b 131072 >/dev/null
  echo "$name: image $(stat -c %s "$work/$name.gcm") bytes, RVZ $(stat -c %s "$work/$name.rvz") bytes"
  "$tool" compare "$work/$name.rvz" "$work/$name.gcm" >/dev/null
  wit copy --quiet --ciso "$work/$name.gcm" "$work/$name.ciso"
  wit copy --quiet --wdf "$work/$name.gcm" "$work/$name.wdf"
  "$tool" compare "$work/$name.ciso" "$work/$name.gcm" >/dev/null
  "$tool" compare "$work/$name.wdf" "$work/$name.gcm" >/dev/null
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

# Extractions go to fresh folders that stay until the round is over, then
# are deleted, with a pause after the deletion (see settle in
# bench_common.sh).
declare -A best
extract_into() {  # PROGRAM FILE_EXTENSION LABEL ROUND
  recycled_memory "$work"
  local t
  t=$(timed "$1" extract "$work/$name.$2" / "$work/out-$3$4")
  best[$3]=$(min_time "${best[$3]}" "$t")
}
for name in random text; do
  best=([rvz]=1e9 [plain]=1e9 [ciso]=1e9 [wdf]=1e9 [convert]=1e9 [theirs]=1e9
        [base_plain]=1e9 [base_ciso]=1e9 [base_wdf]=1e9)
  for round in 1 2 3 4 5; do
    rm -rf "$work"/out-*
    settle
    extract_into "$ombrel" rvz rvz "$round"
    extract_into "$ombrel" gcm plain "$round"
    extract_into "$ombrel" ciso ciso "$round"
    extract_into "$ombrel" wdf wdf "$round"
    if [ -n "$baseline" ]; then
      extract_into "$baseline" gcm base_plain "$round"
      extract_into "$baseline" ciso base_ciso "$round"
      extract_into "$baseline" wdf base_wdf "$round"
    fi
    recycled_memory "$work"
    best[convert]=$(min_time "${best[convert]}" "$(timed "$ombrel" convert "$work/$name.rvz" "$work/out.iso")")
    rm -f "$work/out.iso"
    recycled_memory "$work"
    best[theirs]=$(min_time "${best[theirs]}" "$(timed "$dolphin_tool" convert -u "$work/user" \
      -i "$work/$name.rvz" -o "$work/out.iso" -f iso)")
    rm -f "$work/out.iso"
  done
  # The extractions are checked once, outside the timings.
  for kind in plain ciso wdf; do
    diff -rq "$work/out-rvz5" "$work/out-${kind}5" >/dev/null ||
      { echo "container_bench: the $kind extraction differs from the RVZ's" >&2; exit 1; }
  done
  rm -rf "$work"/out-*
  awk -v n="$name" -v e="${best[rvz]}" -v c="${best[convert]}" -v b="${best[theirs]}" -v p="${best[plain]}" \
      -v ci="${best[ciso]}" -v wd="${best[wdf]}" 'BEGIN {
    printf "%s: dolphin-tool convert -f iso %.2f s; ombrel-cli extract / %.2f s, ratio %.3f (target <= 1); ombrel-cli convert %.2f s, ratio %.3f\n",
      n, b, e, e / b, c, c / b
    printf "%s: for comparison, ombrel-cli extract / of the plain image (kernel copy) %.2f s, ratio %.3f\n",
      n, p, p / b
    printf "%s: extract / of the CISO %.2f s and of the WDF %.2f s, ratios to the plain image %.3f and %.3f (target about 1)\n",
      n, ci, wd, ci / p, wd / p }'
  if [ -n "$baseline" ]; then
    awk -v n="$name" -v p="${best[plain]}" -v ci="${best[ciso]}" -v wd="${best[wdf]}" \
        -v bp="${best[base_plain]}" -v bc="${best[base_ciso]}" -v bw="${best[base_wdf]}" 'BEGIN {
      printf "%s: against BASELINE_OMBREL: plain %.2f s (baseline %.2f s, ratio %.3f), CISO %.2f s (%.2f s, %.3f), WDF %.2f s (%.2f s, %.3f)\n",
        n, p, bp, p / bp, ci, bc, ci / bc, wd, bw, wd / bw }'
  fi
done

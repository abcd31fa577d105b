#!/usr/bin/env bash
# Benchmark of the scan behind ombrel-cli unpack's warning of data outside a
# disc's files: every byte outside the boot areas, the table and the files is
# read and compared with zeros and the disc's filler. The disc is a retail-like
# full-size image: trelvik-cli's image of a generated 256 MiB tree, every gap
# then filled with the filler (container_tool junk), so about 1.1 GiB is
# scanned and all of it must be generated and compared. Measured in the same
# run (target: ratio <= 1 for each):
#   1. the scan of the plain image (outside_data_tool) against `sha1sum` of
#      the same image: cheaper than one checksum pass over the disc;
#   2. the scan of its RVZ (Zstandard level 5, 128 KiB chunks; the filler is
#      stored as seeds) against three times reading its whole disc out of the
#      container (container_tool cat RVZ /dev/null).
# Every file is read once first, so each run starts from a warm page cache;
# the contenders take turns for $ROUNDS rounds (default 5), each keeping its
# best time. Temporary files (about 1.8 GiB) go to build/bench-tmp (or
# $BENCH_DIR) and are removed at the end.
#   bench/outside_data_bench.sh
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
scan="$root/build/native/tests/outside_data_tool"
tool="$root/build/native/tests/container_tool"
trelvik="$root/build/native/trelvik-cli"
work="${BENCH_DIR:-$root/build/bench-tmp}"
dolphin_tool="$(command -v dolphin-tool || echo /usr/games/dolphin-tool)"
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
require_programs "$scan" "$tool" "$trelvik" "$dolphin_tool"
fresh_work_dir "$work"

echo "generating a 256 MiB tree, its full-size image with the filler in every gap, and its RVZ in $work ..."
python3 "$root/bench/make_tree.py" "$work/tree" 300 256
image="$work/image.gcm"
sample_image "$trelvik" BNO "Outside bench" "$work/tree" "$image" --no-maximise
rm -rf "$work/tree"
filled=$("$tool" junk "$image" 1459978240)
"$dolphin_tool" convert -u "$work/user" -i "$image" -o "$work/image.rvz" -f rvz -c zstd -l 5 -b 131072 >/dev/null
sync
cat "$image" "$work/image.rvz" >/dev/null
echo "image: $(stat -c %s "$image") bytes, $filled of them filler; RVZ: $(stat -c %s "$work/image.rvz") bytes"
for disc in "$image" "$work/image.rvz"; do
  counted=$("$scan" "$disc")
  [ "$counted" -eq 0 ] || { echo "outside_data_bench: $disc: $counted bytes counted, the filler should give 0" >&2; exit 1; }
done

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", (a < b ? a : b) }'; }

rounds="${ROUNDS:-5}"
declare -A best=([scan]=1e9 [sha1sum]=1e9 [scan_rvz]=1e9 [read_rvz]=1e9)
run_scan() { "$scan" "$image"; }
run_sha1sum() { sha1sum "$image"; }
run_scan_rvz() { "$scan" "$work/image.rvz"; }
run_read_rvz() { "$tool" cat "$work/image.rvz" /dev/null; }
contenders=(scan sha1sum scan_rvz read_rvz)
for round in $(seq "$rounds"); do
  for i in "${!contenders[@]}"; do
    name=${contenders[$(((i + round) % ${#contenders[@]}))]}
    best[$name]=$(min "${best[$name]}" "$(seconds "run_$name")")
  done
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "scan of the plain image:  ${best[scan]} s; sha1sum: ${best[sha1sum]} s;" \
  "ratio $(ratio "${best[scan]}" "${best[sha1sum]}") (target <= 1)"
echo "scan of the RVZ:          ${best[scan_rvz]} s; reading its disc: ${best[read_rvz]} s;" \
  "ratio to three reads $(ratio "${best[scan_rvz]}" "$(awk -v r="${best[read_rvz]}" 'BEGIN { print 3 * r }')") (target <= 1)"

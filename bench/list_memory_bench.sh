#!/usr/bin/env bash
# Memory of `ombrel-cli ls -R` against the size of its output. Images whose
# file system is one chain of nested folders (10-byte names) list in output
# that grows with the square of the depth: 3,000 levels give about 49 MB,
# 6,000 about 196 MB. For each, the peak resident memory of the listing is
# printed beside that of `ombrel-cli info` on the same image (the mount
# alone, the baseline of the same run), and the growth of both is compared.
# Target: the listing's peak stays near the mount's while its output grows
# about fourfold (memory ratio near 1, far below the output ratio).
#   bench/list_memory_bench.sh [path/to/ombrel-cli]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ombrel="${1:-$root/build/native/ombrel-cli}"
work="${BENCH_DIR:-$root/build/bench-tmp}/list-memory"
if [ ! -x "$ombrel" ] || [ ! -x /usr/bin/time ]; then
  echo "list_memory_bench: needs $ombrel and /usr/bin/time (scripts/setup installs it)" >&2
  exit 1
fi
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
fresh_work_dir "$work"

# Peak resident memory in KiB of a command whose output is counted and dropped.
peak_kib() {
  /usr/bin/time -f %M -o "$work/time" "$@" | wc -c >"$work/bytes"
  cat "$work/time"
}

declare -A out_bytes peak
for depth in 3000 6000; do
  image="$work/deep-$depth.gcm"
  python3 "$root/bench/make_deep_image.py" "$image" "$depth"
  mount_kib=$(peak_kib "$ombrel" info "$image")
  list_kib=$(peak_kib "$ombrel" ls -R "$image")
  out_bytes[$depth]=$(cat "$work/bytes")
  peak[$depth]=$list_kib
  printf '%5d levels: ls -R writes %6.1f MB with a peak of %6d KiB (the mount alone: %6d KiB)\n' \
    "$depth" "$(awk -v b="${out_bytes[$depth]}" 'BEGIN { print b / 1e6 }')" "$list_kib" "$mount_kib"
done
awk -v o1="${out_bytes[3000]}" -v o2="${out_bytes[6000]}" -v m1="${peak[3000]}" -v m2="${peak[6000]}" \
  'BEGIN { printf "output grew %.2fx, peak memory %.2fx (target: near 1)\n", o2 / o1, m2 / m1 }'

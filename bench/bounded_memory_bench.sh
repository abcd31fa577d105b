#!/usr/bin/env bash
# Memory and time bounded by the input, not by its shape, measured in one run:
#
# 1. Shared names: images whose 25,000 and 100,000 file entries all point at
#    one 65,535-byte name (1.3 MB as a plain image, tens of KB as an RVZ).
#    For each, the peak resident memory of ombrel-cli info, ls, extract,
#    unpack and convert, beside `info` of the same image without the table's
#    entries (the baseline). Target: every peak under 100 MB, growing no
#    faster than the table.
# 2. A deep sys/fst.bin: trelvik-cli --root of an unpacked disc whose table
#    is 2,000 and 20,000 nested folders sharing one 255-byte name (24 KB and
#    240 KB), beside --root of the same disc with its own table. Target: the
#    peak grows no faster than the table.
# 3. Cache thrash: 2,000 one-byte files whose data lie alternately in two
#    32 MiB chunks, extracted from an RVZ (Zstandard, 32 MiB chunks) and 100
#    such files from a WIA (bzip2, 32 MiB chunks, written by wit), each
#    against the plain image's extraction and against the same container
#    with the files in the order of their data (each chunk decoded once).
#    Target: the RVZ within 3x the plain image's time; both near 1x the
#    container in data order.
#   bench/bounded_memory_bench.sh [path/to/ombrel-cli [path/to/trelvik-cli]]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ombrel="${1:-$root/build/native/ombrel-cli}"
trelvik="${2:-$root/build/native/trelvik-cli}"
work="${BENCH_DIR:-$root/build/bench-tmp}/bounded-memory"
dolphin_tool="$(command -v dolphin-tool || echo /usr/games/dolphin-tool)"
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
require_programs "$ombrel" "$trelvik" "$dolphin_tool" /usr/bin/time "$(command -v wit || echo wit)"
fresh_work_dir "$work"

# Peak resident memory in KiB of a command, its output dropped.
peak_kib() {
  /usr/bin/time -f %M -o "$work/time" "$@" >/dev/null 2>&1 || true
  tail -n 1 "$work/time"
}
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

mkdir -p "$work/empty"
sample_image "$trelvik" BMB "Bounded memory" "$work/empty" "$work/base.gcm" --no-maximise

echo "== shared names: peak memory (MiB) against the input"
declare -A peak input
for entries in 25000 100000; do
  python3 "$root/bench/make_shared_name_table.py" --into "$work/base.gcm" "$work/shared-$entries.gcm" "$entries"
  "$dolphin_tool" convert -u "$work/user" -i "$work/shared-$entries.gcm" -o "$work/shared-$entries.rvz" \
    -f rvz -c zstd -l 5 -b 131072 >/dev/null 2>&1
  for kind in gcm rvz; do
    image="$work/shared-$entries.$kind"
    input[$entries.$kind]=$(stat -c %s "$image")
    line=""
    for command in info ls extract unpack convert; do
      rm -rf "$work/out"
      case "$command" in
        extract) kib=$(peak_kib "$ombrel" extract "$image" / "$work/out") ;;
        unpack) kib=$(peak_kib "$ombrel" unpack "$image" "$work/out") ;;
        convert) kib=$(peak_kib "$ombrel" convert "$image" "$work/out.gcm") ;;
        *) kib=$(peak_kib "$ombrel" "$command" "$image") ;;
      esac
      rm -f "$work/out.gcm"
      peak[$entries.$kind.$command]=$kib
      line+=" $command $(mib "$kib")"
    done
    printf '%6d entries, %s of %8d bytes:%s\n' "$entries" "$kind" "${input[$entries.$kind]}" "$line"
  done
done
baseline=$(peak_kib "$ombrel" info "$work/base.gcm")
echo "baseline (info of the image without those entries): $(mib "$baseline") MiB"
largest() {
  local worst=0 command k
  for command in info ls extract unpack convert; do
    k=${peak[$1.$command]}
    [ "$k" -gt "$worst" ] && worst=$k
  done
  echo "$worst"
}
for kind in gcm rvz; do
  small=$(largest "25000.$kind")
  large=$(largest "100000.$kind")
  printf '%s: file grew %.2fx, its table %.2fx, the largest peak %.2fx, to %s MiB (%.2fx the baseline; target: under 100 MiB)\n' \
    "$kind" "$(ratio "${input[100000.$kind]}" "${input[25000.$kind]}")" \
    "$(ratio $((100001 * 12 + 65536)) $((25001 * 12 + 65536)))" "$(ratio "$large" "$small")" \
    "$(mib "$large")" "$(ratio "$large" "$baseline")"
done

echo "== deep sys/fst.bin: peak memory of trelvik-cli --root against the table"
"$ombrel" unpack "$work/base.gcm" "$work/unpacked" >/dev/null
cp "$work/unpacked/sys/fst.bin" "$work/own-fst.bin"
own=$(peak_kib "$trelvik" --root "$work/unpacked" --output "$work/rebuilt.gcm" --no-maximise)
echo "own table ($(stat -c %s "$work/own-fst.bin") bytes): $(mib "$own") MiB"
declare -A deep deep_size
for depth in 2000 20000; do
  python3 "$root/bench/make_shared_name_table.py" --deep "$work/unpacked/sys/fst.bin" "$depth" 255
  deep_size[$depth]=$(stat -c %s "$work/unpacked/sys/fst.bin")
  deep[$depth]=$(peak_kib "$trelvik" --root "$work/unpacked" --output "$work/rebuilt.gcm" --no-maximise)
  printf '%6d levels (%d bytes): %s MiB, %.2fx the own table'"'"'s\n' "$depth" "${deep_size[$depth]}" \
    "$(mib "${deep[$depth]}")" "$(ratio "${deep[$depth]}" "$own")"
done
printf 'table grew %.2fx, peak memory %.2fx\n' "$(ratio "${deep_size[20000]}" "${deep_size[2000]}")" \
  "$(ratio "${deep[20000]}" "${deep[2000]}")"
rm -f "$work/rebuilt.gcm"

echo "== cache thrash: extraction time against the plain image's"
# Best of three rounds each.
best_extract() {
  local image="$1" best=1e9 t
  for _ in 1 2 3; do
    rm -rf "$work/out"
    t=$(timed "$ombrel" extract "$image" / "$work/out")
    best=$(min_time "$best" "$t")
  done
  echo "$best"
}
for variant in "rvz 2000" "wia 100"; do
  read -r kind files <<<"$variant"
  for order in alternating sorted; do
    flag=()
    [ "$order" = sorted ] && flag=(--sorted)
    python3 "$root/bench/make_alternating_image.py" "${flag[@]}" "$work/$order.gcm" "$files"
    if [ "$kind" = rvz ]; then
      "$dolphin_tool" convert -u "$work/user" -i "$work/$order.gcm" -o "$work/$order.$kind" \
        -f rvz -c zstd -l 5 -b 33554432 >/dev/null 2>&1
    else
      wit copy --quiet --overwrite --wia=bzip2 --chunk-size 32m "$work/$order.gcm" "$work/$order.$kind"
    fi
  done
  plain=$(best_extract "$work/alternating.gcm")
  alternating=$(best_extract "$work/alternating.$kind")
  sorted=$(best_extract "$work/sorted.$kind")
  printf '%s, %d files: plain %.3f s, %s %.3f s (%.2fx the plain image, %.2fx the %s in data order, %.3f s)\n' \
    "$kind" "$files" "$plain" "$kind" "$alternating" "$(ratio "$alternating" "$plain")" \
    "$(ratio "$alternating" "$sorted")" "$kind" "$sorted"
  rm -f "$work"/alternating.* "$work"/sorted.*
done

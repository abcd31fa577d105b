#!/usr/bin/env bash
# Runs the container layer's libFuzzer target (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) on its regression inputs and seeds, and fails
# on any finding:
#   1. compiles tests/fuzz/container_fuzz.cpp with the container layer and the
#      POSIX host layer into build/fuzz/container_fuzz (again only when a
#      source is newer than the program);
#   2. writes seeds (build/fuzz/container-seeds): a small image trelvik-cli
#      builds, converted by dolphin-tool (RVZ and WIA in every method it
#      writes, GCZ) and wit (CISO, WDF 1 and 2, WIA with purge and bzip2);
#   3. runs every committed crasher in tests/fuzz/container-regressions/ and
#      every seed once;
#   4. with FUZZ_SECONDS above 0 (scripts/fuzz sets it; the test command
#      does not), fuzzes for that long; new inputs collect in
#      build/fuzz/container-corpus, findings in
#      build/fuzz/container-artifacts/.
# A finding worth keeping goes into tests/fuzz/container-regressions/ under a
# name that says what it broke.
#   tests/fuzz/run_container_fuzz.sh [extra libFuzzer flags...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$root/build/fuzz"
bin="$out/container_fuzz"
seeds="$out/container-seeds"
rm -rf "$seeds"
mkdir -p "$seeds" "$out/container-corpus" "$out/container-artifacts"
# shellcheck source=tests/fuzz/fuzz_common.sh
source "$root/tests/fuzz/fuzz_common.sh"

# --- the fuzz target ------------------------------------------------------------
sources=("$root/tests/fuzz/container_fuzz.cpp")
# The disc checksums (disc_hash.cpp) and the dats looked up by them are a
# library of their own, not read here.
for f in "$root"/container/*.cpp; do
  case "$f" in */disc_hash.cpp | */disc_dat.cpp) ;; *) sources+=("$f") ;; esac
done
for f in "$root"/host/*.cpp; do
  case "$f" in *win32*) ;; *) sources+=("$f") ;; esac
done
headers=("$root"/container/*.h "$root"/host/*.h "$root"/disc/*.h)
fuzz_compile "$bin" sources headers -lz -lzstd -llzma -lbz2

# --- seeds from the real writers ----------------------------------------------------
cli="$(fuzz_trelvik_cli)"
dolphin_tool="$(command -v dolphin-tool || echo /usr/games/dolphin-tool)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/folder"
printf 'seed file\n' >"$work/tree/a.txt"
fuzz_noise 3000 "$work/tree/folder/noise.bin"
image="$work/seed.gcm"
"$cli" --game-id FZC --game-name "Container seed" --maker-id 01 --region usa \
  --apploader "$root/samples/apploader.img" --main-program "$root/samples/main.dol" \
  --base-dir "$work/tree" --output "$image" --no-maximise --quiet
# wit's WIA writer takes only whole 32 KiB sectors.
truncate -s 65536 "$image"
dolphin() {
  "$dolphin_tool" convert -u "$work/user" -i "$image" -o "$seeds/$1" "${@:2}" >/dev/null 2>&1 ||
    echo "run_container_fuzz: dolphin-tool did not write $1"
}
for method in none zstd lzma lzma2; do dolphin "$method.rvz" -f rvz -c "$method" -l 5 -b 32768; done
dolphin lzma2.wia -f wia -c lzma2 -l 5 -b 2097152
dolphin seed.gcz -f gcz -b 16384
witcopy() {
  wit copy --quiet --overwrite "${@:2}" "$image" "$seeds/$1" >/dev/null 2>&1 ||
    echo "run_container_fuzz: wit did not write $1"
}
witcopy seed.ciso --ciso --chunk-size =32K
witcopy seed1.wdf --wdf1
witcopy seed2.wdf --wdf2
witcopy purge.wia --wia=purge --chunk-size 2m
witcopy bzip2.wia --wia=bzip2 --chunk-size 2m
cp "$image" "$seeds/plain.gcm"

# --- committed crashers, then fuzzing ------------------------------------------------
# The layer's largest buffers are one block or chunk (at most 32 MiB) and its
# stored bytes (at most an eighth more): anything far larger is a finding.
flags=(-malloc_limit_mb=96 "$@")
fuzz_run "$bin" "$root/tests/fuzz/container-regressions" "$seeds" "$out/container-corpus" \
  "$out/container-artifacts" "$out/container-fuzz.log" 300000 flags

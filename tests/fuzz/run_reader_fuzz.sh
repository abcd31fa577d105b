#!/usr/bin/env bash
# Runs the reader engine's libFuzzer target (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) on its regression inputs and seeds, and fails
# on any finding:
#   1. compiles tests/fuzz/reader_fuzz.cpp with the reader, the container
#      layer and the POSIX host layer straight from their sources into
#      build/fuzz/reader_fuzz (again only when a source is newer than the
#      program);
#   2. writes seed images (build/fuzz/seeds), the same every run: trelvik-cli's
#      images of small trees, and hand-made tables
#      (tests/fuzz/make_seed_images.py);
#   3. runs every committed crasher in tests/fuzz/regressions/ and every seed
#      once;
#   4. with FUZZ_SECONDS above 0 (scripts/fuzz sets it; the test command
#      does not), fuzzes for that long; new inputs collect in
#      build/fuzz/corpus, findings in build/fuzz/artifacts/.
# A finding worth keeping goes into tests/fuzz/regressions/ under a name that
# says what it broke.
#   tests/fuzz/run_reader_fuzz.sh [extra libFuzzer flags...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$root/build/fuzz"
bin="$out/reader_fuzz"
rm -rf "$out/seeds"
mkdir -p "$out/seeds" "$out/corpus" "$out/artifacts"
# shellcheck source=tests/fuzz/fuzz_common.sh
source "$root/tests/fuzz/fuzz_common.sh"

# --- the fuzz target ------------------------------------------------------------
# The reader opens every image through the container layer.
sources=("$root/tests/fuzz/reader_fuzz.cpp")
# The disc checksums (disc_hash.cpp) and the dats looked up by them are a
# library of their own, not read here.
for f in "$root"/container/*.cpp; do
  case "$f" in */disc_hash.cpp | */disc_dat.cpp) ;; *) sources+=("$f") ;; esac
done
for f in "$root"/reader/*.cpp "$root"/host/*.cpp; do
  case "$f" in *win32*) ;; *) sources+=("$f") ;; esac
done
headers=("$root"/reader/*.h "$root"/host/*.h "$root"/disc/*.h "$root"/container/*.h)
fuzz_compile "$bin" sources headers -lz -lzstd -llzma -lbz2

# --- seed images ------------------------------------------------------------------
cli="$(fuzz_trelvik_cli)"
trees="$(mktemp -d)"
trap 'rm -rf "$trees"' EXIT

cp -r "$root/samples/base" "$trees/sample"
mkdir -p "$trees/sample/empty_folder"
mkdir -p "$trees/one" && printf 'only file\n' >"$trees/one/only.txt"
mkdir -p "$trees/nested/a/b/c/d" "$trees/nested/a/empty" "$trees/nested/B"
fuzz_noise 5000 "$trees/nested/a/b/c/d/deep.bin"
printf 'x' >"$trees/nested/B/x"
: >"$trees/nested/zero"
# A single-record banner (6,496 bytes) with Shift-JIS texts.
mkdir -p "$trees/single"
python3 - "$trees/single/opening.bnr" <<'EOF'
import sys
b = bytearray(6496)
b[0:4] = b"BNR1"
for i in range(3072):
    b[0x20 + 2 * i: 0x22 + 2 * i] = (0x8000 | (i * 37 & 0x7FFF)).to_bytes(2, "big")
b[0x1820:0x1820 + 8] = "サンプル".encode("cp932")
b[0x1840:0x1840 + 5] = b"Maker"
b[0x18E0:0x18E0 + 11] = b"Description"
open(sys.argv[1], "wb").write(b)
EOF
printf 'data\n' >"$trees/single/data.txt"

seed() {
  local tree="$1" name="$2"
  shift 2
  "$cli" --game-id FUZ --game-name "Fuzz seed" --maker-id 01 --region usa \
    --apploader "$root/samples/apploader.img" --main-program "$root/samples/main.dol" \
    --base-dir "$trees/$tree" --output "$out/seeds/$name.gcm" --no-maximise --quiet "$@"
}
seed sample sample
seed sample sample-plain --no-disc-magic
seed one one
seed nested nested
seed single single
python3 "$root/tests/fuzz/make_seed_images.py" "$out/seeds"

# --- committed crashers, then fuzzing ------------------------------------------------
# No input of a few hundred KB, however its entries share names or nest,
# needs more than the container's decoded extents (up to 128 MiB, and a few
# buffers of up to 32 MiB), the sanitizer's quarantine (256 MB) and the
# fuzzer's own: a run of 60 s peaks near 270 MB. An image whose 16,000
# entries share one 64 KiB name took 1 GB when each entry had its own copy.
fuzz_rss_limit_mb=768
flags=("$@")
fuzz_run "$bin" "$root/tests/fuzz/regressions" "$out/seeds" "$out/corpus" "$out/artifacts" "$out/fuzz.log" \
  200000 flags

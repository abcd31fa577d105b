#!/usr/bin/env bash
# Fuzzes the container layer with libFuzzer (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) for a bounded time and fails on any finding.
#   1. compiles tests/fuzz/container_fuzz.cpp with the container layer and the
#      POSIX host layer into build/fuzz/container_fuzz (again only when a
#      source is newer than the program);
#   2. writes seeds (build/fuzz/container-seeds): a small image trelvik-cli
#      builds, converted by dolphin-tool (RVZ and WIA in every method it
#      writes, GCZ) and wit (CISO, WDF 1 and 2, WIA with purge and bzip2);
#   3. runs every committed crasher in tests/fuzz/container-regressions/ once;
#   4. fuzzes for FUZZ_SECONDS (default 60) seconds; new inputs collect in
#      build/fuzz/container-corpus, findings in build/fuzz/container-artifacts/.
# A finding worth keeping goes into tests/fuzz/container-regressions/ under a
# name that says what it broke.
#   tests/fuzz/run_container_fuzz.sh [extra libFuzzer flags...]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
out="$root/build/fuzz"
bin="$out/container_fuzz"
seeds="$out/container-seeds"
seconds="${FUZZ_SECONDS:-60}"
cxx="${FUZZ_CXX:-clang++}"
mkdir -p "$seeds" "$out/container-corpus" "$out/container-artifacts"

# --- the fuzz target ------------------------------------------------------------
sources=("$root/tests/fuzz/container_fuzz.cpp" "$root"/container/*.cpp)
for f in "$root"/host/*.cpp; do
  case "$f" in *win32*) ;; *) sources+=("$f") ;; esac
done
headers=("$root"/container/*.h "$root"/host/*.h "$root"/disc/*.h)

stale=0
[ -x "$bin" ] || stale=1
for f in "${sources[@]}" "${headers[@]}" "${BASH_SOURCE[0]}"; do
  [ "$f" -nt "$bin" ] && stale=1
done
if [ "$stale" -eq 1 ]; then
  echo "run_container_fuzz: compiling $bin"
  "$cxx" -std=c++17 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" "${sources[@]}" -lz -lzstd -llzma -lbz2 -o "$bin.tmp"
  mv "$bin.tmp" "$bin"
fi

# --- seeds from the real writers ----------------------------------------------------
cli="$root/build/native/trelvik-cli"
if [ ! -x "$cli" ]; then
  cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$root/build/native" --target trelvik-cli >/dev/null
fi
dolphin_tool="$(command -v dolphin-tool || echo /usr/games/dolphin-tool)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/folder"
printf 'seed file\n' >"$work/tree/a.txt"
head -c 3000 /dev/urandom >"$work/tree/folder/noise.bin"
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

# --- committed crashers first -----------------------------------------------------
regressions=()
while IFS= read -r f; do regressions+=("$f"); done \
  < <(find "$root/tests/fuzz/container-regressions" -type f ! -name '*.md' 2>/dev/null | sort)
if [ ${#regressions[@]} -gt 0 ]; then
  echo "run_container_fuzz: ${#regressions[@]} regression input(s)"
  "$bin" -runs=1 "${regressions[@]}"
fi

# --- fuzzing ------------------------------------------------------------------------
log="$out/container-fuzz.log"
echo "run_container_fuzz: fuzzing for $seconds s (libFuzzer's output: $log)"
status=0
"$bin" -max_total_time="$seconds" -max_len=300000 -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$out/container-artifacts/" "$@" \
  "$out/container-corpus" "$seeds" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 80 "$log"
  echo "run_container_fuzz: FINDING (exit status $status); the input is in $out/container-artifacts/"
  exit 1
fi
grep -E '^stat::number_of_executed_units|^Done ' "$log" || true
echo "run_container_fuzz: no findings"

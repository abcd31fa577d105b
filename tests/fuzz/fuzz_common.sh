# Shared by the fuzz scripts (sourced, not run). The caller sets `root`, the
# repository's folder.

# Compiles a libFuzzer target with AddressSanitizer and
# UndefinedBehaviorSanitizer into BIN, again only when one of its sources or
# headers, the calling script or this file is newer than BIN.
#   fuzz_compile BIN SOURCES_ARRAY HEADERS_ARRAY [LINK FLAGS...]
fuzz_compile() {
  local bin="$1" f stale=0
  local -n fuzz_sources="$2" fuzz_headers="$3"
  shift 3
  [ -x "$bin" ] || stale=1
  for f in "${fuzz_sources[@]}" "${fuzz_headers[@]}" "$0" "${BASH_SOURCE[0]}"; do
    [ "$f" -nt "$bin" ] && stale=1
  done
  [ "$stale" -eq 1 ] || return 0
  echo "$(basename "$0" .sh): compiling $bin"
  # clang keeps literals in UTF-8 (it has no code page 932 execution
  # charset); only the bytes of the Japanese error texts differ.
  "${FUZZ_CXX:-clang++}" -std=c++17 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" "${fuzz_sources[@]}" "$@" -o "$bin.tmp"
  mv "$bin.tmp" "$bin"
}

# Runs every committed crasher in REGRESSIONS and every seed in SEEDS once;
# then, when FUZZ_SECONDS is above 0 (scripts/fuzz), fuzzes for that long
# from CORPUS, SEEDS and REGRESSIONS, findings going to ARTIFACTS and
# libFuzzer's output to LOG. Exits 1 on any finding. An input that takes
# more than $fuzz_rss_limit_mb MB (default 2048) is a finding.
#   fuzz_run BIN REGRESSIONS SEEDS CORPUS ARTIFACTS LOG MAX_LEN FLAGS_ARRAY
fuzz_run() {
  local bin="$1" regression_dir="$2" seed_dir="$3" corpus="$4" artifacts="$5" log="$6" max_len="$7" name status=0 f
  local -n fuzz_flags="$8"
  name="$(basename "$0" .sh)"
  local rss="-rss_limit_mb=${fuzz_rss_limit_mb:-2048}"
  local inputs=()
  while IFS= read -r f; do inputs+=("$f"); done \
    < <(find "$regression_dir" "$seed_dir" -type f ! -name '*.md' 2>/dev/null | sort)
  [ ${#inputs[@]} -gt 0 ] || { echo "$name: no regression or seed inputs" >&2; exit 1; }
  echo "$name: $(find "$regression_dir" -type f ! -name '*.md' | wc -l) regression input(s)," \
    "$(find "$seed_dir" -type f | wc -l) seed(s)"
  if ! "$bin" -runs=1 "$rss" ${fuzz_flags[@]+"${fuzz_flags[@]}"} "${inputs[@]}" >"$log" 2>&1; then
    tail -n 80 "$log"
    echo "$name: an input FAILED (libFuzzer's output: $log)"
    exit 1
  fi
  local seconds="${FUZZ_SECONDS:-0}"
  if [ "$seconds" -le 0 ]; then
    echo "$name: every input passes"
    return 0
  fi
  echo "$name: fuzzing for $seconds s (libFuzzer's output: $log)"
  "$bin" -max_total_time="$seconds" -max_len="$max_len" -timeout=20 "$rss" \
    -print_final_stats=1 -artifact_prefix="$artifacts/" ${fuzz_flags[@]+"${fuzz_flags[@]}"} \
    "$corpus" "$seed_dir" "$regression_dir" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    # The finding, its stack and the artifact's name are at the end.
    tail -n 80 "$log"
    echo "$name: FINDING (exit status $status); the input is in $artifacts/"
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^Done ' "$log" || true
  echo "$name: no findings"
}

# Writes N bytes of noise to FILE, the same bytes every run, so that every
# run replays the same seeds.
#   fuzz_noise N FILE
fuzz_noise() {
  python3 -c 'import random, sys; random.seed(int(sys.argv[1])); sys.stdout.buffer.write(random.randbytes(int(sys.argv[1])))' \
    "$1" >"$2"
}

# Prints the path of the native trelvik-cli that writes the seed images,
# building it first when it is missing.
fuzz_trelvik_cli() {
  local cli="$root/build/native/trelvik-cli"
  if [ ! -x "$cli" ]; then
    cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$root/build/native" --target trelvik-cli >/dev/null
  fi
  echo "$cli"
}

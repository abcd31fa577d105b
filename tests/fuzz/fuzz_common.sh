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

# Runs every committed crasher in REGRESSIONS once, then fuzzes for
# FUZZ_SECONDS (default 60) from the corpus folders, findings going to
# ARTIFACTS and libFuzzer's output to LOG; exits 1 on any finding. An input
# that takes more than $fuzz_rss_limit_mb MB (default 2048) is a finding.
#   fuzz_run BIN REGRESSIONS ARTIFACTS LOG MAX_LEN FLAGS_ARRAY CORPUS...
fuzz_run() {
  local bin="$1" regression_dir="$2" artifacts="$3" log="$4" max_len="$5" name status=0 f
  local -n fuzz_flags="$6"
  shift 6
  name="$(basename "$0" .sh)"
  local regressions=()
  while IFS= read -r f; do regressions+=("$f"); done \
    < <(find "$regression_dir" -type f ! -name '*.md' 2>/dev/null | sort)
  if [ ${#regressions[@]} -gt 0 ]; then
    echo "$name: ${#regressions[@]} regression input(s)"
    "$bin" -runs=1 -rss_limit_mb="${fuzz_rss_limit_mb:-2048}" ${fuzz_flags[@]+"${fuzz_flags[@]}"} "${regressions[@]}"
    set -- "$@" "$regression_dir"
  fi
  local seconds="${FUZZ_SECONDS:-60}"
  echo "$name: fuzzing for $seconds s (libFuzzer's output: $log)"
  "$bin" -max_total_time="$seconds" -max_len="$max_len" -timeout=20 -rss_limit_mb="${fuzz_rss_limit_mb:-2048}" \
    -print_final_stats=1 -artifact_prefix="$artifacts/" ${fuzz_flags[@]+"${fuzz_flags[@]}"} "$@" \
    >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    # The finding, its stack and the artifact's name are at the end.
    tail -n 80 "$log"
    echo "$name: FINDING (exit status $status); the input is in $artifacts/"
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^Done ' "$log" || true
  echo "$name: no findings"
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

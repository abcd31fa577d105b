# Shared by the benchmark scripts (sourced, not run).

# Seconds taken by a command followed by sync, so data really reaches the disk.
timed() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  sync
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}

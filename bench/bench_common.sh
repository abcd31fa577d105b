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

# On a virtual machine whose host backs guest memory lazily (and takes back
# memory the guest has left free for a while), the first write to a page
# costs a trip to the host: writing 1 GiB to fresh pages can take three
# times as long as to pages just freed. Writing and deleting a scratch file
# of SIZE_MIB (default 1536) just before a timed command gives every command
# the same start: recently freed pages the host still backs.
#   recycled_memory DIR [SIZE_MIB]
recycled_memory() {
  head -c "${2:-1536}M" /dev/zero >"$1/.recycled-memory"
  rm -f "$1/.recycled-memory"
}

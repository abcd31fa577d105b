# Shared by the benchmark scripts (sourced, not run; they set $root first).

# Stops the benchmark when a program it runs is not there.
#   require_programs PROGRAM...
require_programs() {
  local program
  for program in "$@"; do
    [ -x "$program" ] || { echo "$(basename "$0" .sh): $program is missing; run scripts/build native" >&2; exit 1; }
  done
}

# DIR made anew, and removed when the benchmark ends.
#   fresh_work_dir DIR
fresh_work_dir() {
  rm -rf "$1"
  mkdir -p "$1"
  trap "rm -rf '$1'" EXIT
}

# An image of TREE built by trelvik-cli with the sample apploader and main
# program; further trelvik-cli options follow.
#   sample_image TRELVIK GAME_ID GAME_NAME TREE IMAGE [OPTION...]
sample_image() {
  local trelvik="$1" id="$2" name="$3" tree="$4" image="$5"
  shift 5
  "$trelvik" --game-id "$id" --game-name "$name" --maker-id 01 --region usa \
    --apploader "$root/samples/apploader.img" --main-program "$root/samples/main.dol" \
    --base-dir "$tree" --output "$image" --quiet "$@"
}

# A tree of about 200 MiB that compresses as real discs do: 48 text files
# of repeated lines in eight folders, and twelve files of 8 MiB of random
# bytes.
#   mixed_tree DIR
mixed_tree() {
  python3 - "$1" <<'PY'
import os, sys
root = sys.argv[1]
for i in range(48):
    folder = os.path.join(root, "d%02d" % (i % 8))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%03d.txt" % i), "w") as f:
        f.writelines("line %d of file %d: the quick brown fox jumps over the lazy dog %x\n" % (n, i, n * 2654435761 % 65536)
                     for n in range(52000))
os.makedirs(os.path.join(root, "bin"))
for i in range(12):
    with open(os.path.join(root, "bin", "r%02d.bin" % i), "wb") as f:
        f.write(os.urandom(8 << 20))
PY
}

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

# ext4 without a journal passes over inodes freed in the last 5 to 10
# seconds when it allocates new ones, which makes creating thousands of
# files right after deleting thousands several times slower. Benchmarks that
# create trees keep them until their rounds are over, and call this after a
# bulk deletion.
settle() {
  sync
  sleep 11
}

# The smaller of two times.
min_time() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", (a < b ? a : b) }'; }

#!/usr/bin/env bash
# Listing speed of Ombrel's main window under wine, measured through the UI
# driver (tests/ui/ombrel_driver.cpp, --time-listing): the time from a
# double-click on a folder row until the list holds the folder's rows, the
# status bar names it and the list is painted. Two images are built with
# trelvik-cli, each holding a folder of 3 files (the baseline of the same
# run) and one of 3,000 or 16,000 empty files; each folder is visited three
# times and its best time printed. Names are 3 bytes, so that 16,000 of them
# fit the file system table's 64 KiB of names.
# Targets: 3,000 rows under 0.5 s, 16,000 rows under 2 s; the ratios to the
# 3-row folder show what the rows themselves cost.
#   bench/listing_bench.sh [path/to/win64-build-tree]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
win64="${1:-$root/build/win64}"
work="${BENCH_DIR:-$root/build/bench-tmp}/listing"
if [ ! -f "$win64/Makefile" ]; then
  echo "listing_bench: no 64-bit Windows build tree in $win64 (scripts/build win64)" >&2
  exit 1
fi
cmake --build "$win64" --target Ombrel ombrel_ui_driver trelvik-cli -- -j2 >/dev/null
# shellcheck source=bench/bench_common.sh
source "$root/bench/bench_common.sh"
fresh_work_dir "$work"

winpath() { local p="$1"; printf 'Z:%s' "${p//\//\\}"; }

echo "generating trees of 3,000 and 16,000 files in $work ..."
python3 - "$work" <<'EOF'
import itertools
import os
import string
import sys

work = sys.argv[1]
alphabet = string.digits + string.ascii_lowercase
devices = {"aux", "con", "nul", "prn"}  # names Windows keeps for devices
names = [n for n in map("".join, itertools.product(alphabet, repeat=3)) if n not in devices]
for count in (3000, 16000):
    for folder, files in (("three", 3), ("many", count)):
        path = os.path.join(work, "tree-%d" % count, folder)
        os.makedirs(path)
        for name in names[:files]:
            open(os.path.join(path, name), "wb").close()
EOF

# The native trelvik-cli when it is built, else the Windows one under wine.
native="$root/build/native/trelvik-cli"
images=()
for count in 3000 16000; do
  image="listing-$count.gcm"
  args=(--game-id LST --game-name "Listing bench" --maker-id 01 --region usa --no-maximise --quiet)
  if [ -x "$native" ]; then
    "$native" "${args[@]}" --apploader "$root/samples/apploader.img" --main-program "$root/samples/main.dol" \
      --base-dir "$work/tree-$count" --output "$work/$image"
  else
    "$root/scripts/wine-run" "$win64/trelvik-cli.exe" "${args[@]}" \
      --apploader "$(winpath "$root/samples/apploader.img")" --main-program "$(winpath "$root/samples/main.dol")" \
      --base-dir "$(winpath "$work/tree-$count")" --output "$(winpath "$work/$image")"
  fi
  images+=(--time-listing "$image")
done

echo "timing the listings under wine ..."
"$root/scripts/wine-run" "$win64/tests/ui/ombrel_ui_driver.exe" --ombrel "$(winpath "$win64/Ombrel.exe")" \
  --work "$(winpath "$work")" "${images[@]}" 2> >(grep -v 'Read access denied for device' >&2) |
  tee "$work/times.txt"
awk '/^listing 3000 rows/ { a = $4 } /^listing 16000 rows/ { b = $4 }
  END { if (a == "" || b == "") exit 1
        printf "3,000 rows: %.3f s (target: under 0.5 s); 16,000 rows: %.3f s (target: under 2 s)\n", a, b }' \
  "$work/times.txt"

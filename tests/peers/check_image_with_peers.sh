#!/usr/bin/env bash
# Checks disc images with two outside tools, Wiimms ISO Tools (wit) and
# Dolphin's dolphin-tool:
#
#   - wit takes the image for a GameCube disc, lists exactly the files and
#     folders of the base directory at 2,048-aligned offsets, and extracts
#     every file, the apploader and the main program byte for byte as they
#     went in;
#   - ombrel-cli unpack writes sys/ exactly as wit extract does (the same
#     files, byte for byte) and files/ with the same bytes (wit writes each
#     name byte of 0x80 or more as the Latin-1 character of that value, ours
#     are converted from Shift-JIS);
#   - dolphin-tool opens it as a disc, and its verifier finds no problem of
#     Medium or High severity, in a copy cut at the end of its content; every
#     folder entry holds its parent folder's index, which Dolphin checks (see
#     below).
#
# Usage:
#   check_image_with_peers.sh
#       builds images of the bundled samples with trelvik-cli from a copy of
#       samples/base with an empty folder added, for each region at content
#       size and once padded to the full disc size, and each again rebuilt
#       with trelvik-cli --root from its unpacked copy, and checks them all;
#       then rebuilds a disc with Japanese names from wit's extraction of it
#       and compares the bytes;
#       the tools are $TRELVIK_CLI and $OMBREL_CLI, by default
#       build/native/trelvik-cli and build/native/ombrel-cli
#   check_image_with_peers.sh [--base DIR] [--apploader FILE] [--main-program FILE]
#                             [--expect-id ID6] [--expect-name NAME] IMAGE
#       checks one image; the defaults are samples/base, samples/apploader.img
#       and samples/main.dol
#
# Exit status: 0 when every check passes, or when a peer is not installed (a
# line starting "skipped:" says so); 1 when any check fails; 2 on bad usage.
set -u

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"

base="$repo/samples/base"
apploader="$repo/samples/apploader.img"
main_program="$repo/samples/main.dol"
expect_id=""
expect_name=""
image=""

usage() {
  sed -n '/^# Usage:/,/^#$/p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

while [ $# -gt 0 ]; do
  case "$1" in
    --base) base="${2:?}"; shift 2 ;;
    --apploader) apploader="${2:?}"; shift 2 ;;
    --main-program) main_program="${2:?}"; shift 2 ;;
    --expect-id) expect_id="${2:?}"; shift 2 ;;
    --expect-name) expect_name="${2:?}"; shift 2 ;;
    -h|--help) usage ;;
    -*) echo "unknown option: $1" >&2; usage ;;
    *) [ -z "$image" ] || usage; image="$1"; shift ;;
  esac
done

# --- the peers ----------------------------------------------------------------

if ! command -v wit >/dev/null 2>&1; then
  echo "skipped: wit not installed"
  exit 0
fi
dolphin_tool="$(command -v dolphin-tool || true)"
[ -n "$dolphin_tool" ] || [ ! -x /usr/games/dolphin-tool ] || dolphin_tool=/usr/games/dolphin-tool
if [ -z "$dolphin_tool" ]; then
  echo "skipped: dolphin-tool not installed"
  exit 0
fi

ombrel="${OMBREL_CLI:-$repo/build/native/ombrel-cli}"
if [ ! -x "$ombrel" ]; then
  echo "FAIL: $ombrel is missing; build it first (scripts/build native)"
  exit 1
fi

failures=0
pass() { echo "ok:   $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work="$(mktemp -d "${TMPDIR:-/tmp}/peer-check.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Runs every check on "$1" against $base, $apploader, $main_program and the
# expected ID and name, counting failures.
check_image() {
  local image="$1" input verify_status misaligned offset path
  rm -rf "$work/check" && mkdir -p "$work/check"
  for input in "$image" "$apploader" "$main_program"; do
    if [ ! -f "$input" ]; then
      fail "no such file: $input"
      return
    fi
  done
  if [ ! -d "$base" ]; then
    fail "no such folder: $base"
    return
  fi

  echo "checking $image"
  echo "  against base $base"
  echo "  apploader $apploader, main program $main_program"

  # --- wit: disc type and header fields ---------------------------------------

  if wit dump "$image" >"$work/check/dump.txt" 2>&1; then
    if grep -Eq '^ *File & disc type: +ISO/GC +& +GameCube *$' "$work/check/dump.txt"; then
      pass "wit dump takes the image for a GameCube disc"
    else
      fail "wit dump does not report a GameCube disc:"
      sed 's/^/      /' "$work/check/dump.txt"
    fi
  else
    fail "wit dump refused the image:"
    sed 's/^/      /' "$work/check/dump.txt"
  fi
  grep -E '^ *(Disc & part IDs|Disc name|ID Region|BI2 Region):' "$work/check/dump.txt" | sed 's/^ */      /'

  if [ -n "$expect_id" ]; then
    if grep -Eq "^ *Disc & part IDs: +disc=${expect_id}," "$work/check/dump.txt"; then
      pass "disc ID is $expect_id"
    else
      fail "disc ID is not $expect_id"
    fi
  fi
  if [ -n "$expect_name" ]; then
    if grep -Fxq "  Disc name:         $expect_name" "$work/check/dump.txt"; then
      pass "disc name is \"$expect_name\""
    else
      fail "disc name is not \"$expect_name\""
    fi
  fi

  # --- wit: the file list -----------------------------------------------------

  # Each line: offset (hex, "+"-suffixed, or "-" for a folder), size hex, size
  # decimal or N=count, path. Only the disc's own file system (files/) counts.
  if wit files --pmode none --no-header --long --long "$image" >"$work/check/files.txt" 2>&1; then
    awk '{ p = $0; sub(/^ *[^ ]+ +[^ ]+ +[^ ]+ +/, "", p) }
         p ~ /^files\/./ { sub(/^files\//, "", p); print p }' "$work/check/files.txt" |
      LC_ALL=C sort >"$work/check/listed.txt"
    (cd "$base" && find . -mindepth 1 \( -type d -printf '%P/\n' \) -o \( -type f -printf '%P\n' \)) |
      LC_ALL=C sort >"$work/check/expected.txt"
    if diff -u "$work/check/expected.txt" "$work/check/listed.txt" >"$work/check/list.diff"; then
      pass "wit lists exactly the $(wc -l <"$work/check/expected.txt") files and folders of the base directory"
    else
      fail "wit's file list differs from the base directory (- base, + image):"
      sed 's/^/      /' "$work/check/list.diff"
    fi

    misaligned=""
    while read -r offset _ _ path; do
      case "$offset" in *+) ;; *) continue ;; esac
      case "$path" in files/?*) ;; *) continue ;; esac
      offset="${offset%+}"
      if [ $((0x$offset % 2048)) -ne 0 ]; then
        misaligned+="      $offset ${path#files/}"$'\n'
      fi
    done <"$work/check/files.txt"
    if [ -z "$misaligned" ]; then
      pass "every file starts at a multiple of 2,048"
    else
      fail "files not at a multiple of 2,048 (hex offset, path):"
      printf '%s' "$misaligned"
    fi
  else
    fail "wit files refused the image:"
    sed 's/^/      /' "$work/check/files.txt"
  fi

  # --- wit: extraction, byte for byte -----------------------------------------

  if wit extract --pmode none --quiet "$image" "$work/check/extracted" >"$work/check/extract.txt" 2>&1 &&
     [ -d "$work/check/extracted/files" ]; then
    if diff -r "$base" "$work/check/extracted/files" >"$work/check/extract.diff" 2>&1; then
      pass "files extracted by wit equal the base directory byte for byte"
    else
      fail "files extracted by wit differ from the base directory:"
      sed 's/^/      /' "$work/check/extract.diff"
    fi
    # wit cuts these two areas by their own headers: the apploader's sizes and
    # the main program's section table, from the offsets in the disc header.
    if cmp "$apploader" "$work/check/extracted/sys/apploader.img"; then
      pass "apploader extracted by wit equals $(basename "$apploader")"
    else
      fail "apploader extracted by wit differs from $apploader"
    fi
    if cmp "$main_program" "$work/check/extracted/sys/main.dol"; then
      pass "main program extracted by wit equals $(basename "$main_program")"
    else
      fail "main program extracted by wit differs from $main_program"
    fi
  else
    fail "wit extract failed:"
    sed 's/^/      /' "$work/check/extract.txt"
  fi

  # --- ombrel-cli unpack against wit extract ---------------------------------

  if [ -d "$work/check/extracted/sys" ]; then
    if "$ombrel" unpack "$image" "$work/check/unpacked" >"$work/check/unpack.txt" 2>&1; then
      if diff -r "$work/check/extracted/sys" "$work/check/unpacked/sys" >"$work/check/sys.diff" 2>&1; then
        pass "ombrel-cli unpack writes sys/ as wit extract does: $(cd "$work/check/unpacked/sys" && ls | tr '\n' ' ')"
      else
        fail "ombrel-cli unpack's sys/ differs from wit's:"
        sed 's/^/      /' "$work/check/sys.diff"
      fi
      # wit's names: each byte of 0x80 or more as Latin-1; ours: from Shift-JIS.
      if python3 - "$work/check/extracted/files" "$work/check/unpacked/files" >"$work/check/names.txt" 2>&1 <<'EOF'
import filecmp, os, sys
wit_root, ours_root = sys.argv[1], sys.argv[2]
def as_wit(name):
    try:
        return name.encode("cp932").decode("latin-1")
    except UnicodeError:
        return name
def listing(root, convert):
    out = {}
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        parts = [] if rel == "." else [convert(p) for p in rel.split(os.sep)]
        for d in dirs:
            out["/".join(parts + [convert(d)]) + "/"] = None
        for f in files:
            out["/".join(parts + [convert(f)])] = os.path.join(folder, f)
    return out
wit = listing(wit_root, lambda n: n)
ours = listing(ours_root, as_wit)
if set(wit) != set(ours):
    sys.exit("names differ: only wit %s, only ours %s" % (sorted(set(wit) - set(ours))[:5], sorted(set(ours) - set(wit))[:5]))
bad = [k for k, p in ours.items() if p and not filecmp.cmp(p, wit[k], shallow=False)]
if bad:
    sys.exit("bytes differ: %s" % bad[:5])
print("%d entries" % len(ours))
EOF
      then
        pass "ombrel-cli unpack's files/ equals wit's, names apart ($(cat "$work/check/names.txt"))"
      else
        fail "ombrel-cli unpack's files/ differs from wit's: $(cat "$work/check/names.txt")"
      fi
    else
      fail "ombrel-cli unpack failed:"
      sed 's/^/      /' "$work/check/unpack.txt"
    fi
  fi

  # --- dolphin-tool -----------------------------------------------------------

  # Dolphin's file system check wants each folder entry's second word to be the
  # index of its parent folder, which trelvik-cli writes unless told to copy
  # the wizard's bytes exactly. The verifier runs on a copy cut at the end of
  # the content (hashing the padding of a full-size image takes seconds and
  # checks nothing); the table is the image's own.
  if python3 - "$image" "$work/check/for-dolphin.gcm" >"$work/check/copy.txt" 2>&1 <<'EOF'
import struct, sys

source, target = sys.argv[1], sys.argv[2]
with open(source, "rb") as f:
    header = f.read(0x430)
    fst_offset, fst_size = struct.unpack_from(">II", header, 0x424)
    f.seek(fst_offset)
    table = bytearray(f.read(fst_size))
    if len(table) < 12 or len(table) != fst_size:
        sys.exit("file system table lies outside the image")
    count = struct.unpack_from(">I", table, 8)[0]
    if 12 * count > fst_size:
        sys.exit("file system table has more entries than bytes")
    end = fst_offset + fst_size
    open_folders = [(0, count)]  # (index, next) of the folders around an entry
    wrong_links = []
    for i in range(1, count):
        while len(open_folders) > 1 and i >= open_folders[-1][1]:
            open_folders.pop()
        word0, word1, word2 = struct.unpack_from(">III", table, 12 * i)
        if word0 >> 24:
            parent = open_folders[-1][0]
            if word1 != parent:
                wrong_links.append("entry %d holds %d, not its parent %d" % (i, word1, parent))
            open_folders.append((i, word2))
        else:
            end = max(end, word1 + word2)
    if wrong_links:
        sys.exit("folder entries without their parent's index: " + "; ".join(wrong_links[:5]))
    f.seek(0)
    with open(target, "wb") as out:
        out.write(f.read(fst_offset))
        out.write(table)
        f.seek(fst_offset + fst_size)
        out.write(f.read(end - fst_offset - fst_size))
print("folder entries carry their parent's index; copy of %d bytes" % end)
EOF
  then
    echo "      $(cat "$work/check/copy.txt")"
    "$dolphin_tool" verify -u "$work/check/dolphin-user" -i "$work/check/for-dolphin.gcm" >"$work/check/verify.txt" 2>&1
    verify_status=$?
    if [ $verify_status -ne 0 ]; then
      fail "dolphin-tool cannot open the image (verify status $verify_status):"
      sed 's/^/      /' "$work/check/verify.txt"
    elif grep -Eq '^Severity: (High|Medium)' "$work/check/verify.txt"; then
      fail "dolphin-tool verify finds a problem of Medium or High severity:"
      sed 's/^/      /' "$work/check/verify.txt"
    else
      pass "dolphin-tool opens the image and its verifier finds no Medium or High problem"
      # A Low finding is expected: the copy, shorter than a disc, has an
      # "unusual size".
      grep -A1 '^Severity:' "$work/check/verify.txt" | grep '^Summary:' | sed 's/^Summary: /      note: /'
    fi
  else
    fail "could not prepare the copy for dolphin-tool: $(cat "$work/check/copy.txt")"
  fi
}

if [ -n "$image" ]; then
  check_image "$image"
else
  cli="${TRELVIK_CLI:-$repo/build/native/trelvik-cli}"
  if [ ! -x "$cli" ]; then
    echo "FAIL: $cli is missing; build it first (scripts/build native)"
    exit 1
  fi
  # Git keeps no empty folders, so the checkout's samples/base has none; the
  # copy gets one so that the images always hold an empty folder.
  cp -a "$base" "$work/base"
  mkdir -p "$work/base/empty_folder"
  base="$work/base"
  expect_name="Trelvik Sample Disc"
  for variant in japan usa europe japan-full-size; do
    region="${variant%-full-size}"
    extra=()
    [ "$variant" != "$region" ] || extra=(--no-maximise)
    letter="$(case "$region" in japan) echo J ;; usa) echo E ;; *) echo U ;; esac)"
    expect_id="TRV${letter}01"
    image="$work/sample-$variant.gcm"
    echo "== trelvik-cli: samples -> $variant image"
    if "$cli" --game-id TRV --game-name "$expect_name" --maker-id 01 --region "$region" \
         --apploader "$apploader" --main-program "$main_program" --base-dir "$base" \
         --output "$image" --quiet "${extra[@]}"; then
      check_image "$image"
    else
      fail "trelvik-cli could not build the $variant image"
    fi
    # The same disc unpacked and rebuilt from its folder.
    if [ "$variant" = "$region" ]; then
      echo "== ombrel-cli unpack, trelvik-cli --root: $variant image rebuilt"
      rm -rf "$work/unpacked-disc"
      if "$ombrel" unpack "$image" "$work/unpacked-disc" >/dev/null &&
         "$cli" --root "$work/unpacked-disc" --output "$work/rebuilt.gcm" --quiet --no-maximise; then
        check_image "$work/rebuilt.gcm"
      else
        fail "the $variant image could not be unpacked and rebuilt"
      fi
      rm -f "$work/rebuilt.gcm"
    fi
    rm -f "$image"
  done

  # wit extract writes each Shift-JIS name byte of 0x80 or more as a Latin-1
  # character; trelvik-cli --root takes such a name for its entry, so an
  # unedited wit folder rebuilds to the image it came from.
  echo "== wit extract, trelvik-cli --root: Japanese names"
  japanese="$work/japanese"
  mkdir -p "$japanese/音楽" "$japanese/ｻｳﾝﾄﾞ"
  printf 'course\n' >"$japanese/テスト136.szs"
  head -c 5000 /dev/urandom >"$japanese/音楽/曲.adx"
  printf 'data\n' >"$japanese/ｻｳﾝﾄﾞ/データ.bin"
  printf 'text\n' >"$japanese/readme.txt"
  if "$cli" --game-id TRV --game-name "$expect_name" --maker-id 01 --region japan \
       --apploader "$apploader" --main-program "$main_program" --base-dir "$japanese" \
       --output "$work/japanese.gcm" --quiet --no-maximise &&
     wit extract --pmode none --quiet "$work/japanese.gcm" "$work/wit-extracted" >/dev/null 2>&1 &&
     "$cli" --root "$work/wit-extracted" --output "$work/japanese-rebuilt.gcm" --no-maximise \
       >/dev/null 2>"$work/japanese-rebuild.txt"; then
    if cmp -s "$work/japanese.gcm" "$work/japanese-rebuilt.gcm"; then
      pass "wit's extraction of a disc with Japanese names rebuilds to the same bytes"
    else
      fail "wit's extraction of a disc with Japanese names rebuilds to other bytes:"
      sed 's/^/      /' "$work/japanese-rebuild.txt"
    fi
  else
    fail "the disc with Japanese names could not be built, extracted by wit and rebuilt"
  fi
fi

if [ $failures -ne 0 ]; then
  echo "$failures peer check(s) failed"
  exit 1
fi
echo "all peer checks passed"

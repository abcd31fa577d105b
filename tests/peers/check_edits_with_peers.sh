#!/usr/bin/env bash
# Checks images edited in place by trelvik-cli edit with the outside tools:
# for each kind of edit (replace, add, remove, rename, header fields,
# --from-folder, and a replacement in a full-size image), made on the sample
# disc and made again by hand on a copy of its folder,
#
#   - ombrel-cli extract gives exactly the edited folder;
#   - check_image_with_peers.sh passes against the edited folder: wit lists
#     and extracts exactly its files, dolphin-tool verify finds no Medium or
#     High problem;
#   - every file the edit keeps keeps its offset (ombrel-cli ls -R before and
#     after).
#
# Usage: check_edits_with_peers.sh   (the tools are $TRELVIK_CLI and
# $OMBREL_CLI, by default build/native/trelvik-cli and build/native/ombrel-cli)
#
# Exit status: 0 when every check passes, or when a peer is not installed (a
# line starting "skipped:" says so); 1 when any check fails.
set -u

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
cli="${TRELVIK_CLI:-$repo/build/native/trelvik-cli}"
ombrel="${OMBREL_CLI:-$repo/build/native/ombrel-cli}"
peers="$here/check_image_with_peers.sh"

if ! command -v wit >/dev/null 2>&1; then
  echo "skipped: wit not installed"
  exit 0
fi
if ! command -v dolphin-tool >/dev/null 2>&1 && [ ! -x /usr/games/dolphin-tool ]; then
  echo "skipped: dolphin-tool not installed"
  exit 0
fi
for tool in "$cli" "$ombrel"; do
  if [ ! -x "$tool" ]; then
    echo "FAIL: $tool is missing; build it first (scripts/build native)"
    exit 1
  fi
done

failures=0
pass() { echo "ok:   $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

work="$(mktemp -d "${TMPDIR:-/tmp}/edit-peer-check.XXXXXX")"
trap 'rm -rf "$work"' EXIT

cp -a "$repo/samples/base" "$work/base"
head -c 1048576 /dev/urandom >"$work/one-mb.bin"
printf 'a new file\n' >"$work/small.txt"
mkdir -p "$work/folder/data/levels" "$work/folder/fresh"
head -c 7000 /dev/urandom >"$work/folder/data/levels/level1.txt"  # replaces
printf 'new\n' >"$work/folder/fresh/one.txt"                      # adds
printf 'top\n' >"$work/folder/top.txt"

build() {  # build IMAGE [trelvik-cli options]
  local image="$1"
  shift
  "$cli" --game-id TRV --game-name "Trelvik Sample Disc" --maker-id 01 --region usa \
    --apploader "$repo/samples/apploader.img" --main-program "$repo/samples/main.dol" \
    --base-dir "$work/base" --output "$image" --quiet "$@"
}

# Offsets of the files ombrel-cli lists: "path offset" lines.
offsets() { "$ombrel" ls -R "$1" | awk -F'\t' '$1 == "f" { print $4, $3 }' | LC_ALL=C sort; }

# edit NAME IMAGE-OPTIONS... -- EXPECTED-CHANGE (a shell command run in the
# expected folder) -- KEPT-FILTER (a grep -v pattern of the paths whose
# offsets may change) [--expect-id ID]
check_edit() {
  local name="$1" image="$work/$1.gcm" expected="$work/$1-expected"
  shift
  local edit_args=() change filter expect_id=()
  while [ "$1" != "--" ]; do edit_args+=("$1"); shift; done
  shift
  change="$1"
  filter="$2"
  shift 2
  [ $# -eq 0 ] || expect_id=(--expect-id "$2")

  echo "== edit: $name"
  rm -rf "$expected" "$work/extracted"
  cp -a "$work/base" "$expected"
  (cd "$expected" && eval "$change")
  offsets "$image" >"$work/before.txt"
  if ! "$cli" edit "$image" "${edit_args[@]}" >"$work/edit.txt" 2>&1; then
    fail "trelvik-cli edit ($name) failed:"
    sed 's/^/      /' "$work/edit.txt"
    return
  fi
  sed 's/^/      /' "$work/edit.txt"

  if "$ombrel" extract "$image" / "$work/extracted" >/dev/null 2>&1 &&
     diff -r "$expected" "$work/extracted" >"$work/diff.txt" 2>&1; then
    pass "ombrel-cli extract gives the edited folder ($name)"
  else
    fail "ombrel-cli extract differs from the edited folder ($name):"
    sed 's/^/      /' "$work/diff.txt"
  fi

  offsets "$image" >"$work/after.txt"
  if [ -z "$(join <(grep -v -E "$filter" "$work/before.txt") "$work/after.txt" | awk '$2 != $3')" ] &&
     [ "$(grep -v -E "$filter" "$work/before.txt" | wc -l)" -eq \
       "$(join <(grep -v -E "$filter" "$work/before.txt") "$work/after.txt" | wc -l)" ]; then
    pass "every kept file keeps its offset ($name)"
  else
    fail "kept files moved or went missing ($name)"
    diff "$work/before.txt" "$work/after.txt" | sed 's/^/      /'
  fi

  if "$peers" --base "$expected" "${expect_id[@]}" "$image" >"$work/peers.txt" 2>&1; then
    pass "wit and dolphin-tool agree ($name): $(grep -c '^ok:' "$work/peers.txt") checks"
  else
    fail "the peer check of the edited image ($name) failed:"
    grep -E '^(FAIL|      )' "$work/peers.txt" | head -40
  fi
}

build "$work/start.gcm" --no-maximise || { echo "FAIL: trelvik-cli could not build the sample image"; exit 1; }
for name in replace add remove rename header from-folder; do cp "$work/start.gcm" "$work/$name.gcm"; done

check_edit replace --replace /data/table_5000.bin "$work/one-mb.bin" -- \
  'cp "$work/one-mb.bin" data/table_5000.bin' '^/data/table_5000.bin '
check_edit add --add /new/deeper/file.bin "$work/one-mb.bin" --add /small.txt "$work/small.txt" -- \
  'mkdir -p new/deeper && cp "$work/one-mb.bin" new/deeper/file.bin && cp "$work/small.txt" small.txt' '^$'
check_edit remove --remove /data/levels --remove /odd_1001.bin -- \
  'rm -r data/levels odd_1001.bin' '^/data/levels/|^/odd_1001.bin '
check_edit rename --rename /ReadMe.TXT read_me.txt --rename /data/levels stages -- \
  'mv ReadMe.TXT read_me.txt && mv data/levels data/stages' '^/ReadMe.TXT |^/data/levels/'
check_edit header --game-id GZLE01 --game-name "Edited Disc" -- 'true' '^$' --expect-id GZLE01
check_edit from-folder --from-folder "$work/folder" -- \
  'cp -a "$work/folder/." .' '^/data/levels/level1.txt '

# A full-size image keeps its size.
build "$work/full-size.gcm" || fail "trelvik-cli could not build the full-size image"
check_edit full-size --replace /data/table_5000.bin "$work/one-mb.bin" -- \
  'cp "$work/one-mb.bin" data/table_5000.bin' '^/data/table_5000.bin '
if [ "$(stat -c %s "$work/full-size.gcm")" -eq 1459978240 ]; then
  pass "the full-size image keeps its 1,459,978,240 bytes"
else
  fail "the full-size image is $(stat -c %s "$work/full-size.gcm") bytes after the edit"
fi

if [ $failures -ne 0 ]; then
  echo "$failures edit peer check(s) failed"
  exit 1
fi
echo "all edit peer checks passed"

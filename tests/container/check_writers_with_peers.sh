#!/usr/bin/env bash
# Checks the container writers against the peers that read their formats: a
# small image that trelvik-cli builds, and the same image whose gaps hold
# the disc's filler, are written by ombrel-cli convert as RVZ (every method,
# two chunk sizes), WIA (every method), GCZ (two block sizes) and CISO (two
# block sizes), and trelvik-cli builds the first straight into an RVZ and a
# GCZ. Then:
#   - dolphin-tool convert of each RVZ, WIA and GCZ back to a plain image
#     gives the image's bytes, and dolphin-tool verify reports no Medium or
#     High problem;
#   - wit copy --raw (all of the disc, not only what its files use) of each
#     CISO gives the image's bytes, followed by the zeros wit pads a disc
#     with;
#   - ombrel-cli convert of every one gives the image's bytes;
#   - our RVZ (Zstandard level 5, 128 KiB chunks) is at most 1 % larger than
#     dolphin-tool's of the same image, with and without the filler.
#
# Exit status: 0 when every check passes, or when a peer is not installed (a
# line starting "skipped:" says so); 1 when any check fails.
set -u

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# shellcheck source=tests/container/peers_common.sh
source "$repo/tests/container/peers_common.sh"

fail() {
  echo "FAIL: $1"
  [ -z "${2:-}" ] || sed 's/^/      /' "$2" | head -20
  failures=$((failures + 1))
}

# same_bytes FILE PLAIN LABEL
same_bytes() {
  if cmp -s "$1" "$2"; then return 0; fi
  fail "$3: $(cmp "$1" "$2" 2>&1 | head -1)"
  return 1
}

# zeros_after FILE OFFSET: whether FILE holds only zeros from OFFSET on,
# reading only the parts of a sparse file that are not holes.
zeros_after() {
  python3 - "$1" "$2" <<'EOF'
import os, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
end = os.fstat(fd).st_size
at = int(sys.argv[2])
while at < end:
    try:
        at = os.lseek(fd, at, os.SEEK_DATA)
    except OSError:
        break  # only a hole is left
    stop = os.lseek(fd, at, os.SEEK_HOLE)
    while at < stop:
        piece = os.pread(fd, min(1 << 20, stop - at), at)
        if piece.count(0) != len(piece):
            sys.exit("not zero after byte %d" % at)
        at += len(piece)
EOF
}

# check OURS PLAIN LABEL: what the peers and ombrel-cli make of one file.
check() {
  local ours="$1" plain="$2" label="$3" notes=""
  checked=$((checked + 1))
  rm -f "$work/back.iso" "$work/ombrel.gcm"
  case "$ours" in
    *.ciso)
      if ! wit copy --quiet --overwrite --raw "$ours" "$work/back.iso" >"$work/peer.txt" 2>&1; then
        fail "$label: wit cannot read it" "$work/peer.txt"; return
      fi
      # wit pads the disc with zeros (holes) far past its end.
      if ! zeros_after "$work/back.iso" "$(stat -c %s "$plain")" >"$work/peer.txt" 2>&1; then
        fail "$label: wit's copy" "$work/peer.txt"; return
      fi
      truncate -s "$(stat -c %s "$plain")" "$work/back.iso"
      same_bytes "$work/back.iso" "$plain" "$label: wit's copy" || return
      notes="wit reads it back" ;;
    *)
      if ! "$dolphin_tool" convert -u "$work/user" -i "$ours" -o "$work/back.iso" -f iso >"$work/peer.txt" 2>&1; then
        fail "$label: dolphin-tool cannot convert it" "$work/peer.txt"; return
      fi
      same_bytes "$work/back.iso" "$plain" "$label: dolphin-tool's conversion" || return
      "$dolphin_tool" verify -u "$work/user" -i "$ours" >"$work/verify.txt" 2>&1
      if grep -qE '^Severity: (Medium|High)' "$work/verify.txt" || ! grep -q '^Problems Found' "$work/verify.txt"; then
        fail "$label: dolphin-tool verify" "$work/verify.txt"; return
      fi
      notes="dolphin-tool converts it back, verify: $(grep -c '^Severity: Low' "$work/verify.txt") low" ;;
  esac
  if ! "$ombrel" convert "$ours" "$work/ombrel.gcm" >"$work/ombrel.txt" 2>&1; then
    fail "$label: ombrel-cli convert" "$work/ombrel.txt"; return
  fi
  # A CISO's disc ends with its last stored block: the image and zeros.
  local expected="$plain"
  if [ "$(stat -c %s "$work/ombrel.gcm")" -gt "$(stat -c %s "$plain")" ]; then
    expected="$work/padded.gcm"
    cp "$plain" "$expected" && truncate -s "$(stat -c %s "$work/ombrel.gcm")" "$expected"
  fi
  same_bytes "$work/ombrel.gcm" "$expected" "$label: ombrel-cli convert" || return
  echo "ok:   $label ($(stat -c %s "$ours") bytes; $notes; ombrel-cli reads it back)"
}

# write KIND IMAGE OUT [CONVERT OPTION]...
write() {
  local kind="$1" in="$2" out="$3"
  shift 3
  if ! "$ombrel" convert --overwrite --format "$kind" "$@" "$in" "$out" >"$work/write.txt" 2>&1; then
    fail "ombrel-cli convert --format $kind $* $in $out" "$work/write.txt"
    return 1
  fi
}

image="$work/image.gcm"
sample_image "$image" "Writer check"
junk="$work/junk.gcm"
cp "$image" "$junk"
"$tool" junk "$junk" 4194304 >/dev/null || { echo "FAIL: container_tool junk"; exit 1; }

# The same image built straight into containers.
for out in built.rvz built.gcz; do
  if "$cli" --game-id CTN --game-name "Writer check" --maker-id 01 --region usa \
    --apploader "$repo/samples/apploader.img" --main-program "$repo/samples/main.dol" \
    --base-dir "$work/base" --output "$work/$out" --no-maximise --quiet >"$work/write.txt" 2>&1; then
    check "$work/$out" "$image" "image: trelvik-cli --output $out"
  else
    fail "trelvik-cli --output $out" "$work/write.txt"
  fi
done

for plain in "$image" "$junk"; do
  name="$(basename "$plain" .gcm)"
  for method in none zstd bzip2 lzma lzma2; do
    for block in 32768 131072; do
      write rvz "$plain" "$work/o.rvz" --compression "$method" --block-size "$block" &&
        check "$work/o.rvz" "$plain" "$name: rvz, $method, chunks of $block"
    done
  done
  for method in none purge bzip2 lzma lzma2; do
    write wia "$plain" "$work/o.wia" --compression "$method" && check "$work/o.wia" "$plain" "$name: wia, $method"
  done
  for block in 16384 32768; do
    write gcz "$plain" "$work/o.gcz" --block-size "$block" && check "$work/o.gcz" "$plain" "$name: gcz, blocks of $block"
  done
  for block in 32768 2097152; do
    write ciso "$plain" "$work/o.ciso" --block-size "$block" && check "$work/o.ciso" "$plain" "$name: ciso, blocks of $block"
  done

  # Size against dolphin-tool's RVZ with the same settings.
  checked=$((checked + 1))
  if write rvz "$plain" "$work/ours.rvz" &&
    "$dolphin_tool" convert -u "$work/user" -i "$plain" -o "$work/theirs.rvz" -f rvz -c zstd -l 5 -b 131072 \
      >"$work/peer.txt" 2>&1; then
    ours=$(stat -c %s "$work/ours.rvz")
    theirs=$(stat -c %s "$work/theirs.rvz")
    if [ $((ours * 100)) -le $((theirs * 101)) ]; then
      echo "ok:   $name: our RVZ is $ours bytes, dolphin-tool's $theirs (plain image $(stat -c %s "$plain"))"
    else
      fail "$name: our RVZ is $ours bytes, more than 1 % above dolphin-tool's $theirs"
    fi
  else
    fail "$name: RVZ for the size check" "$work/peer.txt"
  fi
done

if [ $failures -ne 0 ]; then
  echo "$failures of $checked writer checks failed"
  exit 1
fi
echo "all $checked writer checks passed"

#!/usr/bin/env bash
# Checks the container layer against the real writers: a small image that
# trelvik-cli builds is converted by Dolphin's dolphin-tool (RVZ, WIA and GCZ,
# every compression method and a few chunk sizes) and by Wiimms ISO Tools
# (CISO, WDF versions 1 and 2, GCZ, WIA with every method), and the layer
# must read back exactly the image's bytes from each (container_tool
# compare), and ombrel-cli must give for each what it gives for the plain
# image: ls -R, extract /, info (but for the image's name), sys (all four
# areas), banner, hash and convert (for a CISO, whose disc ends with its last
# block, the plain image followed by zeros up to there). Then an image whose
# gaps hold the disc's filler, written with our generator, goes through
# dolphin-tool's RVZ encoder, which stores filler it
# recognises as seeds: the RVZ must come out far smaller than the filler, and
# read back exactly.
#
# Exit status: 0 when every check passes, or when a peer is not installed (a
# line starting "skipped:" says so); 1 when any check fails.
set -u

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# shellcheck source=tests/container/peers_common.sh
source "$repo/tests/container/peers_common.sh"

# What ombrel-cli gives for IMAGE, in folder OUT: each command's output.
ombrel_results() {
  local image="$1" out="$2" area
  mkdir -p "$out"
  "$ombrel" ls -R "$image" >"$out/ls.txt" 2>&1
  "$ombrel" info "$image" 2>&1 | grep -v '^Image:' >"$out/info.txt"
  "$ombrel" hash "$image" 2>&1 | grep -v '^Image:' >"$out/hash.txt"
  "$ombrel" extract "$image" / "$out/files" >"$out/extract.txt" 2>&1
  for area in boot fst apploader dol; do "$ombrel" sys "$image" "$area" "$out/sys" >>"$out/sys.txt" 2>&1; done
  "$ombrel" banner "$image" "$out/banner.png" >"$out/banner.txt" 2>&1
  "$ombrel" convert "$image" "$out/plain.gcm" >/dev/null 2>&1
  echo "convert: exit $?" >"$out/convert.txt"
}

# compare CONTAINER PLAIN LABEL
compare() {
  checked=$((checked + 1))
  if ! "$tool" compare "$1" "$2" >"$work/compare.txt" 2>&1; then
    echo "FAIL: $3"
    sed 's/^/      /' "$work/compare.txt"
    failures=$((failures + 1))
    return
  fi
  # CISO records no disc size: its disc ends with its last block, so it reads
  # as the plain image followed by zeros, and is compared with that.
  local plain="$2" disc_size
  disc_size=$(sed -n 's/.*disc of \([0-9]*\) bytes.*/\1/p' "$work/compare.txt")
  if [ -n "$disc_size" ] && [ "$disc_size" -gt "$(stat -c %s "$2")" ]; then
    plain="$2.$disc_size"
    [ -f "$plain" ] || { cp "$2" "$plain" && truncate -s "$disc_size" "$plain"; }
  fi
  [ -d "$plain.results" ] || ombrel_results "$plain" "$plain.results"
  rm -rf "$work/results"
  ombrel_results "$1" "$work/results"
  if diff -r "$plain.results" "$work/results" >"$work/results.diff" 2>&1; then
    echo "ok:   $3 ($(cat "$work/compare.txt"); ombrel-cli's ls -R, extract, info, sys, banner, hash, convert as for the plain image)"
  else
    echo "FAIL: $3: ombrel-cli's results differ from the plain image's:"
    sed 's/^/      /' "$work/results.diff" | head -20
    failures=$((failures + 1))
  fi
}

image="$work/image.gcm"
sample_image "$image" "Container check"
# wit's WIA writer takes only images of whole 32 KiB sectors.
padded="$work/padded.gcm"
cp "$image" "$padded"
size=$(stat -c %s "$image")
truncate -s $(((size + 32767) / 32768 * 32768)) "$padded"

# --- dolphin-tool: RVZ, WIA, GCZ -------------------------------------------------
convert() {
  "$dolphin_tool" convert -u "$work/dolphin-user" -i "$1" -o "$2" "${@:3}" >"$work/convert.txt" 2>&1
}
for format in rvz wia; do
  if [ "$format" = rvz ]; then blocks="32768 131072 2097152"; else blocks="2097152"; fi
  for method in none zstd bzip lzma lzma2; do
    for block in $blocks; do
      out="$work/d-$method-$block.$format"
      if convert "$image" "$out" -f "$format" -c "$method" -l 5 -b "$block"; then
        compare "$out" "$image" "dolphin-tool $format, $method, chunks of $block"
      else
        echo "note: dolphin-tool does not write $format with $method in chunks of $block"
      fi
      rm -f "$out"
    done
  done
done
for block in 16384 131072; do
  out="$work/d-$block.gcz"
  if convert "$image" "$out" -f gcz -b "$block"; then
    compare "$out" "$image" "dolphin-tool gcz, blocks of $block"
  else
    echo "FAIL: dolphin-tool gcz, blocks of $block:"; sed 's/^/      /' "$work/convert.txt"
    failures=$((failures + 1))
  fi
done

# --- wit: CISO, WDF, GCZ, WIA ------------------------------------------------------
witcopy() {
  local label="$1" out="$2"; shift 2
  if wit copy --quiet --overwrite "$@" "$padded" "$out" >"$work/wit.txt" 2>&1; then
    compare "$out" "$padded" "wit $label"
  else
    echo "FAIL: wit $label:"; sed 's/^/      /' "$work/wit.txt"
    failures=$((failures + 1))
  fi
  rm -f "$out"
}
witcopy "ciso, wit's own block size" "$work/w.ciso" --ciso
witcopy "ciso, blocks of 32 KiB" "$work/w32.ciso" --ciso --chunk-size =32K
witcopy "wdf version 1" "$work/w1.wdf" --wdf1
witcopy "wdf version 2" "$work/w2.wdf" --wdf2
witcopy gcz "$work/w.gcz" --gcz
# wit's default WIA chunk (40 MiB) is beyond the layer's 32 MiB limit, which
# the engine suite checks.
for method in none purge bzip2 lzma lzma2; do
  witcopy "wia, $method" "$work/w-$method.wia" --wia="$method" --chunk-size 2m
done

# --- the filler, through dolphin-tool's RVZ encoder -----------------------------------
junk="$work/junk.gcm"
cp "$image" "$junk"
filled="$("$tool" junk "$junk" 4194304)" || { echo "FAIL: container_tool junk"; exit 1; }
if convert "$junk" "$work/junk.rvz" -f rvz -c zstd -l 5 -b 131072; then
  stored=$(stat -c %s "$work/junk.rvz")
  if [ "$stored" -lt $((size + filled / 8)) ]; then
    echo "ok:   dolphin-tool stored $filled bytes of filler as seeds (RVZ of $stored bytes)"
  else
    echo "FAIL: dolphin-tool did not take the filler for the disc's own: RVZ of $stored bytes"
    failures=$((failures + 1))
  fi
  compare "$work/junk.rvz" "$junk" "dolphin-tool rvz with filler runs"
else
  echo "FAIL: dolphin-tool rvz of the filler image:"; sed 's/^/      /' "$work/convert.txt"
  failures=$((failures + 1))
fi

if [ $failures -ne 0 ]; then
  echo "$failures of $checked container checks failed"
  exit 1
fi
echo "all $checked container checks passed"

#!/usr/bin/env bash
# ombrel-cli built for Windows, run under wine on the sample image: its banner
# (drawn with SetPixel into a memory device context and read back) must be the
# same PNG as the native tool's canvas, its extraction (Win32 paths and
# CreateDirectoryA) must give the sample tree byte for byte, and its hash
# (BCrypt) the native tool's sums.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
native="$root/build/native"
exe="$root/build/win64/ombrel-cli.exe"
for f in "$native/trelvik-cli" "$native/ombrel-cli" "$exe"; do
  if [ ! -x "$f" ]; then
    echo "ombrel_cli_windows: $f is missing; run scripts/build native win64 first" >&2
    exit 1
  fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$root/samples/base" "$work/base"
mkdir -p "$work/base/empty_folder"
"$native/trelvik-cli" --game-id GTR --game-name "Trelvik Sample" --maker-id 01 --region usa \
  --apploader "$root/samples/apploader.img" --main-program "$root/samples/main.dol" \
  --base-dir "$work/base" --output "$work/sample.gcm" --no-maximise --quiet

winpath() { echo "Z:${1//\//\\}"; }

"$native/ombrel-cli" banner "$work/sample.gcm" "$work/native.png"
"$root/scripts/wine-run" "$exe" banner "$(winpath "$work/sample.gcm")" "$(winpath "$work/windows.png")"
cmp "$work/native.png" "$work/windows.png"
echo "banner: the Windows PNG equals the native one"

"$root/scripts/wine-run" "$exe" extract "$(winpath "$work/sample.gcm")" / "$(winpath "$work/out")"
diff -r "$work/base" "$work/out"
echo "extract: the Windows extraction equals the sample tree"

# The sums through BCrypt, the lines after "Image:" as the native tool's.
"$native/ombrel-cli" hash "$work/sample.gcm" | tail -n +2 >"$work/native-hash.txt"
"$root/scripts/wine-run" "$exe" hash "$(winpath "$work/sample.gcm")" | tr -d '\r' | tail -n +2 >"$work/windows-hash.txt"
grep -q '^SHA-1: ' "$work/native-hash.txt"
diff "$work/native-hash.txt" "$work/windows-hash.txt"
echo "hash: the Windows sums equal the native ones"

#!/usr/bin/env bash
# Works Trelvik.exe through its windows with the UI driver, a Windows program
# of its own (tests/ui/trelvik_driver.cpp), under wine on a private X display:
# every page, message, chooser and the write progress dialog, a build compared
# byte for byte with trelvik-cli.exe's, headers taken from a short file and
# from the disc in an RVZ container, a game ID cut inside a double-byte
# character, and the cancelled maximised write.
# Screenshots of the pages and dialogs land in build/screenshots/trelvik-*.png.
#
# Skips (exit 0) when the 64-bit Windows build tree does not exist; otherwise
# any mismatch fails. TRELVIK_UI_BUILD names another x86_64 build tree.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tests/ui/ui_common.sh"
ui_begin trelvik "${TRELVIK_UI_BUILD:-$root/build/win64}" TRELVIK_UI_DISPLAY "$@"

trelvik="$win64/Trelvik.exe"
cli="$win64/trelvik-cli.exe"
driver="$win64/tests/ui/trelvik_ui_driver.exe"
# Registered by the driver, for its run only, as the program that opens .gcm
# files, so the progress dialog's Open button has something to start.
recorder="$win64/tests/ui/open_recorder.exe"
ui_build Trelvik trelvik-cli trelvik_ui_driver open_recorder -- "$trelvik" "$cli" "$driver" "$recorder"
ui_scratch

# --- inputs -------------------------------------------------------------------
samples="$root/samples"
cp "$samples/apploader.img" "$samples/main.dol" "$work/"
# The sample tree, which has names longer than 12 bytes, plus a long Japanese one.
cp -r "$samples/base" "$work/base_long"
printf 'long Japanese name\n' >"$work/base_long/長いファイルの名前.txt"
# Names of 12 bytes or fewer only: exactly 12, double-byte, a 12-byte folder.
mkdir -p "$work/base_short/folder_12chr/inner"
printf 'twelve\n' >"$work/base_short/abcdefgh.ijk"
printf 'short\n' >"$work/base_short/データ.bin"
head -c 5000 "$samples/base/data/table_5000.bin" >"$work/base_short/folder_12chr/table.bin"
head -c 4097 "$samples/base/odd_size_4097.bin" >"$work/base_short/folder_12chr/inner/odd.bin"
: >"$work/base_short/empty"
# Files that hold no bytes: a zero-length file and an empty folder.
mkdir -p "$work/base_zero/nothing"
: >"$work/base_zero/zero.dat"
# A long write: the short tree and a 256 MB file (sparse here, so quick to make).
cp -r "$work/base_short" "$work/base_big"
truncate -s 256M "$work/base_big/big.bin"
# A header to import, 52 bytes: game code, maker code, and a game name the
# file's end cuts short (the missing bytes count as zero).
{
  printf 'GSHP8P'
  head -c 26 /dev/zero
  printf 'SHORT HEADER NAME...'
} >"$work/short_header.bin"

# A small GameCube disc in an RVZ container, made by dolphin-tool: the header
# is the disc's (game code, maker, magic word, name), never the container's
# own first bytes. The same file cut short is a damaged container.
{
  printf 'GRVJ8P'
  head -c 22 /dev/zero
  printf '\xc2\x33\x9f\x3d'
  printf 'HEADER FROM RVZ'
  head -c $((0x10000 - 0x20 - 15)) /dev/zero
  head -c 100000 /dev/zero | tr '\0' '\252'
} >"$work/rvz_disc.gcm"
dolphin_tool="$(command -v dolphin-tool || echo /usr/games/dolphin-tool)"
"$dolphin_tool" convert -u "$work/dolphin-user" -i "$work/rvz_disc.gcm" -o "$work/header.rvz" \
  -f rvz -c zstd -l 5 -b 131072 >/dev/null
head -c 200 "$work/header.rvz" >"$work/damaged.rvz"

# --- run ------------------------------------------------------------------------------
ui_start_screenshots
ui_run_driver "$driver" \
  --trelvik "$(winpath "$trelvik")" --cli "$(winpath "$cli")" --open-recorder "$(winpath "$recorder")" \
  --work "$(winpath "$work")" --exchange "$(winpath "$exchange")" "$@"

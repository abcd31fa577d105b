#!/usr/bin/env bash
# Works Ombrel.exe through its windows with the UI driver, a Windows program of
# its own (tests/ui/ombrel_driver.cpp), under wine on a private X display: the
# tree, list and status bar, navigation, open failures and dropped files,
# every extraction command through the real folder browser (copies compared
# with the source trees), the pop-up's target, the keys, the properties
# dialog of both banner kinds with the banner picture read back from the
# screen, help and about, the copy dialog watched while it copies three files
# of 256 MiB, and every command of the edit menu on a copy of an image. The
# images are built here with trelvik-cli.exe from trees holding nested,
# Japanese and empty folders, one banner of each kind and none, and large
# files (about 0.8 GB of disk for the image and as much for its copies,
# removed at the end); drive Y: of the prefix is pointed at a scratch folder
# for an extraction into a drive root.
# Screenshots land in build/screenshots/ombrel-*.png.
#
# Skips (exit 0) when the 64-bit Windows build tree does not exist; otherwise
# any mismatch fails. OMBREL_UI_BUILD names another x86_64 build tree;
# arguments are passed to the driver
# (--only browse|open-failure|properties|extract|copying|keys|hostile-name|containers|edit).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$root/tests/ui/ui_common.sh"
ui_begin ombrel "${OMBREL_UI_BUILD:-$root/build/win64}" OMBREL_UI_DISPLAY "$@"

ombrel="$win64/Ombrel.exe"
driver="$win64/tests/ui/ombrel_ui_driver.exe"
ui_build Ombrel ombrel_ui_driver trelvik-cli -- "$ombrel" "$driver" "$win64/trelvik-cli.exe"
ui_scratch

# --- source trees -------------------------------------------------------------
samples="$root/samples"
cp "$samples/apploader.img" "$samples/main.dol" "$work/"

# Nested and Japanese folders. データ holds 2 files and 1 folder; 表 and ソ
# end in the byte 0x5C in code page 932; 空 is empty.
n="$work/base_nested"
mkdir -p "$n/データ/深い" "$n/alpha/beta/gamma" "$n/空"
printf 'はじめに: a short text file\n' >"$n/はじめに.txt"
head -c 5000 "$samples/base/data/table_5000.bin" >"$n/データ/表.bin"
printf 'notes\n' >"$n/データ/notes.txt"
head -c 4097 "$samples/base/odd_size_4097.bin" >"$n/データ/深い/ソフト.dat"
head -c 2048 "$samples/base/block_4096.bin" >"$n/alpha/one.bin"
printf 'beta\n' >"$n/alpha/beta/b.txt"
printf 'leaf\n' >"$n/alpha/beta/gamma/leaf.txt"
: >"$n/zero.dat"

# A single-record banner ("BNR1", 6,496 bytes) with Shift-JIS texts and a
# picture in both pixel formats: a red-to-blue gradient (5 bits a channel),
# a band of 4-bit colours and a white frame.
python3 - "$n/opening.bnr" <<'EOF'
import struct, sys
W, H = 96, 32
def rgb555(r, g, b): return 0x8000 | (r << 10) | (g << 5) | b
def argb3444(a, r, g, b): return (a << 12) | (r << 8) | (g << 4) | b
pixels = [[0] * W for _ in range(H)]
for y in range(H):
    for x in range(W):
        v = rgb555(31 * x // 95, 8 + y // 2, 31 - 31 * x // 95)
        if 12 <= y < 20:
            v = argb3444(5, (x // 6) % 16, 15 - (x // 6) % 16, (y * 3) % 16)
        if x in (0, 1, 94, 95) or y in (0, 1, 30, 31):
            v = rgb555(31, 31, 31)
        pixels[y][x] = v
picture = bytearray()
for ty in range(H // 4):
    for tx in range(W // 4):
        for py in range(4):
            for px in range(4):
                picture += struct.pack(">H", pixels[ty * 4 + py][tx * 4 + px])
texts = ["入れ子テスト", "テスト開発", "入れ子テスト ディスク 日本語版", "株式会社 テスト開発ソフト",
         "表示テスト用のバナーです。ソフトの説明は一行だけ。"]
record = bytearray()
for text, width in zip(texts, (32, 32, 64, 64, 128)):
    raw = text.encode("cp932")
    assert len(raw) <= width
    record += raw + bytes(width - len(raw))
data = b"BNR1" + bytes(0x1C) + bytes(picture) + bytes(record)
assert len(data) == 6496
open(sys.argv[1], "wb").write(data)
EOF

# The sample tree, whose banner has six languages.
cp -r "$samples/base" "$work/base_sample"
mkdir -p "$work/base_sample/empty_folder"

# No banner.
mkdir -p "$work/base_flat/sub"
printf 'a\n' >"$work/base_flat/a.txt"
head -c 3000 "$samples/base/data/table_5000.bin" >"$work/base_flat/b.bin"
printf 'c\n' >"$work/base_flat/sub/c.txt"

# A banner and files, no folders.
mkdir -p "$work/base_euro"
cp "$n/opening.bnr" "$work/base_euro/"
printf 'one\n' >"$work/base_euro/one.txt"
printf 'two\n' >"$work/base_euro/two.txt"

# A few large files, so a copy lasts long enough to be watched while it runs.
# Sparse here; marked at both ends so a copy that loses or shifts data shows.
mkdir -p "$work/base_large"
printf 'A small file before the large ones.\n' >"$work/base_large/a-readme.txt"
for i in 1 2 3; do
  f="$work/base_large/large-$i.bin"
  truncate -s 256M "$f"
  printf 'start of large file %d' "$i" | dd of="$f" conv=notrunc status=none
  printf 'end of large file %d' "$i" | dd of="$f" bs=1 seek=$((256 * 1024 * 1024 - 19)) conv=notrunc status=none
done

# A root file whose name will be made "..\escape.txt" in the image, listed
# after fine.txt.
mkdir -p "$work/base_hostile"
printf 'must not escape\n' >"$work/base_hostile/zz_escape.txt"
printf 'fine\n' >"$work/base_hostile/fine.txt"

# Not an image.
printf 'This is a text file, not a disc image.\n' >"$work/broken.gcm"

# --- images -------------------------------------------------------------------
# Built by the Windows trelvik-cli, which takes the file names in code page 932
# as a Japanese Windows gives them.
cli="$win64/trelvik-cli.exe"
make_image() {  # ID NAME MAKER REGION TREE OUTPUT
  "$root/scripts/wine-run" "$cli" --game-id "$1" --game-name "$2" --maker-id "$3" --region "$4" \
    --apploader "$(winpath "$work/apploader.img")" --main-program "$(winpath "$work/main.dol")" \
    --base-dir "$(winpath "$work/$5")" --output "$(winpath "$work/$6")" --no-maximise --quiet
}
make_image NST "入れ子テスト ディスク" 01 japan base_nested "入れ子.gcm"
make_image SMP "Trelvik Sample Disc" 08 usa base_sample sample.gcm
make_image FLT "Flat" 01 europe base_flat flat.gcm
make_image EUR "Euro Files Only" ZZ europe base_euro euro.gcm
make_image LRG "Large Files" 01 usa base_large large.gcm
make_image HST "Hostile" 01 usa base_hostile hostile.gcm
# The nested image in every container other tools write.
dolphin_tool="$(command -v dolphin-tool || echo /usr/games/dolphin-tool)"
dolphin_convert() {  # FORMAT OPTIONS...
  "$dolphin_tool" convert -u "$work/dolphin-user" -i "$work/入れ子.gcm" -o "$work/入れ子.$1" -f "$@" >/dev/null
}
dolphin_convert rvz -c zstd -l 5 -b 131072
dolphin_convert wia -c lzma -l 5 -b 2097152
dolphin_convert gcz -b 32768
cp "$work/入れ子.gcm" "$work/padded.gcm"
truncate -s $((($(stat -c %s "$work/padded.gcm") + 32767) / 32768 * 32768)) "$work/padded.gcm"
wit copy --quiet --overwrite --ciso "$work/padded.gcm" "$work/入れ子.ciso"
wit copy --quiet --overwrite --wdf "$work/padded.gcm" "$work/入れ子.wdf"
rm -f "$work/padded.gcm"
# Copies of the flat image for the edit menu: one edited, one read-only, and
# the host files it adds and replaces with.
cp "$work/flat.gcm" "$work/edit.gcm"
cp "$work/flat.gcm" "$work/readonly.gcm"
chmod 0444 "$work/readonly.gcm"
printf 'added file\n\n' >"$work/add_me.txt"
printf 'two\n' >"$work/add_two.txt"
printf 'three\n' >"$work/add_three.txt"
head -c $((24 * 1024 * 1024)) /dev/urandom >"$work/replacement.bin"
python3 - "$work/hostile.gcm" <<'EOF'
import sys
data = open(sys.argv[1], "rb").read()
assert data.count(b"zz_escape.txt\0") == 1
open(sys.argv[1], "wb").write(data.replace(b"zz_escape.txt\0", b"..\\escape.txt\0"))
EOF

# --- a scratch drive ------------------------------------------------------------
# Drive Y: of the test prefix is made a folder of this run, so an extraction
# can be aimed at a drive root. A Y: left by a run that was killed is taken
# over; one that is not ours is left alone.
prefix="${WINE_RUN_PREFIX:-$root/build/wineprefix}"
drive_args=()
if [ -d "$prefix/dosdevices" ]; then
  link="$prefix/dosdevices/y:"
  if [ ! -e "$link" ] && [ ! -L "$link" ] || [[ "$(readlink "$link" 2>/dev/null)" == /var/tmp/ombrel-ui.* || "$(readlink "$link" 2>/dev/null)" == /tmp/ombrel-ui.* ]]; then
    mkdir -p "$work/drive"
    ln -sfn "$work/drive" "$link"
    ui_remove_on_exit+=("$link")
    drive_args=(--drive Y:)
  fi
fi

# --- run --------------------------------------------------------------------------
# The screenshots leave PPM copies, from which the driver reads pixels.
ui_start_screenshots ppm
ui_run_driver "$driver" \
  --ombrel "$(winpath "$ombrel")" --work "$(winpath "$work")" --exchange "$(winpath "$exchange")" \
  "${drive_args[@]}" "$@"

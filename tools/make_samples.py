#!/usr/bin/env python3
"""Writes the bundled sample content: a base directory for test images, its
banner, an apploader stand-in and a small main program.

Every byte is computed here, so a run reproduces the committed files exactly:

    python3 tools/make_samples.py            # rewrite samples/
    python3 tools/make_samples.py --check    # fail if samples/ differs

The banner picture is also written as a PNG preview (decoded the way the
reader decodes it, scaled up four times) so a person can look at it.
"""

import argparse
import math
import os
import shutil
import struct
import sys
import tempfile

from art_formats import write_png

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# ---------------------------------------------------------------------------
# Banner: 96 x 32 picture in 4 x 4 tiles, then six 320-byte text records
# ---------------------------------------------------------------------------

BANNER_WIDTH = 96
BANNER_HEIGHT = 32
BANNER_PICTURE_OFFSET = 0x20
BANNER_TEXT_OFFSET = 0x1820
BANNER_RECORD_SIZE = 0x140
BANNER_SIX_LANGUAGE_SIZE = 0x1FA0
# Field widths of one text record, in record order.
BANNER_FIELDS = (
    ("short_name", 32),
    ("short_maker", 32),
    ("long_name", 64),
    ("long_maker", 64),
    ("description", 128),
)


def rgb555(r5, g5, b5):
    """An opaque pixel: bit 15 set, 5 bits per channel."""
    return 0x8000 | (r5 << 10) | (g5 << 5) | b5


def argb3444(a3, r4, g4, b4):
    """A pixel with bit 15 clear: 3 alpha bits, 4 bits per channel."""
    return (a3 << 12) | (r4 << 8) | (g4 << 4) | b4


def decode_pixel(v):
    """The screen colour of one stored pixel, as the reader paints it."""
    if v & 0x8000:
        channels = ((v >> 10) & 31, (v >> 5) & 31, v & 31)
        return tuple((c << 3) | (c >> 2) for c in channels)
    channels = ((v >> 8) & 15, (v >> 4) & 15, v & 15)
    return tuple(c * 15 for c in channels)


# Title letters, 5 wide and 7 high ('#' is ink).
BIG_FONT = {
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "V": ["#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
    "I": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
}

# Subtitle letters, 3 wide and 5 high.
SMALL_FONT = {
    "S": ["###", "#..", "###", "..#", "###"],
    "A": [".#.", "#.#", "###", "#.#", "#.#"],
    "M": ["#.#", "###", "###", "#.#", "#.#"],
    "P": ["##.", "#.#", "##.", "#..", "#.."],
    "L": ["#..", "#..", "#..", "#..", "###"],
    "E": ["###", "#..", "##.", "#..", "###"],
    "D": ["##.", "#.#", "#.#", "#.#", "##."],
    "I": ["###", ".#.", ".#.", ".#.", "###"],
    "C": [".##", "#..", "#..", "#..", ".##"],
    " ": ["...", "...", "...", "...", "..."],
}


class Canvas:
    """A 96 x 32 grid of stored 16-bit pixel values in row-major order."""

    def __init__(self):
        self.pixels = [[0] * BANNER_WIDTH for _ in range(BANNER_HEIGHT)]

    def put(self, x, y, v):
        if 0 <= x < BANNER_WIDTH and 0 <= y < BANNER_HEIGHT:
            self.pixels[y][x] = v

    def text(self, font, s, x, y, scale_x, scale_y, v, advance):
        for ch in s:
            for row, bits in enumerate(font[ch]):
                for col, bit in enumerate(bits):
                    if bit == "#":
                        for dy in range(scale_y):
                            for dx in range(scale_x):
                                self.put(x + col * scale_x + dx, y + row * scale_y + dy, v)
            x += advance


def draw_banner_picture():
    """Evening sky, a sun emblem, hills, and the title with a subtitle.

    Sky, hills and title use the opaque format; the sun, its ring, the
    subtitle and the title's shadow use the format with bit 15 clear, so both
    pixel formats appear in the picture.
    """
    c = Canvas()

    # Sky: deep blue at the top to warm orange at the horizon (row 23).
    for y in range(BANNER_HEIGHT):
        t = min(y, 23) / 23.0
        r5 = round(2 + t * 27)
        g5 = round(3 + t * 13)
        b5 = round(14 - t * 8)
        for x in range(BANNER_WIDTH):
            c.put(x, y, rgb555(r5, g5, b5))

    # A few stars in the upper sky, at fixed places.
    for x, y in ((34, 1), (47, 2), (61, 1), (75, 3), (88, 1), (93, 5), (3, 2), (25, 4)):
        c.put(x, y, rgb555(31, 31, 28))

    # Sun emblem: a ring and a disc, centred over the left hill.
    cx, cy = 13.5, 14.5
    for y in range(BANNER_HEIGHT):
        for x in range(30):
            d2 = (x - cx) ** 2 + (y - cy) ** 2
            if d2 <= 7.6 ** 2:
                # Lighter towards the upper left, like a lit sphere.
                light = ((x - cx + 3) ** 2 + (y - cy + 3) ** 2) ** 0.5
                g4 = 14 if light < 4 else (12 if light < 7 else 10)
                c.put(x, y, argb3444(7, 15, g4, 2 if light >= 4 else 9))
            elif d2 <= 9.6 ** 2:
                c.put(x, y, argb3444(5, 13, 5, 1))

    # Hills: two rolling bands of green, darker further away.
    for x in range(BANNER_WIDTH):
        far = 22 + round(2.0 * (1 + math.sin(x / 9.0)))
        near = 26 + round(1.5 * (1 + math.sin(x / 6.0 + 2.0)))
        for y in range(far, BANNER_HEIGHT):
            c.put(x, y, rgb555(4, 14, 6))
        for y in range(near, BANNER_HEIGHT):
            # Darker grass stripes every third column.
            c.put(x, y, rgb555(6, 22, 5) if x % 3 else rgb555(5, 19, 4))

    # Title: the 5 x 7 letters stretched to 14 rows, drawn twice one column
    # apart for bold strokes, over a shadow one pixel down and to the right.
    title = "TRELVIK"
    advance = 9
    x0 = 30
    white = rgb555(31, 31, 31)
    shadow = argb3444(7, 2, 1, 4)
    for dx in (1, 2):
        c.text(BIG_FONT, title, x0 + dx, 3, 1, 2, shadow, advance)
    for dx in (0, 1):
        c.text(BIG_FONT, title, x0 + dx, 2, 1, 2, white, advance)
    # Pale gold on the upper rows, as if lit from above.
    for y in range(2, 6):
        for x in range(x0, x0 + advance * len(title)):
            if c.pixels[y][x] == white:
                c.put(x, y, rgb555(31, 30, 20))

    # Subtitle under the title, with a dark shadow.
    c.text(SMALL_FONT, "SAMPLE DISC", 42, 18, 1, 1, argb3444(3, 5, 2, 3), 4)
    c.text(SMALL_FONT, "SAMPLE DISC", 41, 17, 1, 1, argb3444(3, 15, 15, 14), 4)

    return c.pixels


def pixels_to_tiles(pixels):
    """Stores a row-major picture tile by tile: tiles left to right then top
    to bottom, the 16 pixels of a tile left to right then top to bottom."""
    out = bytearray()
    for ty in range(BANNER_HEIGHT // 4):
        for tx in range(BANNER_WIDTH // 4):
            for py in range(4):
                for px in range(4):
                    out += struct.pack(">H", pixels[ty * 4 + py][tx * 4 + px])
    return bytes(out)


def tiles_to_rgb(picture):
    """Decodes a stored picture into rows of (r, g, b), walking it in the
    reader's drawing order."""
    rows = [[(0, 0, 0)] * BANNER_WIDTH for _ in range(BANNER_HEIGHT)]
    for i in range(BANNER_WIDTH * BANNER_HEIGHT):
        t = i // 16
        x = (t % 24) * 4 + i % 4
        y = (t // 24) * 4 + (i // 4) % 4
        (v,) = struct.unpack_from(">H", picture, i * 2)
        rows[y][x] = decode_pixel(v)
    return rows


# Texts per language: English, German, French, Spanish, Italian, Dutch. The
# Italian short name fills its 32-byte field exactly, with no NUL behind it.
BANNER_TEXTS = [
    ("Trelvik Sample", "Trelvik Team", "Trelvik Sample Disc", "The Trelvik Team",
     "A small sample disc built from the bundled base directory. Nothing to play."),
    ("Trelvik-Beispiel", "Trelvik-Team", "Trelvik Beispieldisc für Tests", "Das Trelvik-Team",
     "Eine kleine Beispieldisc aus dem mitgelieferten Grundverzeichnis. Größe: winzig."),
    ("Exemple Trelvik", "Équipe Trelvik", "Disque d'exemple Trelvik", "L'équipe Trelvik",
     "Un petit disque d'exemple créé à partir du répertoire de base fourni. Très léger."),
    ("Ejemplo Trelvik", "Equipo Trelvik", "Disco de ejemplo de Trelvik", "El equipo Trelvik",
     "Un pequeño disco de ejemplo creado a partir del directorio base incluido. ¡Señor!"),
    ("Esempio Trelvik - disco di prova", "Squadra Trelvik", "Disco di esempio di Trelvik",
     "La squadra Trelvik",
     "Un piccolo disco di esempio creato dalla cartella di base fornita. Può servire ai test."),
    ("Trelvik-voorbeeld", "Trelvik-team", "Trelvik voorbeeldschijf", "Het Trelvik-team",
     "Een kleine voorbeeldschijf, gemaakt van de meegeleverde basismap. Ideaal voor tests."),
]


def banner_text_record(texts):
    record = bytearray()
    for (field, width), text in zip(BANNER_FIELDS, texts):
        raw = text.encode("cp1252")
        if len(raw) > width:
            raise ValueError("banner %s %r is %d bytes, over %d" % (field, text, len(raw), width))
        record += raw + bytes(width - len(raw))
    assert len(record) == BANNER_RECORD_SIZE
    return bytes(record)


def make_banner():
    pixels = draw_banner_picture()
    data = bytearray(b"BNR2" + bytes(BANNER_PICTURE_OFFSET - 4))
    data += pixels_to_tiles(pixels)
    assert len(data) == BANNER_TEXT_OFFSET
    for texts in BANNER_TEXTS:
        data += banner_text_record(texts)
    assert len(data) == BANNER_SIX_LANGUAGE_SIZE
    # The Italian short name is meant to fill its field to the last byte.
    assert len(BANNER_TEXTS[4][0].encode("cp1252")) == 32
    return bytes(data)


# ---------------------------------------------------------------------------
# Apploader stand-in and main program
# ---------------------------------------------------------------------------

PPC_BLR = 0x4E800020
PPC_NOP = 0x60000000
PPC_BRANCH_TO_SELF = 0x48000000

APPLOADER_DATE = b"2026/12/08"
APPLOADER_ENTRY = 0x81200000
APPLOADER_CODE_SIZE = 0x200


def make_apploader():
    """A 32-byte apploader header (date, entry point, code size, trailer size,
    4 zero bytes) and code that returns at once from every entry."""
    header = APPLOADER_DATE.ljust(16, b"\0")
    header += struct.pack(">IIII", APPLOADER_ENTRY, APPLOADER_CODE_SIZE, 0, 0)
    code = bytearray()
    # Entry: li r3,0 ; blr, then blr words to the end of the code part.
    code += struct.pack(">I", 0x38600000)
    while len(code) < APPLOADER_CODE_SIZE:
        code += struct.pack(">I", PPC_BLR)
    data = header + bytes(code)
    assert len(data) % 32 == 0
    return data


DOL_HEADER_SIZE = 0x100
DOL_TEXT_ADDRESS = 0x80003100
DOL_TEXT_SIZE = 0x100
DOL_BSS_ADDRESS = DOL_TEXT_ADDRESS + DOL_TEXT_SIZE
DOL_BSS_SIZE = 0x40


def make_main_program():
    """A DOL with one text section: set up a stack pointer, then loop forever."""
    header = bytearray(DOL_HEADER_SIZE)
    struct.pack_into(">I", header, 0x00, DOL_HEADER_SIZE)  # text 0 file offset
    struct.pack_into(">I", header, 0x48, DOL_TEXT_ADDRESS)  # text 0 load address
    struct.pack_into(">I", header, 0x90, DOL_TEXT_SIZE)  # text 0 size
    struct.pack_into(">I", header, 0xD8, DOL_BSS_ADDRESS)
    struct.pack_into(">I", header, 0xDC, DOL_BSS_SIZE)
    struct.pack_into(">I", header, 0xE0, DOL_TEXT_ADDRESS)  # entry point
    code = bytearray()
    for word in (0x3C208040,  # lis r1,0x8040
                 0x38210000,  # addi r1,r1,0
                 0x38600000,  # li r3,0
                 PPC_BRANCH_TO_SELF):  # b .
        code += struct.pack(">I", word)
    while len(code) < DOL_TEXT_SIZE:
        code += struct.pack(">I", PPC_NOP)
    data = bytes(header) + bytes(code)
    assert len(data) % 32 == 0
    return data


# ---------------------------------------------------------------------------
# Base directory
# ---------------------------------------------------------------------------

# The one folder that stays empty. Git keeps no empty folders, so a fresh
# checkout lacks it until this tool (or `mkdir`) creates it again.
EMPTY_FOLDER = "empty_folder"


def pattern_bytes(length, seed):
    """Deterministic binary filler: a small linear congruential sequence."""
    out = bytearray(length)
    state = seed & 0xFFFFFFFF
    for i in range(length):
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (state >> 16) & 0xFF
    return bytes(out)


def text_lines(title, count):
    lines = ["%s, line %d of %d: the quick brown fox jumps over the lazy dog." % (title, i + 1, count)
             for i in range(count)]
    return ("\n".join(lines) + "\n").encode("ascii")


def base_files():
    """Relative path -> content of every file in the base directory."""
    files = {
        "opening.bnr": make_banner(),
        "empty.dat": b"",
        "long_file_name_sample.txt": b"This file's name is longer than twelve bytes.\n",
        "ReadMe.TXT": b"Sample disc content. Names keep their case: this one is ReadMe.TXT.\n",
        "block_4096.bin": pattern_bytes(4096, 4096),
        "odd_size_4097.bin": pattern_bytes(4097, 4097),
        "odd_1001.bin": pattern_bytes(1001, 1001),
        "data/table_5000.bin": pattern_bytes(5000, 5000),
        "data/notes.txt": text_lines("notes", 12),
        "data/levels/level1.txt": text_lines("level one", 3),
        "data/levels/deep/level2.txt": text_lines("level two", 2),
        "data/levels/deep/zero_too.dat": b"",
        "audio/jingle.raw": pattern_bytes(2048, 2048),
    }
    return files


def write_samples(out_dir):
    base = os.path.join(out_dir, "base")
    if os.path.isdir(base):
        shutil.rmtree(base)
    for rel, content in base_files().items():
        path = os.path.join(base, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
    os.makedirs(os.path.join(base, EMPTY_FOLDER), exist_ok=True)
    with open(os.path.join(out_dir, "apploader.img"), "wb") as f:
        f.write(make_apploader())
    with open(os.path.join(out_dir, "main.dol"), "wb") as f:
        f.write(make_main_program())


def write_preview(path):
    banner = make_banner()
    picture = banner[BANNER_PICTURE_OFFSET:BANNER_TEXT_OFFSET]
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    write_png(path, tiles_to_rgb(picture), 4)


def differences(expected_dir, actual_dir):
    """Relative paths that differ between two sample folders. Empty folders
    are left aside (git does not keep them), and so are files beside base/
    that the tool does not write, such as README.md."""
    def listing(root):
        found = {}
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    found[os.path.relpath(path, root)] = f.read()
        return found

    expected, actual = listing(expected_dir), listing(actual_dir)
    actual = {p: data for p, data in actual.items()
              if p in expected or p.startswith("base" + os.sep)}
    return sorted(p for p in set(expected) | set(actual) if expected.get(p) != actual.get(p))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--output-dir", default=os.path.join(REPO, "samples"),
                        help="where to write (default: samples/ of the repository)")
    parser.add_argument("--preview", default=os.path.join(REPO, "build", "samples", "opening_preview.png"),
                        help="PNG preview of the banner picture, 4x size")
    parser.add_argument("--check", action="store_true",
                        help="write nothing into the output folder; fail if it differs from a fresh run")
    args = parser.parse_args()

    if args.check:
        with tempfile.TemporaryDirectory() as fresh:
            write_samples(fresh)
            changed = differences(fresh, args.output_dir)
        for rel in changed:
            print("differs: %s" % rel)
        if changed:
            print("samples are out of date: run python3 tools/make_samples.py")
            return 1
        print("samples match the generator")
        return 0

    write_samples(args.output_dir)
    write_preview(args.preview)
    print("wrote %s and %s" % (args.output_dir, args.preview))
    return 0


if __name__ == "__main__":
    sys.exit(main())

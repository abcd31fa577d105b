#!/usr/bin/env python3
"""Reads back what tools/make_explorer_art.py writes, with readers of its own,
and compares the pictures with what the generator drew."""

import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import art_formats  # noqa: E402
import make_explorer_art as art  # noqa: E402

MAGENTA = (255, 0, 255)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def rle8_decode(data, width, height):
    """A BI_RLE8 decoder, strict: a row that overflows, codes after the
    end-of-bitmap, or data that stops before it are errors. Returns rows top
    first; pixels never written are None."""
    rows = [[None] * width for _ in range(height)]
    x = y = 0
    i = 0
    while True:
        if i + 2 > len(data):
            raise ValueError("data ends before end-of-bitmap")
        count, value = data[i], data[i + 1]
        i += 2
        if count > 0:
            if y >= height or x + count > width:
                raise ValueError("run overflows row %d" % y)
            for _ in range(count):
                rows[height - 1 - y][x] = value
                x += 1
        elif value == 0:  # end of line
            x, y = 0, y + 1
        elif value == 1:  # end of bitmap
            if i != len(data):
                raise ValueError("%d bytes after end-of-bitmap" % (len(data) - i))
            return rows
        elif value == 2:  # delta
            x += data[i]
            y += data[i + 1]
            i += 2
        else:  # absolute mode, padded to a word
            if y >= height or x + value > width:
                raise ValueError("absolute run overflows row %d" % y)
            for k in range(value):
                rows[height - 1 - y][x] = data[i + k]
                x += 1
            i += value + (value & 1)


def riff_children(data, start, end):
    """(fourcc, offset of the data, size, list type or None) of each chunk."""
    out = []
    pos = start
    while pos < end:
        fourcc, size = struct.unpack_from("<4sI", data, pos)
        if pos + 8 + size > end:
            raise ValueError("chunk %r runs past its parent" % fourcc)
        kind = data[pos + 8:pos + 12] if fourcc in (b"RIFF", b"LIST") else None
        out.append((fourcc, pos + 8, size, kind))
        pos += 8 + size + (size & 1)
    if pos != end:
        raise ValueError("chunks overrun their parent")
    return out


def find(children, fourcc, kind=None):
    hits = [c for c in children if c[0] == fourcc and (kind is None or c[3] == kind)]
    if len(hits) != 1:
        raise AssertionError("expected one %r %r, found %d" % (fourcc, kind, len(hits)))
    return hits[0]


def read_bmp(path):
    """Width, height and top-first rows of (r, g, b) of an uncompressed
    24-bit or 8-bit BMP."""
    data = read_bytes(path)
    magic, file_size, _r1, _r2, offset = struct.unpack_from("<2sIHHI", data, 0)
    assert magic == b"BM" and file_size == len(data), path
    (size, width, height, planes, bits, compression, _image, _xr, _yr, used,
     _imp) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    assert size == 40 and planes == 1 and compression == 0 and height > 0, path
    palette = []
    if bits == 8:
        n = used or 256
        palette = [struct.unpack_from("<BBB", data, 54 + 4 * k)[::-1] for k in range(n)]
    stride = ((width * bits + 31) // 32) * 4
    assert offset + stride * height == len(data), path
    rows = []
    for y in range(height):
        line = data[offset + (height - 1 - y) * stride:]
        if bits == 24:
            rows.append([tuple(line[3 * x:3 * x + 3][::-1]) for x in range(width)])
        else:
            assert bits == 8, path
            rows.append([palette[line[x]] for x in range(width)])
    return width, height, rows


def read_ico(path):
    """The images of an .ico: (size, bits, colour rows, transparent rows);
    colours are (r, g, b) or (r, g, b, a) for 32-bit images."""
    data = read_bytes(path)
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert reserved == 0 and kind == 1 and count >= 1, path
    images = []
    for k in range(count):
        w, h, colours, _r, planes, bits, length, offset = struct.unpack_from("<BBBBHHII", data,
                                                                             6 + 16 * k)
        assert offset + length <= len(data), path
        size = w or 256
        assert h == w, path
        hsize, bw, bh, bplanes, bbits = struct.unpack_from("<IiiHH", data, offset)
        assert (hsize, bw, bh, bplanes, bbits) == (40, size, 2 * size, 1, bits), path
        pos = offset + 40
        palette = []
        if bits <= 8:
            assert colours == (1 << bits) % 256, path
            palette = [struct.unpack_from("<BBB", data, pos + 4 * c)[::-1] for c in range(1 << bits)]
            pos += 4 << bits
        stride = ((size * bits + 31) // 32) * 4
        mask_stride = ((size + 31) // 32) * 4
        assert pos + stride * size + mask_stride * size == offset + length, path
        colour_rows, clear_rows = [], []
        for y in range(size):
            line = data[pos + (size - 1 - y) * stride:]
            mask = data[pos + stride * size + (size - 1 - y) * mask_stride:]
            if bits == 32:
                colour_rows.append([tuple(line[4 * x:4 * x + 4][2::-1]) + (line[4 * x + 3],)
                                    for x in range(size)])
            elif bits == 8:
                colour_rows.append([palette[line[x]] for x in range(size)])
            else:
                colour_rows.append([palette[(line[x // 2] >> (4 * (1 - x % 2))) & 15]
                                    for x in range(size)])
            clear_rows.append([bool(mask[x // 8] & (0x80 >> (x % 8))) for x in range(size)])
        images.append((size, bits, colour_rows, clear_rows))
    return images


class GeneratedArt(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.out = cls.tmp.name
        subprocess.run([sys.executable, os.path.join(ROOT, "tools", "make_explorer_art.py"),
                        cls.out], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.out, name)

    def test_animation_is_a_riff_avi_of_seventeen_rle8_frames_that_decode_to_the_drawing(self):
        data = read_bytes(self.path("copy.avi"))
        riff, = riff_children(data, 0, len(data))
        self.assertEqual((riff[0], riff[3]), (b"RIFF", b"AVI "))
        top = riff_children(data, riff[1] + 4, riff[1] + riff[2])
        hdrl = find(top, b"LIST", b"hdrl")
        movi = find(top, b"LIST", b"movi")
        idx1 = find(top, b"idx1")
        header = riff_children(data, hdrl[1] + 4, hdrl[1] + hdrl[2])
        avih = find(header, b"avih")
        (usec, _rate, _pad, flags, frames, _initial, streams, _buffer, width,
         height) = struct.unpack_from("<10I", data, avih[1])
        self.assertEqual((usec, frames, streams, width, height), (100000, 17, 1, 260, 40))
        self.assertTrue(flags & 0x10, "AVIF_HASINDEX")
        strl = find(header, b"LIST", b"strl")
        stream = riff_children(data, strl[1] + 4, strl[1] + strl[2])
        strh = find(stream, b"strh")
        self.assertEqual(strh[2], 56)
        kind, _handler, _f, _p, _l, _i, scale, rate, start, length = struct.unpack_from(
            "<4s4sIHHIIIII", data, strh[1])
        self.assertEqual((kind, start, length), (b"vids", 0, 17))
        self.assertEqual(1000000 * scale // rate, 100000)
        strf = find(stream, b"strf")
        (size, bw, bh, planes, bits, compression, _image, _x, _y, used,
         _important) = struct.unpack_from("<IiiHHIIiiII", data, strf[1])
        self.assertEqual((size, bw, bh, planes, bits, compression, used),
                         (40, 260, 40, 1, 8, 1, 16))
        self.assertEqual(strf[2], 40 + 16 * 4)
        palette = [struct.unpack_from("<BBB", data, strf[1] + 40 + 4 * k)[::-1] for k in range(16)]

        chunks = riff_children(data, movi[1] + 4, movi[1] + movi[2])
        self.assertEqual([c[0] for c in chunks], [b"00dc"] * 17)
        self.assertEqual(idx1[2], 16 * 17)
        expected = art.animation_frames()
        for k, chunk in enumerate(chunks):
            ckid, ckflags, offset, ck_size = struct.unpack_from("<4sIII", data, idx1[1] + 16 * k)
            self.assertEqual((ckid, ckflags & 0x10), (b"00dc", 0x10))
            # Offsets count from the 'movi' code; they lead to the chunk header.
            self.assertEqual(movi[1] + offset + 8, chunk[1], "index entry %d" % k)
            self.assertEqual(ck_size, chunk[2])
            rows = rle8_decode(data[chunk[1]:chunk[1] + chunk[2]], 260, 40)
            self.assertEqual(rows, expected[k], "frame %d" % k)
        self.assertEqual(palette[expected[0][0][0]], MAGENTA, "top-left pixel of frame 0")
        # The sheet moves: no two neighbouring frames are the same.
        for k in range(16):
            self.assertNotEqual(expected[k], expected[k + 1], "frames %d and %d" % (k, k + 1))

    def test_rle8_round_trips_awkward_rows(self):
        rng = random.Random(5)
        rows = [
            [7],  # one pixel
            [3, 4],  # two different pixels: never absolute mode
            [1, 2, 3],  # shortest absolute stretch
            [9] * 600,  # runs longer than 255
            list(range(256)) + list(range(255)),  # absolute stretches longer than 255
            [1, 2, 3, 4, 4, 5, 6, 7, 8, 8, 8, 9],  # odd stretches between runs
            [1, 1, 2, 1, 1, 2, 3],
            [0, 0, 1, 0, 0, 1, 0],  # zeros that must not read as escape codes
        ]
        rows += [[rng.choice((0, 0, 1, 2, 2, 2)) for _ in range(rng.randint(1, 700))]
                 for _ in range(200)]
        for row in rows:
            data = art_formats.rle8_encode([row, list(reversed(row))])
            self.assertEqual(rle8_decode(data, len(row), 2), [row, list(reversed(row))], row[:20])

    def test_tree_strip_is_four_images_on_the_key_colour(self):
        width, height, rows = read_bmp(self.path("tree.bmp"))
        self.assertEqual((width, height), (64, 16))
        self.assertEqual(rows, [list(r) for r in art.tree_strip()])
        for k in range(4):
            cell = [p for row in rows for p in row[16 * k:16 * k + 16]]
            self.assertEqual(cell[0], art.TREE_KEY, "image %d corner" % k)
            drawn = [p for p in cell if p != art.TREE_KEY]
            self.assertGreater(len(drawn), 60, "image %d is nearly empty" % k)
        self.assertEqual(art.TREE_KEY, MAGENTA)

    def test_toolbar_strip_has_button_images_where_the_commands_are(self):
        width, height, rows = read_bmp(self.path("toolbar.bmp"))
        self.assertEqual((width, height), (96, 16))
        self.assertEqual(rows, [list(r) for r in art.toolbar_strip()])
        self.assertEqual(art.TOOLBAR_KEY, (192, 192, 192))
        # The toolbar maps the button face only in a colour table: the strip
        # has one, with the key colour in it.
        data = read_bytes(self.path("toolbar.bmp"))
        bits, used = struct.unpack_from("<H", data, 28)[0], struct.unpack_from("<I", data, 46)[0]
        self.assertEqual(bits, 8)
        self.assertIn(art.TOOLBAR_KEY, [struct.unpack_from("<BBB", data, 54 + 4 * k)[::-1] for k in range(used)])
        # The toolbar remaps black, white and the greys 128 and 192 to system
        # colours: only the background may use them.
        mapped = {(0, 0, 0), (128, 128, 128), (255, 255, 255)}
        for k in range(6):
            cell = [p for row in rows for p in row[16 * k:16 * k + 16]]
            drawn = [p for p in cell if p != art.TOOLBAR_KEY]
            if k in (2, 4):
                continue
            self.assertGreater(len(drawn), 50, "button image %d is nearly empty" % k)
            self.assertFalse(mapped & set(drawn), "button image %d uses a mapped colour" % k)
        back = [row[0:16] for row in rows]
        forward = [row[16:32] for row in rows]
        self.assertEqual(back, [list(reversed(r)) for r in forward])

    def test_list_icons_are_256_colour_with_masks_matching_the_drawing(self):
        for name, large, small in (("document.ico", art.large_document(),
                                    art.sprite_from(art.DOCUMENT)),
                                   ("folder.ico", art.large_folder(),
                                    art.sprite_from(art.CLOSED_FOLDER))):
            images = read_ico(self.path(name))
            self.assertEqual([(s, b) for s, b, _c, _m in images], [(32, 8), (16, 8)], name)
            for (size, _bits, colours, clear), sprite in zip(images, (large, small)):
                for y in range(size):
                    for x in range(size):
                        want = sprite.pixels[y][x]
                        self.assertEqual(clear[y][x], want is None, (name, size, x, y))
                        # Under a set mask bit the colour must be black, or
                        # it would tint the screen (XOR).
                        self.assertEqual(colours[y][x], (0, 0, 0) if want is None else want,
                                         (name, size, x, y))
                self.assertTrue(clear[0][0] or clear[size - 1][size - 1], name)

    def test_window_icons_hold_the_emblem_with_alpha_and_mask_agreeing(self):
        for name, sizes in (("ombrel_small.ico", [16]), ("ombrel_large.ico", [32, 16])):
            images = read_ico(self.path(name))
            self.assertEqual([(s, b) for s, b, _c, _m in images], [(s, 32) for s in sizes], name)
            for size, _bits, colours, clear in images:
                self.assertEqual(colours, [list(r) for r in art.emblem_pixels(size)], name)
                for y in range(size):
                    for x in range(size):
                        self.assertEqual(clear[y][x], colours[y][x][3] < 128, (name, x, y))
                opaque = sum(not c for row in clear for c in row)
                self.assertGreater(opaque, size * size // 3, name)
                self.assertEqual(colours[0][size - 1][3], 0, name)


if __name__ == "__main__":
    unittest.main()

"""Picture file writers and a supersampler shared by the art generators.

Standard library only. Pictures are lists of rows, top row first; a pixel is
an (r, g, b) tuple, (r, g, b, a) where alpha is used, or a palette index.
Every writer stores rows bottom-up, as the formats want.
"""

import os
import struct
import sys
import zlib

# ---------------------------------------------------------------------------
# Supersampled rendering
# ---------------------------------------------------------------------------


def supersample(width, height, sample, subsamples):
    """RGBA rows of sample(x, y) averaged over subsamples x subsamples points
    per pixel. sample returns a colour or None (transparent); alpha is the
    covered share of the pixel, 0.0 to 1.0, and colours stay floats."""
    pixels = []
    n = subsamples
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    c = sample(px + (sx + 0.5) / n, py + (sy + 0.5) / n)
                    if c is None:
                        continue
                    acc[0] += c[0]
                    acc[1] += c[1]
                    acc[2] += c[2]
                    acc[3] += 1.0
            a = acc[3]
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((acc[0] / a, acc[1] / a, acc[2] / a, a / (n * n)))
        pixels.append(row)
    return pixels


def to_rgba8(pixels):
    """Supersampled rows rounded to bytes, alpha 0 to 255."""
    return [[(int(round(p[0])), int(round(p[1])), int(round(p[2])), int(round(p[3] * 255)))
             for p in row] for row in pixels]


def mix(a, b, t):
    """The colour t of the way from a to b (floats)."""
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# ---------------------------------------------------------------------------
# BMP
# ---------------------------------------------------------------------------

BI_RGB = 0
BI_RLE8 = 1


def bmp_info_header(width, height, bits, colours_used=0, image_size=0, compression=BI_RGB):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, image_size, 2835,
                       2835, colours_used, 0)


def palette_table(palette):
    """RGBQUAD entries of a palette of (r, g, b)."""
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)


def write_bmp_indexed(path, indices, palette, bits):
    """A BMP of 4 or 8 bits a pixel: rows of palette indices and a colour
    table of just the palette's colours (biClrUsed gives their number)."""
    height = len(indices)
    width = len(indices[0])
    assert bits in (4, 8) and len(palette) <= 1 << bits
    per_byte = 8 // bits
    stride = ((width * bits + 31) // 32) * 4
    data = bytearray()
    for row in reversed(indices):  # bottom-up
        line = bytearray(stride)
        for x, i in enumerate(row):
            line[x // per_byte] |= i << (8 - bits * (x % per_byte + 1))
        data += line
    table = palette_table(palette)
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + bmp_info_header(width, height, bits, len(palette), len(data)) + table + data)


def write_bmp4(path, indices, palette):
    write_bmp_indexed(path, indices, palette, 4)


def bgr_rows(pixels):
    """24-bit DIB rows, bottom-up, each padded to 4 bytes."""
    width = len(pixels[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for p in row:
            line += bytes((p[2], p[1], p[0]))
        line += bytes(stride - len(line))
        data += line
    return data


def write_bmp24(path, pixels):
    height = len(pixels)
    width = len(pixels[0])
    data = bgr_rows(pixels)
    offset = 14 + 40
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(header + bmp_info_header(width, height, 24, 0, len(data)) + data)


# ---------------------------------------------------------------------------
# ICO
# ---------------------------------------------------------------------------


def and_mask(transparent_rows):
    """The icon's AND mask: one bit a pixel, set where the screen shows
    through; rows bottom-up, padded to 4 bytes."""
    size = len(transparent_rows[0])
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(transparent_rows):
        line = bytearray(stride)
        for x, clear in enumerate(row):
            if clear:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return mask


def icon_image(pixels):
    """One 32-bit icon image: BITMAPINFOHEADER (double height), BGRA rows,
    AND mask."""
    size = len(pixels)
    colour = bytearray()
    for row in reversed(pixels):
        for (r, g, b, a) in row:
            colour += bytes((b, g, r, a))
    # Transparent where alpha is not honoured.
    mask = and_mask([[p[3] < 128 for p in row] for row in pixels])
    return bmp_info_header(size, size * 2, 32, 0, len(colour) + len(mask)) + colour + mask


def icon_image_indexed(indices, palette, bits):
    """One 4- or 8-bit icon image from palette indices; None is transparent
    (palette index 0 under a set AND bit, so index 0 should be black)."""
    size = len(indices)
    entries = 1 << bits
    table = palette_table(list(palette) + [(0, 0, 0)] * (entries - len(palette)))
    stride = ((size * bits + 31) // 32) * 4
    colour = bytearray()
    for row in reversed(indices):
        line = bytearray(stride)
        for x, i in enumerate(row):
            i = 0 if i is None else i
            if bits == 8:
                line[x] = i
            elif x % 2 == 0:
                line[x // 2] = i << 4
            else:
                line[x // 2] |= i
        colour += line
    mask = and_mask([[i is None for i in row] for row in indices])
    return (bmp_info_header(size, size * 2, bits, 0, len(colour) + len(mask)) + table + colour
            + mask)


def write_icon_file(path, images):
    """An .ico of (size, bits, image bytes) entries, in the given order."""
    entries = bytearray()
    blobs = bytearray()
    offset = 6 + 16 * len(images)
    for size, bits, blob in images:
        colours = (1 << bits) % 256 if bits < 8 else 0
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits,
                               len(blob), offset + len(blobs))
        blobs += blob
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + entries + blobs)


def write_ico(path, images):
    """An .ico of 32-bit images with alpha, from RGBA rows."""
    write_icon_file(path, [(len(p), 32, icon_image(p)) for p in images])


# ---------------------------------------------------------------------------
# Run-length encoded frames and AVI
# ---------------------------------------------------------------------------


def rle8_row(row):
    """One row of 8-bit pixels in BI_RLE8 codes, without its end code: runs
    of two or more equal pixels as (count, value); stretches of three or more
    other pixels in absolute mode (0, count, pixels, padded to a word); one
    lone pixel as a run of one."""
    out = bytearray()
    n = len(row)
    i = 0
    while i < n:
        run = 1
        while i + run < n and run < 255 and row[i + run] == row[i]:
            run += 1
        if run >= 2:
            out += bytes((run, row[i]))
            i += run
            continue
        # Gather pixels up to the next run of two equal ones.
        j = i
        while j < n and j - i < 255 and not (j + 1 < n and row[j + 1] == row[j]):
            j += 1
        count = j - i
        if count >= 3:
            out += bytes((0, count)) + bytes(row[i:j])
            if count % 2:
                out.append(0)
        else:
            for k in range(i, j):
                out += bytes((1, row[k]))
        i = j
    return out


def rle8_encode(indices):
    """A whole BI_RLE8 bitmap: rows bottom-up, each closed by end-of-line,
    the last by end-of-bitmap instead."""
    out = bytearray()
    rows = list(reversed(indices))
    for y, row in enumerate(rows):
        out += rle8_row(row)
        out += b"\x00\x01" if y == len(rows) - 1 else b"\x00\x00"
    return bytes(out)


AVIF_HASINDEX = 0x10
AVIIF_KEYFRAME = 0x10


def riff_chunk(fourcc, data):
    """A chunk with its size; odd sizes are padded with one byte."""
    return fourcc + struct.pack("<I", len(data)) + data + (b"\x00" if len(data) % 2 else b"")


def riff_list(kind, fourcc, parts):
    body = fourcc + b"".join(parts)
    return kind + struct.pack("<I", len(body)) + body


def write_avi_rle8(path, frames, palette, microseconds_per_frame):
    """A one-stream AVI of BI_RLE8 key frames sharing one palette. frames are
    rows of palette indices, all of one size."""
    height = len(frames[0])
    width = len(frames[0][0])
    encoded = [rle8_encode(f) for f in frames]
    largest = max(len(e) for e in encoded)
    buffer_size = (largest + 8 + 511) & ~511
    per_second = 1000000 // microseconds_per_frame

    avih = struct.pack("<IIIIIIIIII4I", microseconds_per_frame, largest * per_second, 0,
                       AVIF_HASINDEX, len(frames), 0, 1, buffer_size, width, height, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIiI4h", b"vids", b"RLE ", 0, 0, 0, 0, 1, per_second, 0,
                       len(frames), buffer_size, -1, 0, 0, 0, width, height)
    strf = (bmp_info_header(width, height, 8, len(palette), largest, BI_RLE8)[:-4]
            + struct.pack("<I", len(palette)) + palette_table(palette))
    hdrl = riff_list(b"LIST", b"hdrl", [
        riff_chunk(b"avih", avih),
        riff_list(b"LIST", b"strl", [riff_chunk(b"strh", strh), riff_chunk(b"strf", strf)]),
    ])

    chunks = []
    index = bytearray()
    offset = 4  # idx1 offsets count from the 'movi' code
    for e in encoded:
        chunk = riff_chunk(b"00dc", e)
        index += struct.pack("<4sIII", b"00dc", AVIIF_KEYFRAME, offset, len(e))
        offset += len(chunk)
        chunks.append(chunk)
    movi = riff_list(b"LIST", b"movi", chunks)
    avi = riff_list(b"RIFF", b"AVI ", [hdrl, movi, riff_chunk(b"idx1", bytes(index))])
    with open(path, "wb") as f:
        f.write(avi)


# ---------------------------------------------------------------------------
# PNG previews
# ---------------------------------------------------------------------------


def on_white(rgba_rows):
    """RGBA8 rows laid over white, for a preview."""
    return [[tuple(int(p[i] * p[3] / 255 + 255 * (1 - p[3] / 255)) for i in range(3))
             for p in row] for row in rgba_rows]


def write_png(path, rgb_rows, scale):
    """A preview for people: the picture scaled up without smoothing."""
    raw = bytearray()
    for row in rgb_rows:
        line = bytearray()
        for p in row:
            line += bytes(p[:3]) * scale
        for _ in range(scale):
            raw += b"\x00" + line
    width = len(rgb_rows[0]) * scale
    height = len(rgb_rows) * scale

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def art_output(argv, usage):
    """The output folder (created) and whether PNG previews are wanted, or
    None after printing the usage when the command line gives no folder."""
    if len(argv) < 2 or argv[1].startswith("-"):
        print(usage.strip(), file=sys.stderr)
        return None
    os.makedirs(argv[1], exist_ok=True)
    return argv[1], "--preview" in argv[2:]

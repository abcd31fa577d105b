#!/usr/bin/env python3
"""Draws Ombrel's pictures, icons and copy animation.

    python3 tools/make_explorer_art.py OUTDIR            # write the files
    python3 tools/make_explorer_art.py OUTDIR --preview  # also PNG previews

Files written (the resource script names them):
  tree.bmp           64 x 16, 24-bit: open folder, closed folder, document,
                     disc drive, on the key colour TREE_KEY (magenta), which
                     the tree's image list masks out
  toolbar.bmp        96 x 16, 8-bit with a colour table: Back, Forward,
                     (blank), Up, (blank), Extract, on TOOLBAR_KEY. The
                     toolbar maps system colours only in the colour table of
                     a bitmap of 8 bits or fewer: there TOOLBAR_KEY's entry
                     becomes the button face, whatever grey the system uses
  ombrel_small.ico   16 x 16, 32-bit with alpha: the emblem
  ombrel_large.ico   32 x 32 and 16 x 16, 32-bit with alpha
  document.ico       32 x 32 and 16 x 16, 256 colours with an AND mask
  folder.ico         32 x 32 and 16 x 16, 256 colours with an AND mask
  copy.avi           260 x 40, 17 frames of 100 ms, BI_RLE8 with 16 colours:
                     a sheet of paper flying along an arc from a folder at
                     the left to a folder at the right, on magenta (the
                     colour of the first frame's top-left pixel, which the
                     animation control draws transparent)

The small pictures are pixel art: hand-placed 16 x 16 grids and shapes
filled at pixel centres with a one-pixel outline. The emblem is Trelvik's
disc, sampled 4 x 4 times per pixel, under a magnifying glass.
"""

import math
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches
from art_formats import (art_output, icon_image_indexed, mix, on_white, supersample, to_rgba8,  # noqa: E402
                         write_avi_rle8, write_bmp24, write_bmp_indexed, write_icon_file, write_ico,
                         write_png)

# Key colours: the tree's image list is built with this colour as its mask;
# the toolbar maps this grey's colour-table entry to the button face. Neither
# occurs in the art.
TREE_KEY = (255, 0, 255)
TOOLBAR_KEY = (192, 192, 192)
ANIMATION_KEY = (255, 0, 255)

# ---------------------------------------------------------------------------
# Colours. The toolbar maps pure black, white and the greys 128 and 192 to
# system colours, so the art keeps clear of those exact values.
# ---------------------------------------------------------------------------

FOLDER_EDGE = (142, 92, 16)
FOLDER_DARK = (208, 144, 40)
FOLDER_MID = (236, 182, 62)
FOLDER_LIGHT = (250, 212, 110)
FOLDER_SHINE = (255, 238, 176)

PAPER_EDGE = (80, 92, 116)
PAPER = (252, 252, 250)
PAPER_SHADE = (212, 220, 234)
PAPER_TEXT = (124, 152, 202)

GREEN_EDGE = (20, 98, 38)
GREEN_DARK = (38, 134, 52)
GREEN = (70, 172, 76)
GREEN_LIGHT = (152, 220, 128)

DRIVE_EDGE = (60, 64, 78)
DRIVE_DARK = (134, 138, 152)
DRIVE_MID = (182, 186, 198)
DRIVE_LIGHT = (226, 228, 236)
DRIVE_LED = (56, 216, 78)

DISC_EDGE = (30, 62, 140)
DISC_DARK = (70, 118, 206)
DISC_LIGHT = (150, 190, 246)
DISC_SHINE = (214, 232, 255)

LEGEND = {
    "K": FOLDER_EDGE, "d": FOLDER_DARK, "y": FOLDER_MID, "Y": FOLDER_LIGHT, "h": FOLDER_SHINE,
    "O": PAPER_EDGE, "W": PAPER, "w": PAPER_SHADE, "l": PAPER_TEXT,
}


class Sprite:
    """A picture under construction: rows of (r, g, b), None where nothing
    has been drawn."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [[None] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def grid(self, rows, ox=0, oy=0, legend=LEGEND):
        """Hand-placed pixels: one character a pixel, '.' leaves it alone."""
        for y, row in enumerate(rows):
            for x, ch in enumerate(row):
                if ch != ".":
                    self.put(ox + x, oy + y, legend[ch])

    def shape(self, inside, fill, edge, box=None):
        """Fills the pixels whose centres inside(x + 0.5, y + 0.5) accepts;
        those next to an outside pixel get the edge colour. fill is a colour
        or a function of the pixel. box (x0, y0, x1, y1) bounds the search."""
        x0, y0, x1, y1 = box if box else (0, 0, self.width - 1, self.height - 1)
        mask = set()
        for y in range(max(0, y0), min(self.height - 1, y1) + 1):
            for x in range(max(0, x0), min(self.width - 1, x1) + 1):
                if inside(x + 0.5, y + 0.5):
                    mask.add((x, y))
        for (x, y) in mask:
            outer = any((x + dx, y + dy) not in mask for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            if outer and edge is not None:
                self.put(x, y, edge)
            else:
                self.put(x, y, fill(x, y) if callable(fill) else fill)

    def paste(self, other, ox, oy):
        for y, row in enumerate(other.pixels):
            for x, c in enumerate(row):
                if c is not None:
                    self.put(ox + x, oy + y, c)

    def on(self, background):
        return [[background if c is None else c for c in row] for row in self.pixels]


def rect(x0, y0, x1, y1):
    """Pixels x0..x1, y0..y1 inclusive."""
    return lambda x, y: x0 <= x < x1 + 1 and y0 <= y < y1 + 1


def polygon(points):
    """Even-odd test against a polygon in pixel-edge coordinates."""
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
                result = not result
        return result
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


# ---------------------------------------------------------------------------
# 16 x 16 pictures
# ---------------------------------------------------------------------------

CLOSED_FOLDER = [
    "................",
    "................",
    ".KKKKK..........",
    "KhYYYhK.........",
    "KYYYYYKKKKKKKK..",
    "KYhhhhhhhhhhhhK.",
    "KhYYYYYYYYYYYyK.",
    "KYYYYYYYYYYYYyK.",
    "KYYYYYYYYYYYYyK.",
    "KYYYYYYYYYYYYyK.",
    "KYYYYYYYYYYYYyK.",
    "KYYYYYYYYYYYYyK.",
    "KyyyyyyyyyyyyyK.",
    "KKKKKKKKKKKKKKK.",
    "................",
    "................",
]

OPEN_FOLDER = [
    "................",
    "................",
    ".KKKK...........",
    "KddddK..........",
    "KddddKKKKKKKK...",
    "KdddddddddddK...",
    "KddKKKKKKKKKKKKK",
    "KdKhhhhhhhhhhhK.",
    "KdKYYYYYYYYYYyK.",
    "KKYYYYYYYYYYyK..",
    "KKYYYYYYYYYYyK..",
    "KYYYYYYYYYYyK...",
    "KyyyyyyyyyyyK...",
    "KKKKKKKKKKKKK...",
    "................",
    "................",
]

# The open folder's front panel alone, to lay over what goes into it.
OPEN_FOLDER_FRONT = [
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "...KKKKKKKKKKKKK",
    "..KhhhhhhhhhhhK.",
    "..KYYYYYYYYYYyK.",
    ".KYYYYYYYYYYyK..",
    ".KYYYYYYYYYYyK..",
    "KYYYYYYYYYYyK...",
    "KyyyyyyyyyyyK...",
    "KKKKKKKKKKKKK...",
    "................",
    "................",
]

DOCUMENT = [
    "..OOOOOOOOO.....",
    "..OWWWWWWWOO....",
    "..OWWWWWWWOwO...",
    "..OWWWWWWWOwwO..",
    "..OWllllWWOOOO..",
    "..OWWWWWWWWWWO..",
    "..OWlllllllWWO..",
    "..OWWWWWWWWWWO..",
    "..OWllllllllWO..",
    "..OWWWWWWWWWWO..",
    "..OWlllllllWWO..",
    "..OWWWWWWWWWWO..",
    "..OWllllllWWwO..",
    "..OWWWWWWWWWwO..",
    "..OwwwwwwwwwwO..",
    "..OOOOOOOOOOOO..",
]


def sprite_from(rows):
    s = Sprite(16, 16)
    s.grid(rows)
    return s


def disc_shading(cx, cy, r):
    """A disc lit from the upper left, with a bright rim and a light hub."""
    def fill(x, y):
        px, py = x + 0.5 - cx, y + 0.5 - cy
        d = math.hypot(px, py)
        if d < r * 0.28:
            return DISC_SHINE
        if px + py < -r * 0.35:
            return DISC_LIGHT
        return DISC_DARK
    return fill


def disc_drive():
    """A drive with a disc half into its slot."""
    s = Sprite(16, 16)
    s.shape(circle(8.0, 8.0, 6.2), disc_shading(8.0, 8.0, 6.2), DISC_EDGE)
    s.put(7, 7, DISC_EDGE)  # the hub's hole
    s.put(8, 7, DISC_EDGE)

    def body(x, y):
        if y <= 9:
            return DRIVE_LIGHT
        return DRIVE_MID if y <= 12 else DRIVE_DARK
    s.shape(rect(0, 9, 15, 14), body, DRIVE_EDGE)
    for x in range(3, 11):
        s.put(x, 11, DRIVE_EDGE)  # the slot
    s.put(12, 11, DRIVE_LED)
    s.put(13, 11, DRIVE_LED)
    return s


def green_fill(top, bottom):
    """Arrow shading: light at the top, dark at the bottom."""
    def fill(x, y):
        t = (y - top) / max(1, bottom - top)
        if t < 0.34:
            return GREEN_LIGHT
        return GREEN if t < 0.75 else GREEN_DARK
    return fill


def left_arrow():
    """A broad arrow pointing left: a head of 45-degree sides and a shaft."""
    s = Sprite(16, 16)

    def inside(x, y):
        head = 1 <= x < 7 and abs(y - 8.0) <= x - 0.5
        shaft = 6 <= x < 15 and 5 <= y < 11
        return head or shaft
    s.shape(inside, green_fill(2, 13), GREEN_EDGE)
    return s


def mirrored(sprite):
    m = Sprite(sprite.width, sprite.height)
    m.pixels = [list(reversed(row)) for row in sprite.pixels]
    return m


def up_folder():
    """A closed folder with a green arrow rising out of it."""
    s = Sprite(16, 16)
    s.grid(CLOSED_FOLDER, 0, 1)

    def inside(x, y):
        head = 1 <= y < 6 and abs(x - 10.5) <= (y - 1) + 0.5
        shaft = 5 <= y < 12 and 9 <= x < 12
        return head or shaft
    s.shape(inside, green_fill(1, 11), GREEN_EDGE)
    return s


def page(width, height, lines):
    """A small sheet with an outline and a few text lines."""
    s = Sprite(width, height)
    s.shape(rect(0, 0, width - 1, height - 1), PAPER, PAPER_EDGE)
    for y, x0, x1 in lines:
        for x in range(x0, x1 + 1):
            s.put(x, y, PAPER_TEXT)
    return s


def extract_pages():
    """Two sheets going down into an open folder."""
    s = Sprite(16, 16)
    s.grid(OPEN_FOLDER)
    s.paste(page(7, 9, [(2, 2, 4), (4, 2, 4), (6, 2, 3)]), 7, 0)
    s.paste(page(7, 9, [(2, 2, 4), (4, 2, 4), (6, 2, 4)]), 3, 2)
    s.grid(OPEN_FOLDER_FRONT)
    return s


def strip(sprites, background):
    rows = [[] for _ in range(16)]
    for sprite in sprites:
        for y, row in enumerate(sprite.on(background)):
            rows[y] += row
    return rows


def tree_strip():
    return strip([sprite_from(OPEN_FOLDER), sprite_from(CLOSED_FOLDER), sprite_from(DOCUMENT),
                  disc_drive()], TREE_KEY)


def toolbar_strip():
    back = left_arrow()
    return strip([back, mirrored(back), Sprite(16, 16), up_folder(), Sprite(16, 16),
                  extract_pages()], TOOLBAR_KEY)


# ---------------------------------------------------------------------------
# 32 x 32 list icons
# ---------------------------------------------------------------------------


def large_document():
    """A sheet with a folded corner, a heading and lines of text."""
    s = Sprite(32, 32)
    fold = 7

    def sheet(x, y):
        return 6 <= x < 26 and 1 <= y < 31 and (x - (26 - fold)) < (y - 1)

    def sheet_fill(x, y):
        return PAPER_SHADE if x >= 24 or y >= 29 else PAPER
    s.shape(sheet, sheet_fill, PAPER_EDGE)
    # The folded flap: the cut corner's triangle turned down.
    s.shape(polygon([(26 - fold, 1), (26 - fold, 1 + fold), (26, 1 + fold)]),
            PAPER_SHADE, PAPER_EDGE, (18, 0, 26, 9))
    for y, x1 in ((5, 14), (6, 14)):
        for x in range(9, x1 + 1):
            s.put(x, y, PAPER_EDGE)
    for y, x1 in ((11, 22), (14, 21), (17, 22), (20, 19), (23, 22), (26, 16)):
        for x in range(9, x1 + 1):
            s.put(x, y, PAPER_TEXT)
    return s


def large_folder():
    """A closed folder with a sheet showing behind its front."""
    s = Sprite(32, 32)
    back = polygon([(2, 4), (12, 4), (15, 7), (30, 7), (30, 28), (2, 28)])
    s.shape(back, FOLDER_DARK, FOLDER_EDGE)
    s.shape(rect(6, 6, 25, 14), PAPER, PAPER_EDGE)
    for y in (8, 10):
        for x in range(8, 20):
            s.put(x, y, PAPER_TEXT)

    def front_fill(x, y):
        if y == 12:
            return FOLDER_SHINE
        if x == 3:
            return FOLDER_SHINE if y < 20 else FOLDER_LIGHT
        return FOLDER_LIGHT if y < 22 else FOLDER_MID
    s.shape(polygon([(2, 11), (30, 11), (30, 28), (2, 28)]), front_fill, FOLDER_EDGE)
    return s


def small_list_icon(rows):
    return sprite_from(rows)


def indexed(pixels, first=(0, 0, 0)):
    """Index rows and palette of a picture's rows; None stays None
    (transparent). first is index 0: for the icons black, shown under the AND
    mask's transparent pixels."""
    palette = [first]
    rows = []
    for row in pixels:
        out = []
        for c in row:
            if c is None:
                out.append(None)
                continue
            if c not in palette:
                palette.append(c)
            out.append(palette.index(c))
        rows.append(out)
    return rows, palette


def write_list_icon(path, large, small):
    images = []
    for sprite in (large, small):
        rows, palette = indexed(sprite.pixels)
        images.append((sprite.width, 8, icon_image_indexed(rows, palette, 8)))
    write_icon_file(path, images)


# ---------------------------------------------------------------------------
# The emblem: a disc under a magnifying glass
# ---------------------------------------------------------------------------

EMBLEM_DISC = (-0.16, -0.16, 0.82)  # centre x, centre y, radius (unit square -1..1)
EMBLEM_LENS = (0.30, 0.30, 0.47)
EMBLEM_RIM = (10, 26, 70)
EMBLEM_HANDLE = (24, 36, 78)
EMBLEM_HANDLE_LIGHT = (96, 116, 170)
EMBLEM_GLASS = (226, 238, 255)


def emblem_disc(x, y, tracks):
    """Trelvik's blue disc lit from the upper left, with a hub ring."""
    cx, cy, r = EMBLEM_DISC
    d = math.hypot(x - cx, y - cy) / r
    if d > 1.0 or d < 0.16:
        return None  # outside, or the hole
    if d < 0.30:
        return (206, 226, 252) if d > 0.21 else EMBLEM_RIM
    light = max(0.0, min(1.0, 0.5 - 0.5 * ((x - cx) + (y - cy)) / (1.4142 * r)))
    colour = mix((46, 92, 184), (118, 164, 236), light)
    for t in tracks:
        if abs(d - t) < 0.035:
            colour = (32, 68, 150)
    if d > 0.90:
        colour = (176, 206, 250) if d < 0.955 else (32, 68, 150)
    return colour


def emblem_sample(x, y, tracks, rim_width):
    lx, ly, lr = EMBLEM_LENS
    dx, dy = x - lx, y - ly
    d = math.hypot(dx, dy)
    # The handle: from the lens rim towards the lower right corner.
    along, across = (dx + dy) / 1.4142, (dy - dx) / 1.4142
    if d > lr and 0 < along < lr + 0.55 and abs(across) < 0.15:
        return EMBLEM_HANDLE_LIGHT if -0.10 < across < -0.02 else EMBLEM_HANDLE
    if d <= lr:
        if d > lr - rim_width:
            return EMBLEM_RIM
        # Seen through the glass: the disc, larger and brighter, with a
        # highlight along the upper left of the lens.
        if d > lr * 0.62 and dx + dy < -lr * 0.75:
            return mix(EMBLEM_GLASS, (255, 255, 255), 0.6)
        behind = emblem_disc(lx + dx * 0.7, ly + dy * 0.7, tracks)
        if behind is None:
            return EMBLEM_GLASS
        return mix(behind, EMBLEM_GLASS, 0.35)
    return emblem_disc(x, y, tracks)


def emblem_pixels(size):
    scale = size / 2.0
    tracks = (0.62, 0.78) if size >= 32 else ()
    rim = 0.10 if size >= 32 else 0.16

    def sample(px, py):
        return emblem_sample(px / scale - 1.0, py / scale - 1.0, tracks, rim)
    return to_rgba8(supersample(size, size, sample, 4))


# ---------------------------------------------------------------------------
# The copy animation
# ---------------------------------------------------------------------------

ANIMATION_WIDTH = 260
ANIMATION_HEIGHT = 40
ANIMATION_FRAMES = 17
FRAME_MICROSECONDS = 100000

# The animation's 16 colours; index 0, the background, is the key.
ANIMATION_PALETTE = [
    ANIMATION_KEY, FOLDER_EDGE, FOLDER_DARK, FOLDER_MID, FOLDER_LIGHT, FOLDER_SHINE,
    PAPER_EDGE, PAPER, PAPER_SHADE, PAPER_TEXT,
    (96, 64, 12), (0, 0, 0), (0, 0, 0), (0, 0, 0), (0, 0, 0), (0, 0, 0),
]

FOLDER_LEFT = 8  # left edge of the left folder
FOLDER_RIGHT = 206  # left edge of the right folder
SHEET_W = 18
SHEET_H = 22


def folder_back(s, ox):
    """The open folder's back panel with its tab, and its dark inside."""
    s.shape(polygon([(ox, 6), (ox + 16, 6), (ox + 20, 10), (ox + 44, 10), (ox + 44, 38),
                     (ox, 38)]), FOLDER_DARK, FOLDER_EDGE, (ox - 1, 4, ox + 46, 39))
    for x in range(ox + 2, ox + 15):
        s.put(x, 8, FOLDER_MID)  # light on the tab


def folder_front(s, ox):
    """The front panel, leaning back to the right."""
    def fill(x, y):
        if y <= 19:
            return FOLDER_SHINE
        return FOLDER_LIGHT if y < 33 else FOLDER_MID
    s.shape(polygon([(ox + 6, 18), (ox + 48, 18), (ox + 44, 38), (ox, 38)]), fill, FOLDER_EDGE,
            (ox - 1, 16, ox + 50, 39))


def sheet_position(t):
    """Centre and tilt (degrees, clockwise) of the sheet at time t, 0 to 1:
    along an arc from the middle of one folder to the middle of the other."""
    x0 = FOLDER_LEFT + 24
    x1 = FOLDER_RIGHT + 24
    x = x0 + (x1 - x0) * t
    y = 22.0 - 11.0 * math.sin(math.pi * t)
    tilt = 30.0 * math.sin(2 * math.pi * t)
    return x, y, tilt


def draw_sheet(s, t):
    cx, cy, tilt = sheet_position(t)
    a = math.radians(tilt)
    ca, sa = math.cos(a), math.sin(a)
    hw, hh = SHEET_W / 2.0, SHEET_H / 2.0

    def local(x, y):
        dx, dy = x - cx, y - cy
        return dx * ca + dy * sa, -dx * sa + dy * ca

    def inside(x, y):
        u, v = local(x, y)
        # The top right corner is folded down: cut off beyond its diagonal.
        return abs(u) <= hw and abs(v) <= hh and u - (hw - 5) <= v + hh

    def fill(x, y):
        u, v = local(x + 0.5, y + 0.5)
        if u > hw - 5 and v < -hh + 5:
            return PAPER_SHADE  # the folded flap
        row = v + hh
        if -hw + 3 < u < hw - 3 and row > 6 and int(row) % 3 == 0:
            return PAPER_TEXT
        return PAPER if u < hw - 2.5 else PAPER_SHADE
    box = (int(cx - 16), int(cy - 16), int(cx + 16), int(cy + 16))
    s.shape(inside, fill, PAPER_EDGE, box)


def animation_frames():
    """The frames as rows of palette indices."""
    index = {c: i for i, c in reversed(list(enumerate(ANIMATION_PALETTE)))}
    frames = []
    for k in range(ANIMATION_FRAMES):
        t = k / (ANIMATION_FRAMES - 1)
        s = Sprite(ANIMATION_WIDTH, ANIMATION_HEIGHT)
        folder_back(s, FOLDER_LEFT)
        folder_back(s, FOLDER_RIGHT)
        draw_sheet(s, t)
        folder_front(s, FOLDER_LEFT)
        folder_front(s, FOLDER_RIGHT)
        frames.append([[index[c] for c in row] for row in s.on(ANIMATION_KEY)])
    return frames


# ---------------------------------------------------------------------------


def main(argv):
    args = art_output(argv, __doc__)
    if args is None:
        return 2
    out, preview = args

    tree = tree_strip()
    write_bmp24(os.path.join(out, "tree.bmp"), tree)
    toolbar = toolbar_strip()
    write_bmp_indexed(os.path.join(out, "toolbar.bmp"), *indexed(toolbar, TOOLBAR_KEY), 8)

    small = emblem_pixels(16)
    large = emblem_pixels(32)
    write_ico(os.path.join(out, "ombrel_small.ico"), [small])
    write_ico(os.path.join(out, "ombrel_large.ico"), [large, small])
    document = large_document()
    folder = large_folder()
    write_list_icon(os.path.join(out, "document.ico"), document, sprite_from(DOCUMENT))
    write_list_icon(os.path.join(out, "folder.ico"), folder, sprite_from(CLOSED_FOLDER))

    frames = animation_frames()
    write_avi_rle8(os.path.join(out, "copy.avi"), frames, ANIMATION_PALETTE, FRAME_MICROSECONDS)

    if preview:
        write_png(os.path.join(out, "tree_preview.png"), tree, 8)
        write_png(os.path.join(out, "toolbar_preview.png"), toolbar, 8)
        write_png(os.path.join(out, "emblem_preview.png"), on_white(large), 8)
        write_png(os.path.join(out, "emblem_small_preview.png"), on_white(small), 8)
        icons = [a + [(255, 255, 255)] * 4 + b for a, b in
                 zip(document.on((255, 255, 255)), folder.on((255, 255, 255)))]
        write_png(os.path.join(out, "list_icons_preview.png"), icons, 8)
        sheet = []
        for f in frames[::2]:
            sheet += [[ANIMATION_PALETTE[i] for i in row] for row in f]
            sheet.append([(255, 255, 255)] * ANIMATION_WIDTH)
        write_png(os.path.join(out, "animation_preview.png"), sheet, 3)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

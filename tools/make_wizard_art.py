#!/usr/bin/env python3
"""Draws Trelvik's pictures and icons: a disc with an isometric cube at its hub.

    python3 tools/make_wizard_art.py OUTDIR            # write the four files
    python3 tools/make_wizard_art.py OUTDIR --preview  # also PNG previews

Files written (the resource script names them):
  welcome.bmp        169 x 314, 16 colours: a dark-blue band, the emblem in
                     blue in its lower half, faint disc tracks around it
  page.bmp           32 x 32, 24-bit: the emblem in grey on white
  trelvik_small.ico  16 x 16, 32-bit with alpha: the emblem in blue
  trelvik_large.ico  32 x 32 and 16 x 16, 32-bit with alpha

Every pixel is computed here (standard library only), so the build draws the
same pictures each time. Shapes are sampled 4 x 4 times per pixel for smooth
edges; the 16-colour band is ordered-dithered onto a fixed palette.
"""

import math
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree free of caches
from art_formats import (art_output, mix, on_white, supersample, to_rgba8, write_bmp4, write_bmp24,  # noqa: E402
                         write_ico, write_png)

SUBSAMPLES = 4

# ---------------------------------------------------------------------------
# The emblem, in unit coordinates: centre (0, 0), disc radius 1, y downwards
# ---------------------------------------------------------------------------

CUBE_RADIUS = 0.50  # circumradius of the cube's hexagon
CUBE_GAP = 0.10  # dark ring between the cube and the disc
TRACKS = (0.66, 0.78, 0.90)
SMALL_TRACKS = (0.78,)  # one track where three would blur together


def hexagon_vertex(k, radius):
    """Vertex k of a hexagon with a point at the top (k = 0 is the top)."""
    angle = math.radians(-90 + 60 * k)
    return (radius * math.cos(angle), radius * math.sin(angle))


def inside_polygon(x, y, poly):
    """Even-odd test of a point against a polygon's vertices."""
    inside = False
    n = len(poly)
    for i in range(n):
        x1, y1 = poly[i]
        x2, y2 = poly[(i + 1) % n]
        if (y1 > y) != (y2 > y):
            xc = x1 + (y - y1) * (x2 - x1) / (y2 - y1)
            if x < xc:
                inside = not inside
    return inside


def face_polygons(radius):
    """The three visible faces of an isometric cube: top, left, right."""
    c = (0.0, 0.0)
    v = [hexagon_vertex(k, radius) for k in range(6)]
    # Vertices: 0 top, 1 upper right, 2 lower right, 3 bottom, 4 lower left,
    # 5 upper left.
    top = [c, v[5], v[0], v[1]]
    left = [c, v[3], v[4], v[5]]
    right = [c, v[1], v[2], v[3]]
    return top, left, right


def distance_to_segment(x, y, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    px, py = ax + t * dx, ay + t * dy
    return math.hypot(x - px, y - py)


class Palette:
    """The colours of one rendering of the emblem."""

    def __init__(self, disc_light, disc_dark, track, rim, gap, top, left, right, edge):
        self.disc_light = disc_light
        self.disc_dark = disc_dark
        self.track = track
        self.rim = rim
        self.gap = gap
        self.top = top
        self.left = left
        self.right = right
        self.edge = edge


BLUE_EMBLEM = Palette(
    disc_light=(118, 164, 236),
    disc_dark=(46, 92, 184),
    track=(32, 68, 150),
    rim=(176, 206, 250),
    gap=(10, 26, 70),
    top=(206, 226, 252),
    left=(86, 140, 226),
    right=(40, 84, 172),
    edge=(236, 244, 255),
)

GREY_EMBLEM = Palette(
    disc_light=(206, 206, 206),
    disc_dark=(160, 160, 160),
    track=(128, 128, 128),
    rim=(136, 136, 136),
    gap=(96, 96, 96),
    top=(238, 238, 238),
    left=(176, 176, 176),
    right=(120, 120, 120),
    edge=(255, 255, 255),
)


def emblem_sample(x, y, pal, line_width, tracks):
    """Colour of the emblem at unit point (x, y), or None outside it."""
    r = math.hypot(x, y)
    if r > 1.0:
        return None
    hexagon = [hexagon_vertex(k, CUBE_RADIUS) for k in range(6)]
    gap_hex = [hexagon_vertex(k, CUBE_RADIUS + CUBE_GAP) for k in range(6)]
    if inside_polygon(x, y, hexagon):
        top, left, right = face_polygons(CUBE_RADIUS)
        if inside_polygon(x, y, top):
            colour = pal.top
        elif inside_polygon(x, y, left):
            colour = pal.left
        else:
            colour = pal.right
        # Light edges where two faces meet: from the centre to three vertices.
        for k in (1, 3, 5):
            if distance_to_segment(x, y, (0.0, 0.0), hexagon_vertex(k, CUBE_RADIUS)) < line_width * 0.5:
                return pal.edge
        return colour
    if inside_polygon(x, y, gap_hex):
        return pal.gap
    # The disc: lit from the upper left, with a few darker tracks and a rim.
    light = max(0.0, min(1.0, 0.5 - 0.5 * (x + y) / 1.4142))
    colour = mix(pal.disc_dark, pal.disc_light, light)
    for t in tracks:
        if abs(r - t) < line_width * 0.5:
            colour = pal.track
    if r > 1.0 - line_width:
        colour = pal.rim
    return colour


def render(width, height, background, emblem_at, pal, line_width, tracks=TRACKS):
    """Supersampled RGBA rendering. background(x, y) gives the colour behind
    the emblem at pixel coordinates (None for transparent); emblem_at is
    (centre x, centre y, radius) in pixels."""
    cx, cy, radius = emblem_at

    def sample(x, y):
        c = emblem_sample((x - cx) / radius, (y - cy) / radius, pal, line_width, tracks)
        return background(x, y) if c is None else c

    return supersample(width, height, sample, SUBSAMPLES)


# ---------------------------------------------------------------------------
# Welcome band: 169 x 314, 16 colours
# ---------------------------------------------------------------------------

WELCOME_WIDTH = 169
WELCOME_HEIGHT = 314
WELCOME_EMBLEM = (84.5, 228.0, 52.0)

# Fixed 16-colour palette: band shades, then the emblem's blues.
WELCOME_PALETTE = [
    (6, 14, 40),
    (9, 21, 56),
    (12, 29, 74),
    (16, 38, 94),
    (21, 49, 116),
    (26, 60, 138),
    (32, 68, 150),
    (46, 92, 184),
    (66, 116, 206),
    (86, 140, 226),
    (118, 164, 236),
    (150, 188, 244),
    (176, 206, 250),
    (206, 226, 252),
    (236, 244, 255),
    (10, 26, 70),
]

BAYER4 = (
    (0, 8, 2, 10),
    (12, 4, 14, 6),
    (3, 11, 1, 9),
    (15, 7, 13, 5),
)


def welcome_background(x, y):
    """The band: darker towards the bottom, a soft glow behind the emblem and
    faint disc tracks widening around it."""
    t = y / WELCOME_HEIGHT
    top = (22, 52, 124)
    bottom = (7, 16, 46)
    colour = mix(top, bottom, t ** 0.8)
    cx, cy, radius = WELCOME_EMBLEM
    d = math.hypot(x - cx, y - cy)
    glow = max(0.0, 1.0 - d / (radius * 2.3))
    colour = mix(colour, (30, 66, 146), glow * 0.55)
    # Tracks: thin rings at growing spacing, fading with distance and height.
    for k, ring in enumerate((1.28, 1.62, 2.04, 2.56, 3.2)):
        if abs(d - ring * radius) < 0.7:
            fade = max(0.0, 1.0 - k * 0.17) * max(0.0, min(1.0, y / WELCOME_HEIGHT * 1.6))
            colour = mix(colour, (60, 110, 200), 0.55 * fade)
    return colour


def nearest(palette, c):
    best = 0
    best_d = None
    for i, p in enumerate(palette):
        d = (p[0] - c[0]) ** 2 + (p[1] - c[1]) ** 2 + (p[2] - c[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def welcome_indices():
    pixels = render(WELCOME_WIDTH, WELCOME_HEIGHT, welcome_background, WELCOME_EMBLEM,
                    BLUE_EMBLEM, 0.035)
    indices = []
    for y, row in enumerate(pixels):
        out = []
        for x, (r, g, b, _a) in enumerate(row):
            # Ordered dithering spreads the band's gradient over its shades.
            offset = (BAYER4[y % 4][x % 4] / 16.0 - 0.5) * 14.0
            out.append(nearest(WELCOME_PALETTE, (r + offset, g + offset, b + offset)))
        indices.append(out)
    return indices


# ---------------------------------------------------------------------------
# Page picture: 32 x 32, 24-bit, grey on white
# ---------------------------------------------------------------------------

PAGE_SIZE = 32


def page_pixels():
    pixels = render(PAGE_SIZE, PAGE_SIZE, lambda x, y: (255, 255, 255),
                    (16.0, 16.0, 15.0), GREY_EMBLEM, 0.07, SMALL_TRACKS)
    return [[tuple(int(round(v)) for v in p[:3]) for p in row] for row in pixels]


# ---------------------------------------------------------------------------
# Icons: the emblem in blue with alpha
# ---------------------------------------------------------------------------


def icon_pixels(size):
    radius = size / 2.0 - 0.25
    line = 0.06 if size >= 32 else 0.09
    pixels = render(size, size, lambda x, y: None, (size / 2.0, size / 2.0, radius),
                    BLUE_EMBLEM, line, SMALL_TRACKS if size >= 32 else ())
    return to_rgba8(pixels)


def main(argv):
    args = art_output(argv, __doc__)
    if args is None:
        return 2
    out, preview = args

    welcome = welcome_indices()
    write_bmp4(os.path.join(out, "welcome.bmp"), welcome, WELCOME_PALETTE)
    page = page_pixels()
    write_bmp24(os.path.join(out, "page.bmp"), page)
    small = icon_pixels(16)
    large = icon_pixels(32)
    write_ico(os.path.join(out, "trelvik_small.ico"), [small])
    write_ico(os.path.join(out, "trelvik_large.ico"), [large, small])

    if preview:
        write_png(os.path.join(out, "welcome_preview.png"),
                  [[WELCOME_PALETTE[i] for i in row] for row in welcome], 2)
        write_png(os.path.join(out, "page_preview.png"), page, 8)
        write_png(os.path.join(out, "icon_preview.png"), on_white(large), 8)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

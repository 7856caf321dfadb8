#!/usr/bin/env python3
"""Draws the host's icons: a camera body in the product's blue with a large lens and a red
recording light, as .ico files of nine images each (16, 32 and 48 pixels, each at 4-bit, 8-bit
and 32-bit with alpha).

    python3 resources/make_icons.py            writes resources/FontisHost.ico and FontisHostSmall.ico

FontisHost.ico (icon 107) is the full motif; FontisHostSmall.ico (icon 108, title bar and task
bar) drops the viewfinder and the highlight band and enlarges the lens, so that it still reads at
16 pixels. Only the standard library is used; the output is the same on every run.
"""
import math
import os
import struct

SIZES = (16, 32, 48)
SUPERSAMPLE = 8

# The product's colours.
BLUE = (0x28, 0x78, 0xC8)
BLUE_DARK = (0x17, 0x4A, 0x85)
BLUE_LIGHT = (0x5C, 0x9E, 0xE0)
RING = (0xE4, 0xEA, 0xF2)
BARREL = (0x10, 0x24, 0x3C)
GLASS = (0x2E, 0x9A, 0xE8)
GLASS_DEEP = (0x14, 0x4E, 0x96)
PUPIL = (0x08, 0x14, 0x24)
WHITE = (0xFF, 0xFF, 0xFF)
LED = (0xE8, 0x3F, 0x36)


def rounded_rect_distance(x, y, left, top, right, bottom, radius):
    """Signed distance to a rounded rectangle: negative inside."""
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def circle_distance(x, y, cx, cy, r):
    return math.hypot(x - cx, y - cy) - r


def motif_colour(x, y, small):
    """The colour at (x, y) of the unit square (y down), or None where the icon is transparent."""
    lens_x, lens_y = (0.50, 0.58) if small else (0.52, 0.58)
    lens_r = 0.31 if small else 0.26
    top = 0.24 if small else 0.30
    body = rounded_rect_distance(x, y, 0.05, top, 0.95, 0.90, 0.11)
    bump = 1.0 if small else rounded_rect_distance(x, y, 0.14, 0.17, 0.38, 0.36, 0.05)

    colour = None
    if min(body, bump) < 0:
        colour = BLUE
        if min(body, bump) > -0.035:
            colour = BLUE_DARK  # outline
        elif not small and body < 0 and y < top + 0.08:
            colour = BLUE_LIGHT  # light falling on the top of the body
    led = circle_distance(x, y, 0.84, top + 0.10, 0.05 if small else 0.045)
    if led < 0 and body < -0.02:
        colour = LED

    d = math.hypot(x - lens_x, y - lens_y)
    if d < lens_r:
        colour = RING
    if d < lens_r * 0.80:
        colour = BARREL
    if d < lens_r * 0.60:
        # Glass darkening towards the bottom right, away from the light.
        t = min(1.0, max(0.0, ((x - lens_x) + (y - lens_y)) / (lens_r * 1.2) + 0.5))
        colour = tuple(round(a + (b - a) * t) for a, b in zip(GLASS, GLASS_DEEP))
    if d < lens_r * 0.26:
        colour = PUPIL
    if circle_distance(x, y, lens_x - lens_r * 0.22, lens_y - lens_r * 0.22, lens_r * 0.13) < 0:
        colour = WHITE
    return colour


def render(size, small):
    """RGBA rows, top row first, anti-aliased by supersampling."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(n):
                for sx in range(n):
                    c = motif_colour((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size, small)
                    if c is not None:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            if a == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / (n * n))))
        rows.append(row)
    return rows


def palette_16():
    return [(0, 0, 0), BLUE, BLUE_DARK, BLUE_LIGHT, RING, BARREL, GLASS, GLASS_DEEP, PUPIL, WHITE, LED,
            (0x80, 0x80, 0x80), (0xC0, 0xC0, 0xC0), (0x3A, 0x6E, 0xA8), (0x7A, 0xB4, 0xE8), (0x90, 0x30, 0x2A)]


def palette_256():
    colours = palette_16()
    levels = (0x00, 0x33, 0x66, 0x99, 0xCC, 0xFF)
    colours += [(r, g, b) for r in levels for g in levels for b in levels]
    # Blends of the motif's own colours fill the rest: that is where anti-aliased edges fall.
    keys = palette_16()[1:11]
    blends = []
    for i, c1 in enumerate(keys):
        for c2 in keys[i + 1:]:
            blends.append(tuple(round((a + b) / 2) for a, b in zip(c1, c2)))
    for c in blends:
        if len(colours) == 256:
            break
        if c not in colours:
            colours.append(c)
    while len(colours) < 256:
        colours.append((0, 0, 0))
    return colours


def nearest(palette, colour):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = (p[0] - colour[0]) ** 2 + (p[1] - colour[1]) ** 2 + (p[2] - colour[2]) ** 2
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def and_mask(rows, size):
    """1 bit per pixel, 1 = transparent; rows bottom-up, each padded to 32 bits."""
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        out += bits
    return bytes(out)


def dib(rows, size, bits):
    """One icon image: BITMAPINFOHEADER (height doubled for the mask), palette, pixels, mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0,
                         0 if bits == 32 else (1 << bits), 0)
    body = bytearray()
    if bits == 32:
        for row in reversed(rows):
            for r, g, b, a in row:
                body += bytes((b, g, r, a))
        palette = b""
    else:
        colours = palette_16() if bits == 4 else palette_256()
        palette = b"".join(bytes((c[2], c[1], c[0], 0)) for c in colours)
        stride = ((size * bits + 31) // 32) * 4
        for row in reversed(rows):
            indices = [0 if a < 128 else nearest(colours, (r, g, b)) for r, g, b, a in row]
            line = bytearray(stride)
            if bits == 8:
                line[:size] = bytes(indices)
            else:
                for x, index in enumerate(indices):
                    line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            body += line
    return header + palette + bytes(body) + and_mask(rows, size)


def write_icon(path, small):
    images = []
    for size in SIZES:
        rows = render(size, small)
        for bits in (4, 8, 32):
            images.append((size, bits, dib(rows, size, bits)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, bits, image in images:
        colour_count = 16 if bits == 4 else 0
        entries += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bits, len(image), offset + len(data))
        data += image
    with open(path, "wb") as f:
        f.write(directory + entries + data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_icon(os.path.join(here, "FontisHost.ico"), small=False)
    write_icon(os.path.join(here, "FontisHostSmall.ico"), small=True)


if __name__ == "__main__":
    main()

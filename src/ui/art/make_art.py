#!/usr/bin/env python3
"""Draw the Tavaren emblem and save it as tavaren.ico and picture.bmp.

The emblem is a gold "T" inside a gold ring on a dark blue disc, transparent
outside the disc.  Both files are written next to this script.  Everything
is computed here, so the output is the same on every run.  Standard
library only.
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SUPERSAMPLE = 8  # samples per pixel along each axis

# The sixteen classic VGA colours, in their usual index order.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
       (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
       (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
       (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]

# Which VGA entry paints each part of the emblem in 16-colour images.
VGA_INDEX = {"disc": 4, "edge": 0, "ring": 3, "mark": 11}
PICTURE_BACKGROUND = 8  # dark grey behind the emblem in picture.bmp

# The two colour ramps the emblem is painted with, dark end first.
DARK = ((10, 14, 32), (46, 62, 112))
GOLD = ((140, 88, 14), (255, 218, 112))

# (size, bits per pixel) of every icon image, in file order.
ICON_IMAGES = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8),
               (48, 32), (32, 32), (16, 32)]


def lerp(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def in_t(u, v):
    """True inside the "T": a crossbar with dropped ends and a footed stem."""
    bar = abs(u) <= 0.50 and -0.52 <= v <= -0.26
    ends = 0.34 <= abs(u) <= 0.50 and -0.52 <= v <= -0.12
    stem = abs(u) <= 0.14 and -0.52 <= v <= 0.50
    foot = abs(u) <= 0.28 and 0.38 <= v <= 0.50
    return bar or ends or stem or foot


def part_at(u, v):
    """Name the part of the emblem at (u, v) in [-1, 1]^2, or None outside."""
    # Radii 1.0 and 0.75 put the disc rim and the inner edge of the ring
    # on whole pixels at 16, 32 and 48 px, so 16-colour circles stay even.
    r = math.hypot(u, v)
    if r > 1.0:
        return None
    if r > 0.92:
        return "edge"
    if r > 0.75:
        return "ring"
    return "mark" if in_t(u, v) else "disc"


def colour_at(part, u, v):
    """Shaded colour of a part; light falls from the upper left."""
    if part in ("ring", "mark"):
        return lerp(GOLD[0], GOLD[1], 0.75 - 0.45 * v - 0.15 * u)
    glow = 1.0 - math.hypot(u + 0.35, v + 0.45) / 1.5
    return lerp(DARK[0], DARK[1], glow if part == "disc" else glow * 0.3)


def render(size):
    """Per-pixel (coverage, mean colour, main part), top row first."""
    rows = []
    n = SUPERSAMPLE
    for y in range(size):
        row = []
        for x in range(size):
            counts, total, hits = {}, [0.0, 0.0, 0.0], 0
            for sy in range(n):
                for sx in range(n):
                    u = ((x + (sx + 0.5) / n) / size) * 2 - 1
                    v = ((y + (sy + 0.5) / n) / size) * 2 - 1
                    part = part_at(u, v)
                    if part is None:
                        continue
                    hits += 1
                    counts[part] = counts.get(part, 0) + 1
                    for i, c in enumerate(colour_at(part, u, v)):
                        total[i] += c
            if hits:
                mean = tuple(c / hits for c in total)
                major = max(sorted(counts), key=counts.get)
            else:
                mean, major = (0, 0, 0), None
            row.append((hits / (n * n), mean, major))
        rows.append(row)
    return rows


def build_palette():
    """256 entries: VGA first, then a grid of blends between the two ramps."""
    palette = list(VGA)
    for shade in range(16):
        dark = lerp(DARK[0], DARK[1], shade / 15)
        gold = lerp(GOLD[0], GOLD[1], shade / 15)
        for mix in range(15):
            palette.append(lerp(dark, gold, mix / 14))
    return [tuple(int(round(c)) for c in p) for p in palette]


def nearest(palette, colour):
    return min(range(len(palette)), key=lambda i: sum(
        (a - b) ** 2 for a, b in zip(palette[i], colour)))


def pack_rows(rows, bpp):
    """Pack rows of pixel values bottom-up, each padded to four bytes."""
    out = bytearray()
    for row in reversed(rows):
        if bpp == 32:
            line = b"".join(bytes(p) for p in row)
        else:
            bits = "".join(format(p, "0%db" % bpp) for p in row)
            bits += "0" * (-len(bits) % 8)
            line = int(bits, 2).to_bytes(len(bits) // 8, "big")
        out += line + b"\0" * (-len(line) % 4)
    return bytes(out)


def colour_table(palette):
    return b"".join(struct.pack("<4B", b, g, r, 0) for r, g, b in palette)


def icon_image(size, bpp, palette):
    """One icon image: header, colour table, XOR pixels and AND mask."""
    pixels = render(size)
    xor, mask = [], []
    for row in pixels:
        xrow, mrow = [], []
        for cover, mean, part in row:
            clear = cover < 0.5
            mrow.append(1 if clear else 0)
            if bpp == 32:
                a = int(round(cover * 255))
                b, g, r = (int(round(c)) for c in reversed(mean))
                xrow.append((b, g, r, a) if a else (0, 0, 0, 0))
            elif clear:
                xrow.append(0)
            elif bpp == 4:
                xrow.append(VGA_INDEX[part])
            else:
                xrow.append(nearest(palette, mean))
        xor.append(xrow)
        mask.append(mrow)
    table = {4: colour_table(VGA), 8: colour_table(palette), 32: b""}[bpp]
    bits = pack_rows(xor, bpp) + pack_rows(mask, 1)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(bits), 0, 0, 0, 0)
    return header + table + bits


def write_icon(path):
    palette = build_palette()
    images = [icon_image(size, bpp, palette) for size, bpp in ICON_IMAGES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    for (size, bpp), data in zip(ICON_IMAGES, images):
        colours = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bpp,
                           len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def write_picture(path, size=48):
    rows = [[PICTURE_BACKGROUND if cover < 0.5 else VGA_INDEX[part]
             for cover, _, part in row] for row in render(size)]
    bits = pack_rows(rows, 4)
    table = colour_table(VGA)
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 4, 0, len(bits),
                       2835, 2835, 16, 0)
    head = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + info + table + bits)


if __name__ == "__main__":
    write_icon(os.path.join(HERE, "tavaren.ico"))
    write_picture(os.path.join(HERE, "picture.bmp"))

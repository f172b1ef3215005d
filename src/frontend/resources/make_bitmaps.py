#!/usr/bin/env python3
"""Draws the server tree's small bitmaps (load bars, recommended badge, row icon box) as 24-bit
BMP files in this folder, for both windows (the Qt one compiles them in as Qt resources, the
Windows one as bitmap resources 135 to 139). Run it again after changing a drawing; the results
are committed."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write_bmp(name, pixels):
    """pixels: rows top to bottom of (r, g, b)."""
    height, width = len(pixels), len(pixels[0])
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        body += line + bytes(stride - len(line))
    header = struct.pack('<2sIHHI', b'BM', 54 + len(body), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    with open(os.path.join(HERE, name), 'wb') as out:
        out.write(header + info + body)


def solid(width, height, colour):
    return [[colour] * width for _ in range(height)]


GLYPHS = {
    'T': ['#####', '..#..', '..#..', '..#..', '..#..', '..#..', '..#..'],
    'O': ['.###.', '#...#', '#...#', '#...#', '#...#', '#...#', '.###.'],
    'P': ['####.', '#...#', '#...#', '####.', '#....', '#....', '#....'],
}


def badge():
    """31x16: an orange tag with a dark red rim and the white word TOP."""
    width, height = 31, 16
    black, rim, fill, white = (0, 0, 0), (150, 20, 10), (250, 120, 20), (255, 255, 255)
    pixels = solid(width, height, fill)
    for y in range(height):
        for x in range(width):
            edge = x in (0, width - 1) or y in (0, height - 1)
            corner = (x in (0, width - 1)) and (y in (0, height - 1))
            if corner:
                pixels[y][x] = black
            elif edge:
                pixels[y][x] = rim
    left, top = 7, 4
    for i, letter in enumerate('TOP'):
        for dy, line in enumerate(GLYPHS[letter]):
            for dx, mark in enumerate(line):
                if mark == '#':
                    pixels[top + dy][left + i * 6 + dx] = white
    return pixels


def icon_box():
    """16x16: a grey frame; the tree uses only its size."""
    pixels = solid(16, 16, (0, 0, 0))
    for i in range(16):
        for x, y in ((i, 0), (i, 15), (0, i), (15, i)):
            pixels[y][x] = (128, 128, 128)
    return pixels


write_bmp('badge_recommended.bmp', badge())
write_bmp('bar_green.bmp', solid(3, 12, (0, 222, 11)))
write_bmp('bar_red.bmp', solid(3, 12, (232, 9, 19)))
write_bmp('bar_yellow.bmp', solid(3, 12, (241, 255, 18)))
write_bmp('icon_box.bmp', icon_box())

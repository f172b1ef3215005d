#!/usr/bin/env python3
"""Draws the Windows launcher's icon, launcher.ico in this folder: a gold ring with a dark core at
16 and 32 pixels, as the Qt window draws its own. Run it again after changing the drawing; the
result is committed."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
RING = (250, 227, 141)
EDGE = (174, 112, 65)
CORE = (40, 24, 12)


def pixel(size, x, y):
    """(r, g, b, a) of the pixel whose centre is (x + .5, y + .5)."""
    scale = size / 32.0
    cx = cy = 16.0 * scale
    d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5 / scale
    if d > 14.5:
        return (0, 0, 0, 0)
    if d > 12.0:
        return EDGE + (255,)
    if d > 5.0:
        return RING + (255,)
    return CORE + (255,)


def image(size):
    """One 32-bit icon image: BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask."""
    rows = b''
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            rows += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(rows) + len(mask),
                         0, 0, 0, 0)
    return header + rows + mask


def main():
    sizes = (16, 32)
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(os.path.join(HERE, 'launcher.ico'), 'wb') as ico:
        ico.write(out + b''.join(images))


if __name__ == '__main__':
    main()

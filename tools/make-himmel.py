#!/usr/bin/env python3
"""Draws the default background of the notification window: a blue sky with a few soft clouds.

Writes an uncompressed 24-bit BMP (twice the window's 305 x 98 client area, so it stays sharp
when scaled). Deterministic: running it again gives the same file.

    python3 tools/make-himmel.py share/bitmaps/himmel.bmp
"""
import math
import struct
import sys

WIDTH, HEIGHT = 610, 196

# Sky from a deep blue at the top to a lighter blue near the horizon; dark enough that the
# window's default yellow text stays readable.
TOP = (22, 62, 138)
BOTTOM = (78, 132, 200)

# Clouds: each a group of soft round puffs (centre x, centre y, radius), all in pixels.
# Kept clear of where the window writes: the caller's name in the middle band, the MSN at the
# lower left and the hint at the lower right.
CLOUDS = [
    [(84, 30, 22), (112, 20, 28), (146, 24, 26), (178, 32, 20), (130, 36, 24), (98, 38, 18)],
    [(448, 22, 18), (478, 14, 24), (512, 18, 22), (540, 26, 16), (494, 30, 18)],
    [(262, 8, 12), (284, 4, 16), (306, 8, 12)],
    [(268, 178, 18), (292, 170, 22), (318, 176, 18), (294, 186, 16)],
]
CLOUD_OPACITY = 0.8


def cloud_cover(x, y):
    """0 (clear sky) .. 1 (full cloud) at one pixel: the puffs' fields summed, then feathered."""
    field = 0.0
    for cloud in CLOUDS:
        base = max(cy + r * 0.45 for _, cy, r in cloud)  # flat underside
        if y > base:
            fade = math.exp(-((y - base) / 5.0) ** 2)
        else:
            fade = 1.0
        for cx, cy, r in cloud:
            d2 = ((x - cx) ** 2 + ((y - cy) * 1.4) ** 2) / (r * r)
            if d2 < 4.0:
                field += math.exp(-1.6 * d2) * fade
    t = max(0.0, min(1.0, (field - 0.25) / 0.6))
    return t * t * (3 - 2 * t)


def pixel(x, y):
    t = y / (HEIGHT - 1)
    sky = [TOP[i] + (BOTTOM[i] - TOP[i]) * t for i in range(3)]
    c = cloud_cover(x, y) * CLOUD_OPACITY
    shade = 250
    return [round(sky[i] * (1 - c) + shade * c) for i in range(3)]


def write_bmp(path):
    row_size = (WIDTH * 3 + 3) & ~3
    image_size = row_size * HEIGHT
    header = struct.pack("<2sIHHI", b"BM", 54 + image_size, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    rows = []
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - WIDTH * 3)
        rows.append(bytes(row))
    with open(path, "wb") as f:
        f.write(header + info + b"".join(rows))


if __name__ == "__main__":
    write_bmp(sys.argv[1] if len(sys.argv) > 1 else "himmel.bmp")

#!/usr/bin/env python3
"""Draws the plug-in's 64 x 64 logo (a hexagon tiled with triangles) as a 24-bit BMP: make_logo.py OUT.bmp"""
import math
import struct
import sys

SIZE = 64


def colour(x, y):
    cx, cy = x + 0.5 - SIZE / 2, y + 0.5 - SIZE / 2
    # Flat-topped hexagon of radius 28 around the centre.
    r = 28.0
    inside = abs(cy) <= r * math.sqrt(3) / 2 and abs(cx) * math.sqrt(3) / 2 + abs(cy) / 2 <= r * math.sqrt(3) / 2
    if not inside:
        return (236, 233, 216)  # dialog face colour
    # Triangle lattice: rows of height h, triangles pointing up and down alternately.
    h = 7.0 * math.sqrt(3)
    row = math.floor((cy + 100 * h) / h)
    fy = (cy + 100 * h) / h - row
    u = (cx + 100 * 14) / 7.0 + (row % 2)
    col = math.floor(u)
    fu = u - col
    up = (col % 2 == 0)
    lower = fy > (fu if up else 1 - fu)
    index = (col * 2 + (1 if lower else 0) + row * 3) % 5
    palette = [(20, 92, 140), (38, 130, 180), (70, 170, 200), (24, 110, 120), (110, 200, 190)]
    red, green, blue = palette[index]
    # Lighten towards the upper left for a little depth.
    shade = 1.0 + 0.25 * (-(cx + cy) / SIZE)
    # Thin edges between the triangles.
    edge = min(fy, 1 - fy, abs(fy - (fu if up else 1 - fu)) * 0.9) < 0.06
    if edge:
        return (245, 245, 240)
    return tuple(max(0, min(255, int(c * shade))) for c in (red, green, blue))


def main():
    row_bytes = SIZE * 3  # 192, already a multiple of 4
    pixels = bytearray()
    for y in range(SIZE - 1, -1, -1):  # bottom-up rows
        for x in range(SIZE):
            r, g, b = colour(x, y)
            pixels += bytes((b, g, r))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    assert len(pixels) == row_bytes * SIZE
    with open(sys.argv[1], "wb") as out:
        out.write(header + info + pixels)


if __name__ == "__main__":
    main()

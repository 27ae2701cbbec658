#!/usr/bin/env python3
"""Writes setup.ico beside this script: the setup's own icon (group 128), a box
with a downward arrow in 16 and 32 pixels, 32 bits per pixel. The result is
checked in; run this again only to change it."""
import os
import struct


def pixel(size, x, y):
    """Colour (B, G, R, A) at x, y (y from the top) of the drawing."""
    s = size / 32.0
    # Box: a blue square in the lower part with a light rim.
    bx0, by0, bx1, by1 = 4 * s, 14 * s, 28 * s, 29 * s
    # Arrow: a white shaft and head pointing into the box.
    shaft = 13 * s <= x < 19 * s and 2 * s <= y < 14 * s
    head = 10 * s <= y < 20 * s and abs(x + 0.5 - 16 * s) <= (20 * s - y) * 0.9
    if shaft or head:
        return (40, 170, 60, 255)
    if bx0 <= x < bx1 and by0 <= y < by1:
        rim = x < bx0 + s or x >= bx1 - s or y < by0 + s or y >= by1 - s
        return (230, 200, 160, 255) if rim else (160, 90, 30, 255)
    return (0, 0, 0, 0)


def image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        rows.append(b"".join(struct.pack("BBBB", *pixel(size, x, y)) for x in range(size)))
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)  # alpha decides; the AND mask is all zero
    return header + b"".join(rows) + mask


def main():
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "setup.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes setup.ico beside this script: the setup's own icon (group 128), a box
with a downward arrow in 16 and 32 pixels. The drawing has a few colours and
no partial transparency, so each image is stored with a 16-colour palette and
the transparent pixels in the AND mask (a fifth of the bytes of 32 bits per
pixel, drawn the same). The result is checked in; run this again only to
change it."""
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


BITS = 4  # bits per pixel of the stored images


def image(size):
    """One image: header, palette, colour rows and AND mask, bottom-up."""
    pixels = [[pixel(size, x, y) for x in range(size)] for y in range(size - 1, -1, -1)]
    # Entry 0 is black: what a transparent pixel holds, so that the mask alone
    # lets the background through.
    palette = [(0, 0, 0)]
    for row in pixels:
        for b, g, r, a in row:
            if a not in (0, 255):
                raise SystemExit("partial transparency needs 32 bits per pixel")
            if a and (b, g, r) not in palette:
                palette.append((b, g, r))
    if len(palette) > 1 << BITS:
        raise SystemExit("more colours than a %d-bit palette holds" % BITS)
    palette += [(0, 0, 0)] * ((1 << BITS) - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, BITS, 0, 0, 0, 0, 1 << BITS, 0)
    colour_row = ((size * BITS + 31) // 32) * 4
    mask_row = ((size + 31) // 32) * 4
    colours, mask = b"", b""
    for row in pixels:
        index = [palette.index(p[:3]) if p[3] else 0 for p in row]
        packed = bytes(index[x] << 4 | (index[x + 1] if x + 1 < size else 0) for x in range(0, size, 2))
        colours += packed.ljust(colour_row, b"\0")
        bits = bytes(sum(0x80 >> i for i in range(8) if x + i < size and row[x + i][3] == 0)
                     for x in range(0, size, 8))
        mask += bits.ljust(mask_row, b"\0")
    return header + b"".join(struct.pack("BBBB", b, g, r, 0) for b, g, r in palette) + colours + mask


def entry(size, data, offset):
    """The icon directory's entry for one image."""
    return struct.pack("<BBBBHHII", size, size, (1 << BITS) % 256, 0, 1, BITS, len(data), offset)


def main():
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += entry(s, data, offset)
        offset += len(data)
    out += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "setup.ico")
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Writes ridkit.ico beside this script: the uninstaller's icon (group 128).
It is the setup's icon (setup/res/make-icon.py, whose drawing and image
encoding this reuses) with the arrow turned round and red: out of the box
instead of into it. The result is checked in; run this again only to change it."""
import importlib.util
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location(
    "setup_icon", os.path.join(HERE, "..", "..", "setup", "res", "make-icon.py"))
setup_icon = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(setup_icon)

setup_pixel = setup_icon.pixel
SETUP_ARROW = (40, 170, 60, 255)
RED = (40, 40, 200, 255)


def pixel(size, x, y):
    """Colour (B, G, R, A) at x, y (y from the top) of the drawing."""
    s = size / 32.0
    shaft = 13 * s <= x < 19 * s and 10 * s <= y < 24 * s
    head = 2 * s <= y < 12 * s and abs(x + 0.5 - 16 * s) <= (y - 2 * s) * 0.9
    if shaft or head:
        return RED
    c = setup_pixel(size, x, y)
    if c == SETUP_ARROW:
        # Where the setup's arrow was: the box (or nothing) as it is at the
        # same height left of every arrow.
        c = setup_pixel(size, int(6 * s), y)
    return c


def main():
    setup_icon.pixel = pixel  # image() draws through the module's pixel()
    sizes = [16, 32]
    images = [setup_icon.image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += setup_icon.entry(s, data, offset)
        offset += len(data)
    out += b"".join(images)
    with open(os.path.join(HERE, "ridkit.ico"), "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()

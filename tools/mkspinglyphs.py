#!/usr/bin/env python3
"""Writes the spin buttons' arrow glyphs: 9 x 6 pixel, 16-colour BMP files with a black
triangle on the button face colour. Run from the repository root:
    python3 tools/mkspinglyphs.py controls/res
"""
import os
import struct
import sys

# The standard 16-colour palette (RGB); index 0 is black, 7 the classic button face.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, FACE = 0, 7

# Top row first; '#' is the arrow. The corners stay face-coloured, so a transparent
# draw that keys on the bottom-left pixel leaves only the arrow.
UP = [
    ".........",
    "....#....",
    "...###...",
    "..#####..",
    ".#######.",
    ".........",
]
DOWN = list(reversed(UP))


def bmp(rows):
    width, height = len(rows[0]), len(rows)
    stride = ((width * 4 + 31) // 32) * 4  # 4 bits a pixel, rows padded to 4 bytes
    pixels = bytearray()
    for row in reversed(rows):  # a BMP stores the bottom row first
        nibbles = [BLACK if c == "#" else FACE for c in row]
        if len(nibbles) % 2:
            nibbles.append(0)
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, len(nibbles), 2))
        pixels += line + b"\0" * (stride - len(line))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + bytes(pixels)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    for name, rows in (("SpinUp.bmp", UP), ("SpinDown.bmp", DOWN)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(bmp(rows))


if __name__ == "__main__":
    main()

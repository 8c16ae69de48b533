#!/usr/bin/env python3
"""Writes the program's pictures: the 16 x 16, 16-colour tray and program icon
(Horolan.ico, a clock face) and the strip of five 16 x 16 menu images
(MenuImages.bmp: exit, version, web, help, settings; magenta is transparent).
Run from the repository root:
    python3 tools/mkappimages.py app/res
"""
import os
import struct
import sys

# The standard 16-colour palette (RGB).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
# One character a pixel: '.' is transparent, the rest index the palette.
CODES = {"k": 0, "r": 1, "g": 2, "o": 3, "n": 4, "p": 5, "t": 6, "s": 7, "d": 8,
         "R": 9, "G": 10, "Y": 11, "B": 12, "M": 13, "C": 14, "W": 15}
KEY = 13  # magenta: the menu strip's transparent colour

CLOCK = [
    ".....kkkkkk.....",
    "...kkWWWWWWkk...",
    "..kWWWWkWWWWWk..",
    ".kWWWWWkWWWWWWk.",
    ".kWWWWWkWWWWWWk.",
    "kWWWWWWkWWWWWWWk",
    "kWWWWWWkWWWWWWWk",
    "kWkWWWWkkkkkWkWk",
    "kWWWWWWWWWWWWWWk",
    "kWWWWWWWWWWWWWWk",
    "kWWWWWWWWWWWWWWk",
    ".kWWWWWWWWWWWWk.",
    ".kWWWWWWkWWWWWk.",
    "..kWWWWWWWWWWk..",
    "...kkWWWWWWkk...",
    ".....kkkkkk.....",
]

EXIT = [
    "................",
    "..kkkkkkkk......",
    "..kssssssk......",
    "..kssssssk......",
    "..kssssssk..R...",
    "..kssssssk..RR..",
    "..kssssRRRRRRRR.",
    "..ksssskRRRRRRRR",
    "..kssssRRRRRRRR.",
    "..kssssssk..RR..",
    "..kssssssk..R...",
    "..kssssssk......",
    "..kssssssk......",
    "..kkkkkkkk......",
    "................",
    "................",
]
VERSION = [
    "......BBBB......",
    "....BBBBBBBB....",
    "...BBBBWWBBBB...",
    "..BBBBBWWBBBBB..",
    "..BBBBBBBBBBBB..",
    ".BBBBBWWWBBBBBB.",
    ".BBBBBBWWBBBBBB.",
    ".BBBBBBWWBBBBBB.",
    ".BBBBBBWWBBBBBB.",
    ".BBBBBBWWBBBBBB.",
    "..BBBBBWWBBBBB..",
    "..BBBBWWWWBBBB..",
    "...BBBBBBBBBB...",
    "....BBBBBBBB....",
    "......BBBB......",
    "................",
]
WEB = [
    ".....nnnnnn.....",
    "...nnCCnnCCnn...",
    "..nCCCnCCnCCCn..",
    ".nCCCCnCCnCCCCn.",
    ".nnnnnnnnnnnnnn.",
    "nCCCCnCCCCnCCCCn",
    "nCCCCnCCCCnCCCCn",
    "nnnnnnnnnnnnnnnn",
    "nCCCCnCCCCnCCCCn",
    "nCCCCnCCCCnCCCCn",
    ".nnnnnnnnnnnnnn.",
    ".nCCCCnCCnCCCCn.",
    "..nCCCnCCnCCCn..",
    "...nnCCnnCCnn...",
    ".....nnnnnn.....",
    "................",
]
HELP = [
    "................",
    ".....gggggg.....",
    "....gGGGGGGg....",
    "...gGGgggGGGg...",
    "...gGg...gGGg...",
    "...ggg...gGGg...",
    "........gGGg....",
    ".......gGGg.....",
    "......gGGg......",
    "......gGGg......",
    "......gggg......",
    "................",
    "......gGGg......",
    "......gGGg......",
    "......gggg......",
    "................",
]
SETTINGS = [
    "................",
    ".......dd.......",
    "...dd.dssd.dd...",
    "...dsddssddsd...",
    "....dssssssd....",
    "..ddssddddssdd..",
    ".dsssd....dsssd.",
    ".dssd......dssd.",
    ".dssd......dssd.",
    ".dsssd....dsssd.",
    "..ddssddddssdd..",
    "....dssssssd....",
    "...dsddssddsd...",
    "...dd.dssd.dd...",
    ".......dd.......",
    "................",
]
IMAGES = [EXIT, VERSION, WEB, HELP, SETTINGS]


def pixel_rows(rows, transparent):
    return [[transparent if c == "." else CODES[c] for c in row] for row in rows]


def packed(rows):
    """4-bit pixels, bottom row first, rows padded to 4 bytes."""
    width = len(rows[0])
    stride = ((width * 4 + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytes((row[i] << 4) | row[i + 1] for i in range(0, width, 2))
        out += line + b"\0" * (stride - len(line))
    return bytes(out)


def mask(rows):
    """1 bit a pixel, 1 = transparent, bottom row first, rows padded to 4 bytes."""
    width = len(rows[0])
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        bits = 0
        line = bytearray()
        for i, c in enumerate(row):
            bits = (bits << 1) | (1 if c == "." else 0)
            if i % 8 == 7:
                line.append(bits)
                bits = 0
        out += line + b"\0" * (stride - len(line))
    return bytes(out)


def palette():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def strip_bmp(images):
    rows = [sum((pixel_rows(img, KEY)[y] for img in images), []) for y in range(16)]
    pixels = packed(rows)
    pal = palette()
    offset = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, len(rows[0]), 16, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + pal + pixels


def icon(rows):
    # The colour image has black where it is transparent, as icons expect.
    xor = packed(pixel_rows(rows, 0))
    and_ = mask(rows)
    pal = palette()
    info = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 4, 0, len(xor) + len(and_), 0, 0, 16, 0)
    image = info + pal + xor + and_
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 16, 16, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    for img in IMAGES + [CLOCK]:
        assert len(img) == 16 and all(len(r) == 16 for r in img), img
    with open(os.path.join(out, "Horolan.ico"), "wb") as f:
        f.write(icon(CLOCK))
    with open(os.path.join(out, "MenuImages.bmp"), "wb") as f:
        f.write(strip_bmp(IMAGES))


if __name__ == "__main__":
    main()

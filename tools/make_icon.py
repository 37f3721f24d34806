#!/usr/bin/env python3
"""Draws the window icon: a 32 x 32 picture of a text screen with a prompt and a
cursor, stored as an 8-bit BMP with a 256-entry palette (2102 bytes).

Usage: tools/make_icon.py data/icon.bmp
"""
import struct
import sys

W = H = 32
# Palette: the 16 text colours by their usual rule (intensity bit, then R G B
# bits at two thirds, brown's green halved), the rest black.
palette = []
for i in range(16):
    hi = 0x55 if i & 8 else 0
    r = (0xAA if i & 4 else 0) + hi
    g = (0xAA if i & 2 else 0) + hi
    b = (0xAA if i & 1 else 0) + hi
    if i == 6:
        g = 0x55
    palette.append((r, g, b))
palette += [(0, 0, 0)] * (256 - len(palette))

BLACK, BLUE, GREY, DARKGREY, WHITE, YELLOW = 0, 1, 7, 8, 15, 14
pix = [[0] * W for _ in range(H)]

def rect(x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            pix[y][x] = c

# Monitor frame and screen.
rect(1, 3, 30, 25, DARKGREY)
rect(3, 5, 28, 23, BLUE)
rect(12, 26, 19, 27, DARKGREY)
rect(8, 28, 23, 29, DARKGREY)
# A ">" prompt.
for i in range(4):
    pix[8 + i][6 + i] = WHITE
    pix[14 - i][6 + i] = WHITE
# Two lines of "text" and a cursor block.
rect(12, 10, 24, 11, GREY)
rect(6, 16, 20, 17, GREY)
rect(6, 20, 8, 21, YELLOW)

row_bytes = W  # 8 bits per pixel, already a multiple of 4
pixels = b"".join(bytes(pix[y]) for y in reversed(range(H)))  # bottom-up
pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
offset = 14 + 40 + len(pal)
header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
data = header + info + pal + pixels
assert len(data) == 2102, len(data)
with open(sys.argv[1], "wb") as f:
    f.write(data)
